#include "center/messages/local_stores.h"

#include <fcntl.h>
#include <unistd.h>

#include <pugixml.hpp>
#include <sstream>
#include <stdexcept>

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/atomic_file.h"
#include "common/platform/file_recovery.h"
#include "common/platform/guid_text.h"
#include "common/platform/path_text.h"
#include "common/platform/unique_fd.h"
#include "common/platform/utf16.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/payload_documents.h"

namespace Quorvane::Center {
namespace {

using Service::CalendarTime;

constexpr std::size_t kUserIdBytes = 76;

pugi::xml_node NewDocument(pugi::xml_document& document) {
  auto declaration = document.append_child(pugi::node_pi);
  declaration.set_name("xml");
  declaration.set_value("version='1.0' encoding='utf-8'");
  return document.append_child("items");
}

void Warn(Diagnostics::EventLog& eventLog, const std::string& text) {
  Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventWarning,
                                  text);
}

// Keeps a file that could not be read beside the path, so a fresh one never replaces it.
bool KeepDamaged(const std::string& path, const std::string& reason, const std::string& freshStart,
                 Diagnostics::EventLog& eventLog) {
  std::string movedTo;
  if (const auto error = Platform::MoveAsideDamaged(path, movedTo)) {
    Warn(eventLog, path + " could not be read (" + reason + ") nor kept aside (" + error.message() +
                       "); it is left as it is and not written over.");
    return false;
  }
  Warn(eventLog, path + " could not be read (" + reason + "); it was kept as " + movedTo + " and " +
                     freshStart + ".");
  return true;
}

void AddText(pugi::xml_node item, const char* name, const std::string& text) {
  item.append_child(name).text().set(text.c_str());
}

std::string Serialize(const pugi::xml_document& document) {
  std::ostringstream text;
  document.save(text, "", pugi::format_raw | pugi::format_no_declaration);
  return text.str();
}

// The text of a child the item must have.
std::string Field(const pugi::xml_node& item, const char* name) {
  const auto child = item.child(name);
  if (!child) {
    throw std::invalid_argument(std::string("it has no ") + name);
  }
  return child.text().get();
}

CalendarTime TimeField(const pugi::xml_node& item, const char* name) {
  const std::string text = Field(item, name);
  return text.empty() ? Service::ZeroCalendarTime() : Service::ParseTimeStamp(text);
}

// The fields messages and feedback share: key, title, Base64 body and the created time.
template <typename Item>
void WriteCommonFields(pugi::xml_node item, const Item& written) {
  AddText(item, "pk", std::to_string(written.pk));
  AddText(item, "title", written.title);
  AddText(item, "body", Service::Base64EncodeText(written.body));
  AddText(item, "createdTimeStamp", Service::FormatTimeStamp(written.created));
}

template <typename Item>
Item ReadCommonFields(const pugi::xml_node& item) {
  Item read;
  read.pk = Service::ReadSigned64(Field(item, "pk"));
  read.title = Field(item, "title");
  read.body = Service::Base64DecodeText(Field(item, "body"));
  read.created = TimeField(item, "createdTimeStamp");
  return read;
}

template <typename Item, typename Read>
std::optional<std::vector<Item>> ParseItems(std::string_view text,
                                            std::vector<std::string>& skipped, Read read,
                                            std::string* reason = nullptr,
                                            std::string* userId = nullptr) {
  pugi::xml_document document;
  // The writer keeps a carriage return in a text as it is; folding line ends on reading would
  // change a title at every save.
  const auto result = document.load_buffer(
      text.data(), text.size(), pugi::parse_default & ~pugi::parse_eol, pugi::encoding_utf8);
  if (!result || !document.child("items")) {
    if (reason) *reason = result ? "it has no item list" : result.description();
    return std::nullopt;
  }
  if (userId) *userId = document.child("items").attribute("userId").value();
  std::vector<Item> items;
  std::size_t position = 0;
  for (const auto& selected : document.select_nodes("/items/item")) {
    ++position;
    try {
      items.push_back(read(selected.node()));
    } catch (const Halvex::Exceptions::HvxException& error) {
      skipped.push_back("item " + std::to_string(position) + ": " + error.Message());
    } catch (const std::exception& error) {
      skipped.push_back("item " + std::to_string(position) + ": " + error.what());
    }
  }
  return items;
}

// Whether the store's file is still one that could not be read (and could not be kept aside):
// it must not be written over. Taken under the save lock.
template <typename Store>
bool FileStillDamaged(Store& store, Diagnostics::EventLog& eventLog,
                      const std::string& freshStart) {
  if (store.damagedReason.empty()) {
    return false;
  }
  if (!KeepDamaged(store.path, store.damagedReason, freshStart, eventLog)) {
    return true;
  }
  store.damagedReason.clear();
  return false;
}

template <typename Store, typename Parse>
void LoadStore(Store& store, Diagnostics::EventLog& eventLog, const std::string& freshStart,
               Parse parse) {
  std::error_code error;
  const auto text = Platform::ReadWholeFile(store.path, error);
  std::string reason = error.message();
  std::vector<std::string> skipped;
  auto items = text ? parse(*text, skipped, reason) : std::nullopt;
  if (!items) {
    if (text || error != std::errc::no_such_file_or_directory) {
      std::lock_guard saving(store.saveLock);
      store.damagedReason = reason;
      FileStillDamaged(store, eventLog, freshStart);
    }
    return;
  }
  for (const auto& skippedReason : skipped) {
    Warn(eventLog, "A damaged entry of " + store.path + " was skipped (" + skippedReason + ").");
  }
  if (!skipped.empty()) {
    // The next save would write the file without the skipped entries: it keeps the file aside
    // first, as it keeps a file that cannot be read at all.
    std::lock_guard saving(store.saveLock);
    store.damagedReason = std::to_string(skipped.size()) + " of its entries could not be read";
  }
  std::lock_guard lock(store.lock);
  for (auto& item : *items) {
    store.items.push_back(std::move(item));
  }
}

template <typename Store, typename Document>
bool SaveStore(Store& store, Diagnostics::EventLog& eventLog, Document document) {
  // The list is taken and written under one save lock: a save that took its list earlier can
  // never write after one that took a newer list.
  std::lock_guard saving(store.saveLock);
  if (FileStillDamaged(store, eventLog, "the list is saved anew")) {
    store.saveDue = true;
    return false;
  }
  std::string text;
  {
    std::lock_guard lock(store.lock);
    text = document(store);
  }
  std::error_code error;
  if (!Platform::EnsureFolderPath(store.path)) {
    error = {errno, std::generic_category()};
  } else {
    error = Platform::WriteFileAtomically(store.path, text);
  }
  if (error) {
    Warn(eventLog,
         store.path + " could not be saved (" + error.message() + "); it is saved again later.");
    store.saveDue = true;
    return false;
  }
  store.saveDue = false;
  return true;
}

}  // namespace

std::string MessagesDocument(const std::vector<Service::MessageItem>& items) {
  pugi::xml_document document;
  auto root = NewDocument(document);
  for (const auto& message : items) {
    WriteCommonFields(root.append_child("item"), message);
  }
  return Serialize(document);
}

std::string FeedbackDocument(const std::vector<Service::FeedbackItem>& items,
                             const std::string& userId) {
  pugi::xml_document document;
  auto root = NewDocument(document);
  if (!userId.empty()) {
    root.append_attribute("userId").set_value(userId.c_str());
  }
  for (const auto& feedback : items) {
    auto item = root.append_child("item");
    WriteCommonFields(item, feedback);
    AddText(item, "respondedTimeStamp", Service::FormatTimeStamp(feedback.responded));
    AddText(item, "responseBody", Service::Base64EncodeText(feedback.responseBody));
  }
  return Serialize(document);
}

std::optional<std::vector<Service::MessageItem>> ParseMessagesDocument(
    std::string_view text, std::vector<std::string>& skipped) {
  return ParseItems<Service::MessageItem>(text, skipped, ReadCommonFields<Service::MessageItem>);
}

namespace {

Service::FeedbackItem ReadFeedbackItem(const pugi::xml_node& item) {
  auto feedback = ReadCommonFields<Service::FeedbackItem>(item);
  feedback.responded = TimeField(item, "respondedTimeStamp");
  feedback.responseBody = Service::Base64DecodeText(Field(item, "responseBody"));
  return feedback;
}

}  // namespace

std::optional<std::vector<Service::FeedbackItem>> ParseFeedbackDocument(
    std::string_view text, std::vector<std::string>& skipped, std::string* userId) {
  return ParseItems<Service::FeedbackItem>(text, skipped, ReadFeedbackItem, nullptr, userId);
}

void LoadMessageStore(MessageStore& store, Diagnostics::EventLog& eventLog) {
  LoadStore(store, eventLog, "the messages start empty",
            [](std::string_view text, std::vector<std::string>& skipped, std::string& reason) {
              return ParseItems<Service::MessageItem>(
                  text, skipped, ReadCommonFields<Service::MessageItem>, &reason);
            });
}

void LoadFeedbackStore(FeedbackStore& store, Diagnostics::EventLog& eventLog) {
  LoadStore(
      store, eventLog, "the feedback list starts empty",
      [&store](std::string_view text, std::vector<std::string>& skipped, std::string& reason) {
        return ParseItems<Service::FeedbackItem>(text, skipped, ReadFeedbackItem, &reason,
                                                 &store.recordedUserId);
      });
}

bool SaveMessageStore(MessageStore& store, Diagnostics::EventLog& eventLog) {
  return SaveStore(store, eventLog,
                   [](const MessageStore& saved) { return MessagesDocument(saved.items); });
}

bool SaveFeedbackStore(FeedbackStore& store, Diagnostics::EventLog& eventLog) {
  return SaveStore(store, eventLog, [](const FeedbackStore& saved) {
    return FeedbackDocument(saved.items, saved.userId);
  });
}

std::optional<std::string> UserIdFromFileBytes(const std::string& content, std::string& reason) {
  if (content.size() != kUserIdBytes) {
    reason = "it holds " + std::to_string(content.size()) + " bytes, not " +
             std::to_string(kUserIdBytes);
    return std::nullopt;
  }
  auto text = Platform::Utf16LeBytesToUtf8(content);
  if (!text) {
    reason = "it is no UTF-16 text";
  }
  return text;
}

namespace {

// A recorded identifier is taken only when it has the shape of one we made.
bool UsableIdentifier(const std::string& id) {
  const auto bytes = Platform::Utf8ToUtf16LeBytes(id);
  return bytes && bytes->size() == kUserIdBytes;
}

}  // namespace

std::string GetOrCreateUserId(const std::string& folder, const std::string& recordedId,
                              Diagnostics::EventLog& eventLog) {
  const std::string path = folder + kUserIdFileName;
  Platform::EnsureFolderPath(path);
  std::error_code error;
  std::string reason;
  if (const auto content = Platform::ReadWholeFile(path, error)) {
    if (auto id = UserIdFromFileBytes(*content, reason)) {
      return *id;
    }
  } else if (error != std::errc::no_such_file_or_directory) {
    reason = error.message();
  }
  const bool recorded = UsableIdentifier(recordedId);
  if (!reason.empty() &&
      !KeepDamaged(path, reason,
                   recorded ? "the identifier the feedback list was saved with takes its place"
                            : "a new one is made",
                   eventLog)) {
    return recorded ? recordedId : kNoUserId;
  }
  const std::string id = recorded ? recordedId : Platform::MakeGuidText();
  const auto bytes = Platform::Utf8ToUtf16LeBytes(id);
  if (id.empty() || !bytes) {
    return kNoUserId;
  }
  // Written whole to a temporary file and linked into place only if no file is there: a crash
  // never leaves a short identifier file, and a file made meanwhile is never replaced. The
  // folder is synced after the link, so the name survives a power cut.
  const std::string temporary = path + ".new";
  error = Platform::WriteFileAtomically(temporary, *bytes);
  if (!error && link(temporary.c_str(), path.c_str()) != 0) {
    error = {errno, std::generic_category()};
  }
  unlink(temporary.c_str());
  if (error == std::errc::file_exists) {
    // Another start made it first: use theirs.
    const auto content = Platform::ReadWholeFile(path, error);
    return content ? UserIdFromFileBytes(*content, reason).value_or(kNoUserId) : kNoUserId;
  }
  if (!error) {
    error = Platform::SyncFolderOf(path);
  }
  if (error) {
    Warn(eventLog, path + " could not be saved (" + error.message() +
                       "); it is saved again at the next start.");
  }
  return id;
}

void RemoveStaleCenterTemporaries(const std::string& folder) {
  const std::string userIdTemporary = std::string(kUserIdFileName) + ".new";
  Platform::RemoveStaleTemporaries(
      folder,
      {{kMessagesFileName, kFeedbackFileName, kSettingsFileName, userIdTemporary},
       {userIdTemporary}},
      Platform::TemporariesStaleBefore());
}

}  // namespace Quorvane::Center
