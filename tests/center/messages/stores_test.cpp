#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <filesystem>

#include "center/messages/local_stores.h"
#include "common/service/field_encoding.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

Service::MessageItem Message(std::int64_t pk, const std::string& title, const std::string& body) {
  Service::MessageItem item;
  item.pk = pk;
  item.title = title;
  item.body = body;
  item.created = Service::ParseTimeStamp("2026-11-30T10:11:12");
  return item;
}

TEST(MessageStoreFile, RoundTripKeepsLargeKeysLineBreaksAndMarkup) {
  Testing::TempFolder folder;
  MessageStore store;
  store.path = folder.File("Quorvane/Kestrane/") + kMessagesFileName;
  store.items = {Message(5000000000, "Clutch <bite> & point\r\nsecond line", "line one\r\nline <two> & \"three\""),
                 Message(-3, "", "")};
  ASSERT_TRUE(SaveMessageStore(store));
  const std::string text = ReadTextFile(store.path);
  EXPECT_EQ(text.rfind("<?xml version='1.0' encoding='utf-8'?><items><item><pk>5000000000</pk>", 0), 0u);
  // Bodies are Base64 of UTF-16LE; titles plain character data.
  EXPECT_NE(text.find("<title>Clutch &lt;bite&gt; &amp; point\r\nsecond line</title>"), std::string::npos);
  EXPECT_NE(text.find("<body>" + Service::Base64EncodeText("line one\r\nline <two> & \"three\"")), std::string::npos);

  MessageStore loaded;
  loaded.path = store.path;
  Diagnostics::RecordingEventLog log;
  LoadMessageStore(loaded, log);
  ASSERT_EQ(loaded.items.size(), 2u);
  EXPECT_EQ(loaded.items[0].pk, 5000000000);
  EXPECT_EQ(loaded.items[0].title, "Clutch <bite> & point\r\nsecond line");  // a title keeps its CR LF
  EXPECT_EQ(loaded.items[0].body, "line one\r\nline <two> & \"three\"");
  EXPECT_TRUE(Service::SameCalendarTime(loaded.items[0].created, store.items[0].created));
  EXPECT_EQ(loaded.items[1].pk, -3);
  EXPECT_TRUE(log.Entries().empty());
}

TEST(FeedbackStoreFile, AFeedbackWithoutReplyKeepsItsZeroTimeAndEmptyReply) {
  Testing::TempFolder folder;
  FeedbackStore store;
  store.path = folder.File(kFeedbackFileName);
  Service::FeedbackItem item;
  item.pk = 7;
  item.title = "Pedal squeaks";
  item.body = "Since firmware 3.2 \xF0\x9F\x8F\x81";
  item.created = Service::ParseTimeStamp("2026-12-01T08:00:00");
  store.items = {item};
  ASSERT_TRUE(SaveFeedbackStore(store));
  const std::string text = ReadTextFile(store.path);
  EXPECT_NE(text.find("<respondedTimeStamp>1900-01-00T00:00:00</respondedTimeStamp><responseBody></responseBody>"),
            std::string::npos);

  FeedbackStore loaded;
  loaded.path = store.path;
  Diagnostics::RecordingEventLog log;
  LoadFeedbackStore(loaded, log);
  ASSERT_EQ(loaded.items.size(), 1u);
  EXPECT_EQ(loaded.items[0].body, item.body);
  EXPECT_EQ(loaded.items[0].responseBody, "");
  EXPECT_EQ(Service::FormatTimeStamp(loaded.items[0].responded), "1900-01-00T00:00:00");
}

TEST(StoreFiles, DamagedItemsAreSkippedWithAWarningAndTheRestLoads) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("m.xml"),
                "<items><item><pk>1</pk><title>ok</title><body>SABpAA==</body><createdTimeStamp></createdTimeStamp></item>"
                "<item><pk>2</pk><title>bad body</title><body>not base64!</body><createdTimeStamp>2026-01-01T00:00:00</createdTimeStamp></item>"
                "<item><pk>3</pk><title>short time</title><body></body><createdTimeStamp>2026-01</createdTimeStamp></item>"
                "<item><pk>4</pk><title>no body</title><createdTimeStamp></createdTimeStamp></item>"
                "<item><pk>5</pk><title>ok too</title><body></body><createdTimeStamp>2026-01-02T03:04:05</createdTimeStamp></item></items>");
  MessageStore store;
  store.path = folder.File("m.xml");
  Diagnostics::RecordingEventLog log;
  LoadMessageStore(store, log);
  ASSERT_EQ(store.items.size(), 2u);
  EXPECT_EQ(store.items[0].body, "Hi");
  EXPECT_EQ(Service::FormatTimeStamp(store.items[0].created), "1900-01-00T00:00:00");  // empty text: zero time
  EXPECT_EQ(store.items[1].pk, 5);
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].type, Diagnostics::kEventWarning);
  EXPECT_NE(entries[0].text.find("item 2: CryptStringToBinary failed"), std::string::npos);
}

TEST(StoreFiles, MissingOrBrokenFilesGiveEmptyListsAndAnEmptyDocumentToo) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("broken.xml"), "<items><item>");
  WriteTextFile(folder.File("empty.xml"), "<items/>");
  for (const char* name : {"absent.xml", "broken.xml", "empty.xml"}) {
    FeedbackStore store;
    store.path = folder.File(name);
    Diagnostics::RecordingEventLog log;
    LoadFeedbackStore(store, log);
    EXPECT_TRUE(store.items.empty()) << name;
  }
}

TEST(UserId, MadeOnceAsSeventySixBytesAndReadBackAfterwards) {
  Testing::TempFolder folder;
  const std::string userFolder = folder.File("Quorvane/Kestrane/");
  const std::string id = GetOrCreateUserId(userFolder);
  ASSERT_EQ(id.size(), 38u);
  EXPECT_EQ(ReadTextFile(userFolder + kUserIdFileName).size(), 76u);
  EXPECT_EQ(GetOrCreateUserId(userFolder), id);
  EXPECT_FALSE(std::filesystem::exists(userFolder + kUserIdFileName + std::string(".new")));
}

TEST(UserId, AFileOfAnyOtherSizeIsLeftAlone) {
  Testing::TempFolder folder;
  const std::string path = folder.File(kUserIdFileName);
  const std::string seventySeven = std::string(76, 'A') + "\n";
  WriteTextFile(path, seventySeven);
  EXPECT_EQ(GetOrCreateUserId(folder.Path() + "/"), kNoUserId);
  EXPECT_EQ(ReadTextFile(path), seventySeven);
}

// A worker's save and the dialog's save of a new feedback race: the file must end with the
// newer list, never with a list taken before the feedback was added.
TEST(StoreFiles, AnOlderListNeverOverwritesANewerSave) {
  Testing::TempFolder folder;
  FeedbackStore store;
  store.path = folder.File(kFeedbackFileName);
  for (int round = 0; round < 40; ++round) {
    // The worker saves over and over, so that one of its saves is under way at any moment.
    std::atomic<bool> stop{false};
    std::thread worker([&] {
      while (!stop) SaveFeedbackStore(store);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    {
      std::lock_guard lock(store.lock);
      Service::FeedbackItem item;
      item.pk = round + 1;
      store.items.push_back(item);
    }
    stop = true;
    SaveFeedbackStore(store);
    worker.join();
    std::vector<std::string> skipped;
    ASSERT_EQ(ParseFeedbackDocument(ReadTextFile(store.path), skipped).size(), static_cast<std::size_t>(round + 1))
        << "round " << round;
  }
}

}  // namespace
