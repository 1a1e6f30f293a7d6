// The queue shared by every start of the updater: in-process for its limits, and with real
// Tollwick processes for ordering, concurrency and a processing copy that is killed; and a real
// download that does not fit its folder.
#include "updater/command_queue.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/platform/process.h"
#include "common/update_install/updates_ready_file.h"
#include "tests/support/local_service.h"
#include "tests/support/signing_key.h"
#include "tests/support/syslog_collector.h"
#include "tests/support/temp_folder.h"
#include "tests/support/updater_files.h"

namespace {

using namespace Quorvane;
using namespace std::chrono_literals;

TEST(CommandQueue, OverlongLinesAndAFullQueueAreRefusedWithAnEntry) {
  Testing::TempFolder runtime;
  Updater::CommandQueue queue(runtime.Path());
  Diagnostics::RecordingEventLog log;
  EXPECT_FALSE(queue.Enqueue(std::string(260, 'x'), log));
  EXPECT_TRUE(queue.Enqueue(std::string(259, 'x'), log));
  // Characters, not bytes: 259 accented letters (518 bytes) are a line, 260 are not.
  std::string accented;
  for (int character = 0; character < 259; ++character) accented += "\u00e9";
  EXPECT_TRUE(queue.Enqueue(accented, log));
  EXPECT_FALSE(queue.Enqueue(accented + "\u00e9", log));
  for (int line = 2; line < 260; ++line) {
    ASSERT_TRUE(queue.Enqueue("/checkonly:center " + std::to_string(line), log));
  }
  EXPECT_FALSE(queue.Enqueue("/checkonly:center one too many", log));
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].source, "Tollwick");
  EXPECT_NE(entries[2].text.find("260"), std::string::npos);
  EXPECT_EQ(queue.Pending().size(), 260u);
}

TEST(CommandQueue, ProcessingRunsEveryLineInOrderIncludingLinesAddedMeanwhile) {
  Testing::TempFolder runtime;
  Updater::CommandQueue queue(runtime.Path());
  Diagnostics::RecordingEventLog log;
  queue.Enqueue("first\nwith a break", log);
  queue.Enqueue("second", log);
  std::vector<std::string> ran;
  const auto result = queue.ProcessAll([&](const std::string& line) {
    ran.push_back(line);
    if (line == "second") queue.Enqueue("third", log);
    return line == "third" ? 1 : 0;
  });
  EXPECT_EQ(ran, (std::vector<std::string>{"first with a break", "second", "third"}));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(queue.Pending().empty());
  EXPECT_EQ(queue.ProcessAll([](const std::string&) { return 0; }), std::nullopt);
}

// An installed updater in a folder of its own, started as a real process.
class TollwickProcesses : public testing::Test {
 protected:
  TollwickProcesses() {
    std::filesystem::create_directories(root_.File("Quorvane/Updater"));
    std::filesystem::copy_file(QUORVANE_TOLLWICK, root_.File("Quorvane/Updater/Tollwick"));
    mkdir(root_.File("run").c_str(), 0700);
    key_.TrustIn(root_.Path());
  }

  // A configuration whose runs ask the service (none when empty) about the package.
  void Configure(const std::string& endpoint, const std::string& package = "Tollwick") {
    Testing::WriteTextFile(
        root_.File("Quorvane/Updater/Tollwick.xml"),
        Testing::UpdaterConfigurationXml(
            endpoint.empty() ? std::vector<std::string>{} : std::vector<std::string>{endpoint},
            {package}, "<setting name=\"TimeoutMS\" value=\"60000\"/>"));
  }

  // Starts the updater, through `wrapper` (a program and its arguments, given the updater and
  // its command line as its last two) when there is one.
  Platform::Process Start(const std::string& commandLine,
                          std::vector<std::pair<std::string, std::string>> extraEnvironment = {},
                          std::vector<std::string> wrapper = {}) {
    outputs_.push_back(root_.File("tollwick-" + std::to_string(outputs_.size()) + ".out"));
    Platform::ProcessSpec spec{
        root_.File("Quorvane/Updater/Tollwick"), {commandLine}, "", outputs_.back()};
    if (!wrapper.empty()) {
      spec.program = wrapper.front();
      spec.arguments.assign(wrapper.begin() + 1, wrapper.end());
      spec.arguments.insert(spec.arguments.end(),
                            {root_.File("Quorvane/Updater/Tollwick"), commandLine});
    }
    spec.environment = {{"XDG_RUNTIME_DIR", root_.File("run")},
                        {"XDG_DATA_HOME", root_.File("data")},
                        {"QUORVANE_SYSLOG_SOCKET", log_.SocketPath()},
                        {"DISPLAY", ""},
                        {"WAYLAND_DISPLAY", ""}};
    spec.environment.insert(spec.environment.end(), extraEnvironment.begin(),
                            extraEnvironment.end());
    std::error_code error;
    auto process = Platform::Process::Start(spec, error);
    if (!process) throw std::system_error(error);
    return std::move(*process);
  }

  // The command lines the processes ran (each says so on standard error), process by process in
  // the order they were started.
  std::vector<std::string> RunLines(std::size_t expected) {
    std::vector<std::string> lines;
    for (int wait = 0; wait < 100 && lines.size() < expected; ++wait) {
      if (wait > 0) std::this_thread::sleep_for(50ms);
      lines.clear();
      for (const auto& output : outputs_) {
        std::istringstream text(Testing::ReadTextFile(output));
        const std::string prefix = "Tollwick: running the command line '";
        for (std::string line; std::getline(text, line);) {
          if (line.rfind(prefix, 0) == 0)
            lines.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
        }
      }
    }
    return lines;
  }

  Testing::TempFolder root_;
  Testing::SigningKey key_;
  std::vector<std::string> outputs_;
  Testing::TempFolder service_data_;
  Testing::SyslogCollector log_{root_.File("log.sock")};
};

TEST_F(TollwickProcesses, LinesQueuedWhileOneCopyWorksRunOnceInOrder) {
  Testing::LocalServiceProcess service(service_data_.Path(), {"CheckForUpdateEx=slow:600"});
  Configure(service.Endpoint());
  Platform::Process first = Start("/checkonly:center line-0");
  RunLines(1);  // the first copy processes now
  for (int line = 1; line <= 4; ++line) {
    Platform::Process queued = Start("/checkonly:center line-" + std::to_string(line));
    EXPECT_EQ(queued.Wait(), 1);  // it only queued its line
  }
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(RunLines(5),
            (std::vector<std::string>{"/checkonly:center line-0", "/checkonly:center line-1",
                                      "/checkonly:center line-2", "/checkonly:center line-3",
                                      "/checkonly:center line-4"}));
}

TEST_F(TollwickProcesses, ManyCopiesStartedAtOnceRunEveryLineExactlyOnce) {
  Configure("http://127.0.0.1:1/unreachable");
  std::vector<Platform::Process> copies;
  for (int line = 0; line < 8; ++line) {
    copies.push_back(Start("/checkonly:center copy-" + std::to_string(line)));
  }
  int processed = 0;
  for (auto& copy : copies) {
    processed += copy.Wait() == 0 ? 1 : 0;
  }
  EXPECT_GE(processed, 1);
  auto lines = RunLines(8);
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> expected;
  for (int line = 0; line < 8; ++line)
    expected.push_back("/checkonly:center copy-" + std::to_string(line));
  EXPECT_EQ(lines, expected);
}

// A copy killed while it processed a full queue leaves it full: the next start's own line is
// refused, but that copy still runs what waits, so no later start stays locked out.
TEST_F(TollwickProcesses, AFullQueueLeftByAKilledCopyIsProcessedByTheNextStart) {
  Configure("http://127.0.0.1:1/unreachable");
  std::vector<std::string> left;
  for (std::size_t line = 0; line < Updater::kMaxQueuedLines; ++line)
    left.push_back("/checkonly:center left-" + std::to_string(line));
  Testing::WriteTextFile(root_.File("run/Tollwick.queue"), Updater::QueueText(left));
  Platform::Process refused = Start("/checkonly:center refused");
  EXPECT_EQ(refused.Wait(), 1);  // its own line was not run
  EXPECT_EQ(RunLines(left.size()), left);
  Platform::Process next = Start("/checkonly:center next");
  EXPECT_EQ(next.Wait(), 0);
  EXPECT_EQ(RunLines(left.size() + 1).back(), "/checkonly:center next");
}

// An installer still running when its updater is killed keeps the install lock: the next run
// waits for it to end instead of starting a second installer on the same files.
TEST_F(TollwickProcesses, AnInstallerOutlivingAKilledUpdaterIsWaitedForByTheNextRun) {
  const std::string downloads = root_.File("data/Quorvane/Updater/Kestrane/");
  std::filesystem::create_directories(downloads);
  std::filesystem::create_directories(root_.File("Quorvane/Kestrane"));
  const std::string journal = root_.File("installs.log");
  Testing::WriteExecutable(
      downloads + "setup.run",
      "echo start >> '" + journal + "'\nsleep 2\necho end >> '" + journal + "'");
  key_.Sign(downloads + "setup.run", "2.0.0.0");
  Diagnostics::RecordingEventLog log;
  ASSERT_TRUE(
      Update::WriteUpdatesReadyFile({"Kestrane", {2, 0, 0, 0}, {{"%s", "setup.run", downloads}}},
                                    downloads + Update::kUpdatesReadyFileName, log));
  Configure("", "Kestrane");

  Platform::Process killed = Start("/updateonly:center");
  ASSERT_EQ(Testing::AwaitFile(journal, 4000), "start\n");
  killed.Signal(SIGKILL);
  killed.Wait();

  Platform::Process next = Start("/updateonly:center");
  EXPECT_EQ(next.WaitFor(30s), 0);
  EXPECT_EQ(Testing::ReadTextFile(journal), "start\nend\nstart\nend\n");
  EXPECT_FALSE(std::filesystem::exists(downloads + Update::kUpdatesReadyFileName));
}

// What killed writes of the queue and of ready files left, and a download a killed copy left
// half-way with the space it reserved, is cleared by the next run; a temporary changed after the
// run started (a write under way) is not.
TEST_F(TollwickProcesses, TemporariesOfKilledWritesAreClearedByTheNextRun) {
  Configure("http://127.0.0.1:1/unreachable");
  const std::string downloads = root_.File("data/Quorvane/Updater/Kestrane/");
  std::filesystem::create_directories(downloads);
  const std::string halfWay = root_.File("data/Quorvane/Updater/.Kestrane.incoming");
  std::filesystem::create_directories(halfWay);
  Testing::WriteTextFile(halfWay + "/quorvane_2.0.0.0_amd64.deb", std::string(4096, 'x'));
  const std::vector<std::string> stale = {
      root_.File("run/.Tollwick.queue.k1LLed"),
      downloads + "." + Update::kUpdatesReadyFileName + ".k1LLed"};
  for (const auto& path : stale) {
    Testing::WriteTextFile(path, "cut short");
    const timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, path.c_str(), longAgo, 0);
  }
  const std::string underWay = root_.File("run/.Tollwick.queue.UnDerW");
  Platform::Process run = Start("/checkonly:center");
  Testing::WriteTextFile(underWay, "written after the run started");
  EXPECT_EQ(run.Wait(), 0);
  for (const auto& path : stale) EXPECT_FALSE(std::filesystem::exists(path)) << path;
  EXPECT_FALSE(std::filesystem::exists(halfWay));
  EXPECT_TRUE(std::filesystem::exists(underWay));
}

// A download larger than the free space of its folder (a file system of 1 MiB, mounted for the
// updater alone) fails before its bytes are fetched: the reason is logged, no ready file or
// partial download is left.
TEST_F(TollwickProcesses, ADownloadLargerThanTheFreeSpaceFailsCleanlyAndSaysWhy) {
  if (std::system("unshare -rm true 2>/dev/null") != 0) {
    GTEST_SKIP() << "no mount namespace can be made here for a small file system";
  }
  std::filesystem::create_directories(service_data_.File("packages"));
  Testing::WriteTextFile(service_data_.File("packages/big.bin"), std::string(4 * 1024 * 1024, 'x'));
  Testing::WriteTextFile(
      service_data_.File("packages.xml"),
      "<packages><package softwareID=\"Tollwick\" major=\"9\" minor=\"0\" build=\"0\" "
      "revision=\"0\">"
      "<file name=\"big.bin\" mimeType=\"application/octet-stream\" installCommand=\"%s\" "
      "path=\"packages/big.bin\"/></package></packages>");
  Testing::LocalServiceProcess service(service_data_.Path(), {}, key_.SecretKeyPath());
  Configure(service.Endpoint());
  std::filesystem::create_directories(root_.File("data"));
  // Inside the namespace: mount, run the updater, then list what it left there.
  Platform::Process run = Start(
      "/checkonly:admin", {},
      {"/usr/bin/unshare", "-rm", "/bin/sh", "-c",
       "mount -t tmpfs -o size=1m none \"$1\" || exit 99; \"$3\" \"$4\"; echo $? > \"$2/status\"; "
       "find \"$1\" -mindepth 1 > \"$2/left\"",
       "sh", root_.File("data"), root_.Path()});
  EXPECT_EQ(run.Wait(), 0);
  EXPECT_EQ(Testing::ReadTextFile(root_.File("status")), "1\n");
  EXPECT_EQ(Testing::ReadTextFile(root_.File("left")),
            root_.File("data/Quorvane") + "\n" + root_.File("data/Quorvane/Updater") + "\n");
  const auto texts = log_.Texts(200ms);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("Not enough free space for update file 'big.bin'"), std::string::npos)
      << texts[0];
  EXPECT_NE(texts[0].find(std::strerror(ENOSPC)), std::string::npos) << texts[0];
}

// A queue file that cannot be replaced (a folder stands in its place) or a missing configuration
// ends the run with one error entry and exit code 1, never an abort; the queue stays as it was.
TEST_F(TollwickProcesses, AnUnusableQueueOrConfigurationIsLoggedOnceAndEndsWithOne) {
  Platform::Process unconfigured = Start("no switch at all");
  EXPECT_EQ(unconfigured.Wait(), 1);
  auto texts = log_.Texts(200ms);
  ASSERT_EQ(texts.size(), 1u);  // the error only: the event log takes no information entries
  EXPECT_EQ(texts[0],
            "## Exception Information ##\nType: CXmlConfigurationException\nMessage: File '" +
                root_.File("Quorvane/Updater/Tollwick.xml") + "' is Invalid.\nErrorCode: 0x0\n");

  Configure("http://127.0.0.1:1/unreachable");
  EXPECT_EQ(Start("no switch at all").Wait(), 0);
  std::filesystem::remove(root_.File("run/Tollwick.queue"));
  ASSERT_EQ(mkdir(root_.File("run/Tollwick.queue").c_str(), 0700), 0);
  Platform::Process run = Start("/checkonly:center");
  EXPECT_EQ(run.Wait(), 1);
  texts = log_.Texts(200ms);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[1].find("Tollwick could not use its command queue: cannot write the updater "
                          "queue: Is a directory"),
            std::string::npos)
      << texts[1];
  EXPECT_TRUE(std::filesystem::is_directory(root_.File("run/Tollwick.queue")));
  const std::string output = Testing::ReadTextFile(outputs_.back());
  EXPECT_EQ(output.find("running the command line"), std::string::npos)
      << output;  // the queue ran nothing
}

}  // namespace
