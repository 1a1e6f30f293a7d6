// The workers' fetch passes against the stand-in service, and their frame on a counting clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "center/messages/message_workers.h"
#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/field_encoding.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using namespace std::chrono_literals;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

class Workers : public testing::Test {
 protected:
  Workers() {
    messages_.path = folder_.File(kMessagesFileName);
    feedback_.path = folder_.File(kFeedbackFileName);
    feedback_.userId = "{user}";
    WriteMessages("2026-11-02T09:00:00");
  }
  void WriteMessages(const std::string& firstStamp) {
    WriteTextFile(
        data_.File("messages.xml"),
        "<messages><message pk=\"1\" title=\"Welcome\" createdTimeStamp=\"" + firstStamp +
            "\">Hello racer</message><message pk=\"9000000000\" title=\"Quad 3.4\" "
            "createdTimeStamp=\"2026-11-28T18:30:00\">Smoother clutch</message></messages>");
  }

  Testing::TempFolder data_;
  Testing::TempFolder folder_;
  Testing::LocalServiceProcess service_{data_.Path()};
  CenterService center_{service_.Endpoint()};
  MessageStore messages_;
  FeedbackStore feedback_;
  std::atomic<bool> quit_{false};
  Diagnostics::RecordingEventLog log_;
};

TEST_F(Workers, MessagesAreMergedAndTheFileRewrittenOnlyWhenSomethingChanged) {
  EXPECT_TRUE(MessageFetchPass(messages_, center_, log_));
  ASSERT_EQ(messages_.items.size(), 2u);
  EXPECT_EQ(messages_.items[0].body, "Hello racer");
  EXPECT_EQ(messages_.items[1].pk, 9000000000);
  const std::string saved = ReadTextFile(messages_.path);

  std::filesystem::remove(messages_.path);
  EXPECT_FALSE(MessageFetchPass(messages_, center_, log_));  // equal time stamps: nothing rewritten
  EXPECT_FALSE(std::filesystem::exists(messages_.path));

  WriteMessages("2026-12-06T10:00:00");
  EXPECT_TRUE(MessageFetchPass(messages_, center_, log_));
  ASSERT_EQ(messages_.items.size(), 2u);  // replaced in place, not appended
  EXPECT_EQ(Service::FormatTimeStamp(messages_.items[0].created), "2026-12-06T10:00:00");
  EXPECT_NE(ReadTextFile(messages_.path), saved);
}

// A pass that finds nothing new still saves a list whose last save failed, even with the
// service unreachable; the failure was a warning with the system's reason.
TEST_F(Workers, AListWhoseSaveFailedIsSavedAgainByTheNextPass) {
  {
    Testing::FileSizeLimit fullDisk;
    EXPECT_TRUE(MessageFetchPass(messages_, center_, log_));
  }
  EXPECT_FALSE(std::filesystem::exists(messages_.path));
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].text,
            messages_.path + " could not be saved (File too large); it is saved again later.");

  service_.Behave("GetQuorvaneMessageToUsers=fault");
  EXPECT_FALSE(MessageFetchPass(messages_, center_, log_));
  std::vector<std::string> skipped;
  EXPECT_EQ(ParseMessagesDocument(ReadTextFile(messages_.path), skipped)
                .value_or(std::vector<Service::MessageItem>{})
                .size(),
            2u);
  EXPECT_FALSE(messages_.saveDue);
}

TEST_F(Workers, MessagesStayWhenTheServiceNoLongerSendsThemAndFailuresAreNothing) {
  MessageFetchPass(messages_, center_, log_);
  WriteTextFile(data_.File("messages.xml"), "<messages/>");
  EXPECT_FALSE(MessageFetchPass(messages_, center_, log_));
  EXPECT_EQ(messages_.items.size(), 2u);
  service_.Behave("GetQuorvaneMessageToUsers=fault");
  EXPECT_FALSE(MessageFetchPass(messages_, center_, log_));
  service_.Behave("GetQuorvaneMessageToUsers=empty");
  EXPECT_FALSE(MessageFetchPass(messages_, center_, log_));
  service_.Behave("GetQuorvaneMessageToUsers=badbase64");
  EXPECT_THROW(MessageFetchPass(messages_, center_, log_), Halvex::Exceptions::HvxException);
}

TEST_F(Workers, ADamagedItemIsSkippedWithAWarningAndTheRestOfThePassIsAppliedOnceAndSaved) {
  WriteTextFile(
      data_.File("messages.xml"),
      "<messages><message pk=\"1\" title=\"Cut short\" createdTimeStamp=\"2026-11\">x</message>"
      "<message pk=\"2\" title=\"Fine\" "
      "createdTimeStamp=\"2026-11-28T18:30:00\">Ok</message></messages>");
  EXPECT_TRUE(MessageFetchPass(messages_, center_, log_));
  ASSERT_EQ(messages_.items.size(), 1u);
  EXPECT_EQ(messages_.items[0].title, "Fine");
  EXPECT_TRUE(std::filesystem::exists(messages_.path));  // what was applied is saved
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].type, Diagnostics::kEventWarning);
  EXPECT_NE(log_.Entries()[0].text.find("message 1"), std::string::npos);

  Service::FeedbackItem first;
  first.pk = 41;
  Service::FeedbackItem second = first;
  second.pk = 42;
  feedback_.items = {first, second};
  EXPECT_FALSE(FeedbackFetchPass(feedback_, center_, quit_, log_));  // no replies yet
  std::filesystem::create_directories(data_.File("feedback/replies"));
  WriteTextFile(data_.File("feedback/replies/41.xml"),
                "<reply respondedTimeStamp=\"soon\">Hmm</reply>");
  WriteTextFile(data_.File("feedback/replies/42.xml"),
                "<reply respondedTimeStamp=\"2026-12-06T11:00:00\">Grease the pivot</reply>");
  EXPECT_TRUE(FeedbackFetchPass(feedback_, center_, quit_, log_));
  EXPECT_EQ(feedback_.items[0].responseBody, "");
  EXPECT_EQ(feedback_.items[1].responseBody, "Grease the pivot");
  EXPECT_EQ(log_.Entries().size(), 2u);
  EXPECT_NE(ReadTextFile(feedback_.path).find(Service::Base64EncodeText("Grease the pivot")),
            std::string::npos);
  EXPECT_FALSE(
      FeedbackFetchPass(feedback_, center_, quit_, log_));  // same time stamp: not applied again
}

// A clock whose sleeps take no time, counted; it sets the quit flag after a number of them.
class CountingClock final : public Platform::Clock {
 public:
  CountingClock(std::atomic<bool>& quit, int quitAfter) : quit_(quit), quitAfter_(quitAfter) {}
  TimePoint Now() override { return {}; }
  void SleepFor(std::chrono::milliseconds) override {
    if (++sleeps == quitAfter_) quit_ = true;
  }
  int sleeps = 0;

 private:
  std::atomic<bool>& quit_;
  int quitAfter_;
};

TEST_F(Workers, TheMessageWorkerFetchesAtOnceAndThenEveryHour) {
  Diagnostics::RecordingEventLog log;
  CountingClock clock(quit_, 3 * 3600 - 1);
  std::filesystem::remove(data_.File("messages.xml"));
  service_.Behave("GetQuorvaneMessageToUsers=badbase64");  // every pass fails: counted in the log
  RunMessageWorker(messages_, {center_, log, clock, quit_});
  // Passes at the start and after 3600 and 7200 one-second sleeps (the countdown then reaches
  // 3600001); the quit flag, set in the last sleep before the fourth, ends the worker.
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text,
            "Application has encountered an exception in async retrive Quorvane Message To!");
}

TEST_F(Workers, TheFeedbackWorkerQuitsWithinASecondOfTheFlag) {
  Diagnostics::RecordingEventLog log;
  Platform::SystemClock clock;
  std::thread worker([&] { RunFeedbackResponseWorker(feedback_, {center_, log, clock, quit_}); });
  std::this_thread::sleep_for(200ms);
  const auto asked = std::chrono::steady_clock::now();
  quit_ = true;
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 1200ms);
}

}  // namespace
