// quorvane-install-update: installs one signed update package of the Quorvane programs as root.
// The updater (or the center, for the updater's own update) runs it through pkexec and waits:
//
//   pkexec <root>/Quorvane/Updater/quorvane-install-update /ABSOLUTE/PATH/NAME.deb
//
// The signature is NAME.deb.minisig beside the package. Exit statuses: see install_helper.h.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/known_folders.h"
#include "common/platform/process.h"
#include "common/signing/update_signature.h"
#include "updater/install_helper/install_helper.h"
#include "updater/install_helper/process_state.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::InstallHelper;

constexpr const char* kStagingBase = "/var/lib/quorvane";
// As long as apt waits for its own lock.
constexpr int kStagingWaitSeconds = 300;

int Refuse(int status, const std::string& reason) {
  std::fprintf(stderr, "quorvane-install-update: %s\n", reason.c_str());
  syslog(LOG_ERR, "%s", reason.c_str());
  return status;
}

// What the helper runs is fixed: its environment, its standard streams, its signals, limits,
// priorities and session. The caller's environment is dropped whole, descriptors beyond the
// standard three are closed, and once under way an install is not cut short by its caller ending
// (pkexec asks for SIGTERM then) nor by the caller's terminal.
// Returns the caller's limits that could not be lifted, if any.
std::optional<std::string> FixTheProcess() {
  prctl(PR_SET_PDEATHSIG, 0);
  auto lowerLimits = ResetProcessState();
  clearenv();
  setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
  setenv("HOME", "/root", 1);
  setenv("LANG", "C.UTF-8", 1);
  umask(022);
  const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  dup2(null, STDIN_FILENO);
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(stream, F_GETFD) < 0) dup2(null, stream);
  }
  close_range(3, ~0U, 0);
  LeaveCallerSession();
  return lowerLimits;
}

// Runs a program of the package manager, waits for it and returns its exit status. It runs in a
// session of its own, away from the caller's terminal, and its output goes to a buffer of the
// helper's: neither a closed terminal, Ctrl-C, nor a reader that stops reading can cut short an
// install halfway. The output goes into `output` when given, else on to the caller afterwards.
int RunTool(std::vector<std::string> command, std::string* output = nullptr,
            Platform::ProcessSpec::Environment environment = {}) {
  Platform::ProcessSpec spec{command.front(), {command.begin() + 1, command.end()}, "/", ""};
  spec.environment = std::move(environment);
  spec.newSession = true;
  Platform::UniqueFd captured(memfd_create("tool-output", MFD_CLOEXEC));
  spec.outputDescriptor = captured.Get();
  std::error_code error;
  auto tool = Platform::Process::Start(spec, error);
  if (!tool) {
    return -1;
  }
  const int status = tool->Wait();
  std::string text;
  lseek(captured.Get(), 0, SEEK_SET);
  char piece[4096];
  ssize_t got = 0;
  while ((got = read(captured.Get(), piece, sizeof piece)) > 0)
    text.append(piece, static_cast<std::size_t>(got));
  if (output == nullptr) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return status;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  *output = std::move(text);
  return status;
}

// The folder this program is installed in; its key lies beside it.
std::string OwnFolder() {
  const std::string self = Platform::RunningExecutablePath();
  return self.substr(0, self.rfind('/') + 1);
}

// Removes the staging folder on every way out.
class StagingFolder {
 public:
  explicit StagingFolder(std::string path) : path_(std::move(path)) {}
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  ~StagingFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }

 private:
  std::string path_;
};

int Install(const std::string& packagePath, const Caller& caller) {
  std::string reason;
  const auto package = OpenCallerFile(packagePath, caller, kMaxPackageSize, reason);
  if (!package.Valid()) return Refuse(Update::kHelperRefusedFile, "refused: " + reason);
  const auto signatureFile = OpenCallerFile(packagePath + std::string(Signing::kSignatureSuffix),
                                            caller, Signing::kMaxSignatureFileSize, reason);
  if (!signatureFile.Valid())
    return Refuse(Update::kHelperBadSignature, "refused: the signature: " + reason);
  std::string signatureText(Signing::kMaxSignatureFileSize, '\0');
  const ssize_t signatureSize =
      read(signatureFile.Get(), signatureText.data(), signatureText.size());
  signatureText.resize(signatureSize > 0 ? static_cast<std::size_t>(signatureSize) : 0);

  const std::string keyPath = OwnFolder() + Signing::kUpdateKeyFileName;
  if (!IsTrustedPath(keyPath, 0, reason))
    return Refuse(Update::kHelperInternalError, "the update key is not trusted: " + reason);
  const auto keyText = Signing::ReadSmallFile(keyPath, Signing::kMaxSignatureFileSize, reason);
  if (!keyText)
    return Refuse(Update::kHelperInternalError, "the update key cannot be read: " + reason);

  const auto stagingBase = TakeStagingBase(kStagingBase, 0, kStagingWaitSeconds, reason);
  if (!stagingBase.Valid())
    return Refuse(Update::kHelperInternalError, "refused '" + packagePath + "': " + reason);
  // The user may grow the file after it was opened: the copy stops at the cap, so the cap is
  // what must fit.
  if (auto full = CheckFreeSpace(kStagingBase, kMaxPackageSize)) {
    return Refuse(Update::kHelperRefusedFile, "refused '" + packagePath + "': " + *full);
  }
  const auto stagingFolder = MakeStagingFolder(kStagingBase, 0, reason);
  if (!stagingFolder) return Refuse(Update::kHelperInternalError, reason);
  const StagingFolder removeAtEnd(*stagingFolder);
  const std::string packageName = packagePath.substr(packagePath.rfind('/') + 1);
  const Staged staged =
      StageVerified(package.Get(), signatureText, *keyText, packageName, *stagingFolder);
  if (staged.refusal)
    return Refuse(staged.refusal->status,
                  "refused '" + packagePath + "': " + staged.refusal->reason);

  std::string fields;
  if (RunTool({"/usr/bin/dpkg-deb", "--field", staged.path, "Package", "Version"}, &fields) != 0) {
    return Refuse(Update::kHelperRefusedPackage,
                  "refused '" + packagePath + "': it is not a Debian package");
  }
  const std::string expected = std::string("Package: ") + QUORVANE_PACKAGE_NAME + "\nVersion: ";
  if (!fields.starts_with(expected) || fields.find('\n', expected.size()) != std::string::npos) {
    return Refuse(Update::kHelperRefusedPackage,
                  "refused '" + packagePath + "': it is not a package of " + QUORVANE_PACKAGE_NAME);
  }
  const std::string version = fields.substr(expected.size());
  if (Signing::ParseVersionText(version) != staged.signedVersion) {
    return Refuse(Update::kHelperRefusedPackage, "refused '" + packagePath +
                                                     "': its signature was made for version " +
                                                     Signing::VersionText(staged.signedVersion) +
                                                     ", not the package's " + version);
  }
  std::string installed;
  if (RunTool({"/usr/bin/dpkg-query", "--show", "--showformat=${Version}", QUORVANE_PACKAGE_NAME},
              &installed) == 0 &&
      !installed.empty() &&
      RunTool({"/usr/bin/dpkg", "--compare-versions", version, "le", installed}) == 0) {
    return Refuse(Update::kHelperRefusedPackage, "refused '" + packagePath + "': its version " +
                                                     version + " is not above the installed " +
                                                     installed);
  }
  // The administrator's changes to the configuration files are kept without asking.
  const int status =
      RunTool({"/usr/bin/apt-get", "install", "--yes", "--no-install-recommends", "-o",
               "Dpkg::Options::=--force-confdef", "-o", "Dpkg::Options::=--force-confold", "-o",
               "DPkg::Lock::Timeout=300", staged.path},
              nullptr, {{"DEBIAN_FRONTEND", "noninteractive"}});
  if (status != 0 ||
      RunTool({"/usr/bin/dpkg-query", "--show", "--showformat=${Version}", QUORVANE_PACKAGE_NAME},
              &installed) != 0 ||
      installed != version) {
    return Refuse(Update::kHelperInstallerFailed, "the package manager could not install '" +
                                                      packagePath + "' (status " +
                                                      std::to_string(status) + ")");
  }
  syslog(LOG_NOTICE, "installed %s %s for user %u", QUORVANE_PACKAGE_NAME, version.c_str(),
         caller.uid);
  std::printf("quorvane-install-update: installed %s %s\n", QUORVANE_PACKAGE_NAME, version.c_str());
  return Update::kHelperInstalled;
}

}  // namespace

int main(int argc, char** argv) {
  // Read before the environment is dropped: the one variable that comes from pkexec itself.
  const char* pkexecUid = std::getenv("PKEXEC_UID");
  const std::string pkexecUidText = pkexecUid != nullptr ? pkexecUid : "";
  const auto lowerLimits = FixTheProcess();
  openlog("quorvane-install-update", LOG_PID, LOG_USER);
  if (getuid() != 0 || geteuid() != 0 || setgroups(0, nullptr) != 0) {
    return Refuse(Update::kHelperRefusedInvocation, "refused: it must run as root, through pkexec");
  }
  const auto caller = CallerOf(pkexecUid != nullptr ? pkexecUidText.c_str() : nullptr, getuid());
  const auto packagePath = PackageArgument(argc, argv);
  if (!caller || !packagePath) {
    return Refuse(Update::kHelperRefusedInvocation,
                  "refused: usage: quorvane-install-update /ABSOLUTE/PATH/NAME.deb");
  }
  if (lowerLimits) {
    // A limit that stays could kill the package manager half-way and leave a broken package.
    return Refuse(Update::kHelperRefusedInvocation,
                  "refused: the caller's limits cannot be lifted here and could cut "
                  "the install short: " +
                      *lowerLimits);
  }
  return Install(*packagePath, *caller);
}
