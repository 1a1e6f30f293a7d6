#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "center/messages/local_stores.h"
#include "common/service_client/field_encoding.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using Testing::FilesStartingWith;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

// Where saves that are expected to succeed report.
Diagnostics::RecordingEventLog log_;

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
  store.items = {Message(5000000000, "Clutch <bite> & point\r\nsecond line",
                         "line one\r\nline <two> & \"three\""),
                 Message(-3, "", "")};
  ASSERT_TRUE(SaveMessageStore(store, log_));
  const std::string text = ReadTextFile(store.path);
  EXPECT_EQ(text.rfind("<?xml version='1.0' encoding='utf-8'?><items><item><pk>5000000000</pk>", 0),
            0u);
  // Bodies are Base64 of UTF-16LE; titles plain character data.
  EXPECT_NE(text.find("<title>Clutch &lt;bite&gt; &amp; point\r\nsecond line</title>"),
            std::string::npos);
  EXPECT_NE(text.find("<body>" + Service::Base64EncodeText("line one\r\nline <two> & \"three\"")),
            std::string::npos);

  MessageStore loaded;
  loaded.path = store.path;
  Diagnostics::RecordingEventLog log;
  LoadMessageStore(loaded, log);
  ASSERT_EQ(loaded.items.size(), 2u);
  EXPECT_EQ(loaded.items[0].pk, 5000000000);
  EXPECT_EQ(loaded.items[0].title,
            "Clutch <bite> & point\r\nsecond line");  // a title keeps its CR LF
  EXPECT_EQ(loaded.items[0].body, "line one\r\nline <two> & \"three\"");
  EXPECT_TRUE(Service::SameCalendarTime(loaded.items[0].created, store.items[0].created));
  EXPECT_EQ(loaded.items[1].pk, -3);
  EXPECT_TRUE(log.Entries().empty());
}

TEST(FeedbackStoreFile, AFeedbackWithoutReplyKeepsItsZeroTimeAndEmptyReplyAndTheListItsUser) {
  Testing::TempFolder folder;
  FeedbackStore store;
  store.path = folder.File(kFeedbackFileName);
  store.userId = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
  Service::FeedbackItem item;
  item.pk = 7;
  item.title = "Pedal squeaks";
  item.body = "Since firmware 3.2 \xF0\x9F\x8F\x81";
  item.created = Service::ParseTimeStamp("2026-12-01T08:00:00");
  store.items = {item};
  ASSERT_TRUE(SaveFeedbackStore(store, log_));
  const std::string text = ReadTextFile(store.path);
  EXPECT_NE(text.find("<respondedTimeStamp>1900-01-00T00:00:00</respondedTimeStamp><responseBody></"
                      "responseBody>"),
            std::string::npos);

  FeedbackStore loaded;
  loaded.path = store.path;
  Diagnostics::RecordingEventLog log;
  LoadFeedbackStore(loaded, log);
  ASSERT_EQ(loaded.items.size(), 1u);
  EXPECT_EQ(loaded.items[0].body, item.body);
  EXPECT_EQ(loaded.items[0].responseBody, "");
  EXPECT_EQ(Service::FormatTimeStamp(loaded.items[0].responded), "1900-01-00T00:00:00");
  EXPECT_EQ(loaded.recordedUserId, store.userId);
}

TEST(StoreFiles, DamagedItemsAreSkippedWithAWarningAndTheRestLoads) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("m.xml"),
                "<items><item><pk>1</pk><title>ok</title><body>SABpAA==</body><createdTimeStamp></"
                "createdTimeStamp></item>"
                "<item><pk>2</pk><title>bad body</title><body>not "
                "base64!</body><createdTimeStamp>2026-01-01T00:00:00</createdTimeStamp></item>"
                "<item><pk>3</pk><title>short "
                "time</title><body></body><createdTimeStamp>2026-01</createdTimeStamp></item>"
                "<item><pk>4</pk><title>no body</title><createdTimeStamp></createdTimeStamp></item>"
                "<item><pk>5</pk><title>ok "
                "too</title><body></body><createdTimeStamp>2026-01-02T03:04:05</createdTimeStamp></"
                "item></items>");
  MessageStore store;
  store.path = folder.File("m.xml");
  Diagnostics::RecordingEventLog log;
  LoadMessageStore(store, log);
  ASSERT_EQ(store.items.size(), 2u);
  EXPECT_EQ(store.items[0].body, "Hi");
  EXPECT_EQ(Service::FormatTimeStamp(store.items[0].created),
            "1900-01-00T00:00:00");  // empty text: zero time
  EXPECT_EQ(store.items[1].pk, 5);
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].type, Diagnostics::kEventWarning);
  EXPECT_NE(entries[0].text.find("item 2: CryptStringToBinary failed"), std::string::npos);

  // The save that writes the list without them keeps the file as it was aside first: what could
  // not be read is never lost.
  const std::string original = ReadTextFile(store.path);
  ASSERT_TRUE(SaveMessageStore(store, log));
  ASSERT_EQ(log.Entries().size(), 4u);
  EXPECT_NE(log.Entries()[3].text.find("(3 of its entries could not be read); it was kept as "),
            std::string::npos)
      << log.Entries()[3].text;
  const std::string keptAs =
      log.Entries()[3].text.substr(log.Entries()[3].text.find("kept as ") + 8);
  EXPECT_EQ(ReadTextFile(keptAs.substr(0, keptAs.find(" and "))), original);
  std::vector<std::string> skipped;
  EXPECT_EQ(ParseMessagesDocument(ReadTextFile(store.path), skipped)
                .value_or(std::vector<Service::MessageItem>{})
                .size(),
            2u);
  ASSERT_TRUE(SaveMessageStore(store, log));
  EXPECT_EQ(log.Entries().size(), 4u);  // kept once
}

TEST(StoreFiles, MissingFilesAndEmptyDocumentsGiveEmptyListsQuietly) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("empty.xml"), "<items/>");
  for (const char* name : {"absent.xml", "empty.xml"}) {
    FeedbackStore store;
    store.path = folder.File(name);
    Diagnostics::RecordingEventLog log;
    LoadFeedbackStore(store, log);
    EXPECT_TRUE(store.items.empty()) << name;
    EXPECT_TRUE(log.Entries().empty()) << name;
  }
}

// Messages kept only on this machine must survive a damaged file: it is kept, not overwritten.
TEST(StoreFiles, AnUnreadableFileIsKeptAsideWithAWarningAndTheListStartsEmpty) {
  Testing::TempFolder folder;
  for (const std::string damaged : {"<items><item>", "", "<feedback/>"}) {
    std::filesystem::remove_all(folder.File("data"));
    std::filesystem::create_directories(folder.File("data"));
    MessageStore store;
    store.path = folder.File("data/") + kMessagesFileName;
    WriteTextFile(store.path, damaged);
    Diagnostics::RecordingEventLog log;
    LoadMessageStore(store, log);
    EXPECT_TRUE(store.items.empty());
    const auto kept =
        FilesStartingWith(folder.File("data"), std::string(kMessagesFileName) + ".damaged-");
    ASSERT_EQ(kept.size(), 1u) << damaged;
    EXPECT_EQ(ReadTextFile(folder.File("data/" + kept[0])), damaged);
    const auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].type, Diagnostics::kEventWarning);
    EXPECT_EQ(entries[0].text.rfind(store.path + " could not be read (", 0), 0u) << entries[0].text;
    EXPECT_NE(entries[0].text.find("kept as " + folder.File("data/" + kept[0]) +
                                   " and the messages start empty."),
              std::string::npos)
        << entries[0].text;

    store.items = {Message(1, "new", "")};
    ASSERT_TRUE(SaveMessageStore(store, log));
    EXPECT_EQ(ReadTextFile(folder.File("data/" + kept[0])), damaged);
  }
}

TEST(UserId, MadeOnceAsSeventySixBytesAndReadBackAfterwards) {
  Testing::TempFolder folder;
  const std::string userFolder = folder.File("Quorvane/Kestrane/");
  Diagnostics::RecordingEventLog log;
  const std::string id = GetOrCreateUserId(userFolder, "", log);
  ASSERT_EQ(id.size(), 38u);
  EXPECT_EQ(ReadTextFile(userFolder + kUserIdFileName).size(), 76u);
  EXPECT_EQ(GetOrCreateUserId(userFolder, "", log), id);
  EXPECT_EQ(GetOrCreateUserId(userFolder, "{0F8FAD5B-D9CB-469F-A165-70867728950E}", log),
            id);  // the file decides
  EXPECT_FALSE(std::filesystem::exists(userFolder + kUserIdFileName + std::string(".new")));
  EXPECT_TRUE(log.Entries().empty());
}

// A damaged identifier must not become a placeholder for good: the feedback list's identifier
// takes its place when it has one (so earlier feedback keeps its replies), else a new one.
TEST(UserId, ADamagedFileIsKeptAsideAndReplacedByTheRecordedOrANewIdentifier) {
  Testing::TempFolder folder;
  const std::string recorded = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
  const std::string seventySeven = std::string(76, 'A') + "\n";
  for (const std::string& fromFeedback :
       {recorded, std::string(), std::string("not an identifier")}) {
    std::filesystem::remove_all(folder.File("u"));
    std::filesystem::create_directories(folder.File("u"));
    WriteTextFile(folder.File("u/") + kUserIdFileName, seventySeven);
    Diagnostics::RecordingEventLog log;
    const std::string id = GetOrCreateUserId(folder.File("u/"), fromFeedback, log);
    if (fromFeedback == recorded) {
      EXPECT_EQ(id, recorded);
    } else {
      EXPECT_EQ(id.size(), 38u);
      EXPECT_NE(id, recorded);
    }
    EXPECT_EQ(GetOrCreateUserId(folder.File("u/"), "", log), id);
    const auto kept =
        FilesStartingWith(folder.File("u"), std::string(kUserIdFileName) + ".damaged-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadTextFile(folder.File("u/" + kept[0])), seventySeven);
    const auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].text.find("could not be read (it holds 77 bytes, not 76); it was kept as"),
              std::string::npos)
        << entries[0].text;
  }
}

TEST(UserId, AnIdentifierThatCannotBeWrittenIsStillUsedAndWrittenAtTheNextStart) {
  Testing::TempFolder folder;
  Diagnostics::RecordingEventLog log;
  std::string id;
  {
    Testing::FileSizeLimit fullDisk;
    id = GetOrCreateUserId(folder.Path() + "/", "", log);
  }
  EXPECT_EQ(id.size(), 38u);
  EXPECT_FALSE(std::filesystem::exists(folder.File(kUserIdFileName)));
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].text.find("could not be saved (File too large)"), std::string::npos)
      << entries[0].text;
  // The feedback list saved with it hands it back at the next start.
  EXPECT_EQ(GetOrCreateUserId(folder.Path() + "/", id, log), id);
  EXPECT_EQ(ReadTextFile(folder.File(kUserIdFileName)).size(), 76u);
}

// What killed saves left is cleared; nothing else is touched, and links are never followed.
TEST(StaleTemporaries, OnlyOurOwnOldTemporariesAreRemoved) {
  Testing::TempFolder folder;
  Testing::TempFolder elsewhere;
  const auto old = [](const std::string& path) {
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
  };
  const std::vector<std::string> stale = {
      ".Quorvane.Messages.xml.a1B2c3", ".Quorvane.UserFeedback.xml.XyZ789", ".Kestrane.xml.Q9w8E7",
      "Quorvane.UserId.txt.new", ".Quorvane.UserId.txt.new.abcdef"};
  const std::vector<std::string> kept = {".Quorvane.Messages.xml.short",
                                         ".Quorvane.Messages.xml.a1B2c3d", ".Other.xml.a1B2c3",
                                         "Quorvane.Messages.xml", ".Quorvane.Messages.xml.NEW123"};
  for (const auto& name : stale) {
    WriteTextFile(folder.File(name), "left by a killed save");
    old(folder.File(name));
  }
  for (const auto& name : kept) {
    WriteTextFile(folder.File(name), "ours to keep");
    if (name != ".Quorvane.Messages.xml.NEW123")
      old(folder.File(name));  // that one: a save under way
  }
  WriteTextFile(elsewhere.File("target"), "not ours");
  old(elsewhere.File("target"));
  ASSERT_EQ(symlink(elsewhere.File("target").c_str(),
                    folder.File(".Quorvane.Messages.xml.LINK00").c_str()),
            0);
  old(folder.File(".Quorvane.Messages.xml.LINK00"));

  RemoveStaleCenterTemporaries(folder.Path() + "/");
  for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(folder.File(name))) << name;
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(folder.File(name))) << name;
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File(".Quorvane.Messages.xml.LINK00")));
  EXPECT_EQ(ReadTextFile(elsewhere.File("target")), "not ours");
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
      while (!stop) SaveFeedbackStore(store, log_);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    {
      std::lock_guard lock(store.lock);
      Service::FeedbackItem item;
      item.pk = round + 1;
      store.items.push_back(item);
    }
    stop = true;
    SaveFeedbackStore(store, log_);
    worker.join();
    std::vector<std::string> skipped;
    ASSERT_EQ(ParseFeedbackDocument(ReadTextFile(store.path), skipped)
                  .value_or(std::vector<Service::FeedbackItem>{})
                  .size(),
              static_cast<std::size_t>(round + 1))
        << "round " << round;
  }
}

}  // namespace
