#include "center/messages/local_stores.h"

#include <fcntl.h>
#include <pugixml.hpp>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/atomic_file.h"
#include "common/platform/guid_text.h"
#include "common/platform/path_text.h"
#include "common/platform/unique_fd.h"
#include "common/platform/utf16.h"
#include "common/service/field_encoding.h"
#include "common/service/payload_documents.h"
#include "common/service/xml_document.h"

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
std::vector<Item> ParseItems(std::string_view text, std::vector<std::string>& skipped, Read read) {
  pugi::xml_document document;
  std::vector<Item> items;
  // The writer keeps a carriage return in a text as it is; folding line ends on reading would
  // change a title at every save.
  if (!Service::LoadXmlText(document, text, pugi::parse_default & ~pugi::parse_eol)) {
    return items;
  }
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

template <typename Store, typename Parse>
void LoadStore(Store& store, Diagnostics::EventLog& eventLog, Parse parse) {
  std::error_code error;
  const auto text = Platform::ReadWholeFile(store.path, error);
  if (!text) {
    return;
  }
  std::vector<std::string> skipped;
  auto items = parse(*text, skipped);
  for (const auto& reason : skipped) {
    Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventWarning,
                                    "A damaged entry of " + store.path + " was skipped (" + reason + ").");
  }
  std::lock_guard lock(store.lock);
  for (auto& item : items) {
    store.items.push_back(std::move(item));
  }
}

template <typename Store, typename Document>
bool SaveStore(Store& store, Document document) {
  // The list is taken and written under one save lock: a save that took its list earlier can
  // never write after one that took a newer list.
  std::lock_guard saving(store.saveLock);
  std::string text;
  {
    std::lock_guard lock(store.lock);
    text = document(store.items);
  }
  return Platform::EnsureFolderPath(store.path) && !Platform::WriteFileAtomically(store.path, text);
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

std::string FeedbackDocument(const std::vector<Service::FeedbackItem>& items) {
  pugi::xml_document document;
  auto root = NewDocument(document);
  for (const auto& feedback : items) {
    auto item = root.append_child("item");
    WriteCommonFields(item, feedback);
    AddText(item, "respondedTimeStamp", Service::FormatTimeStamp(feedback.responded));
    AddText(item, "responseBody", Service::Base64EncodeText(feedback.responseBody));
  }
  return Serialize(document);
}

std::vector<Service::MessageItem> ParseMessagesDocument(std::string_view text, std::vector<std::string>& skipped) {
  return ParseItems<Service::MessageItem>(text, skipped, ReadCommonFields<Service::MessageItem>);
}

std::vector<Service::FeedbackItem> ParseFeedbackDocument(std::string_view text, std::vector<std::string>& skipped) {
  return ParseItems<Service::FeedbackItem>(text, skipped, [](const pugi::xml_node& item) {
    auto feedback = ReadCommonFields<Service::FeedbackItem>(item);
    feedback.responded = TimeField(item, "respondedTimeStamp");
    feedback.responseBody = Service::Base64DecodeText(Field(item, "responseBody"));
    return feedback;
  });
}

void LoadMessageStore(MessageStore& store, Diagnostics::EventLog& eventLog) {
  LoadStore(store, eventLog, ParseMessagesDocument);
}

void LoadFeedbackStore(FeedbackStore& store, Diagnostics::EventLog& eventLog) {
  LoadStore(store, eventLog, ParseFeedbackDocument);
}

bool SaveMessageStore(MessageStore& store) { return SaveStore(store, MessagesDocument); }

bool SaveFeedbackStore(FeedbackStore& store) { return SaveStore(store, FeedbackDocument); }

std::string GetOrCreateUserId(const std::string& folder) {
  const std::string path = folder + kUserIdFileName;
  Platform::EnsureFolderPath(path);
  std::error_code error;
  if (const auto content = Platform::ReadWholeFile(path, error)) {
    if (content->size() == kUserIdBytes) {
      if (auto text = Platform::Utf16LeBytesToUtf8(*content)) {
        return *text;
      }
    }
    return kNoUserId;  // a file of another size (or not text) is not replaced
  }
  const std::string id = Platform::MakeGuidText();
  const auto bytes = Platform::Utf8ToUtf16LeBytes(id);
  if (id.empty() || !bytes) {
    return kNoUserId;
  }
  // Written whole to a temporary file and linked into place only if no file is there: a crash
  // never leaves a short identifier file, and a file made meanwhile is never replaced.
  const std::string temporary = path + ".new";
  if (Platform::WriteFileAtomically(temporary, *bytes)) {
    return kNoUserId;
  }
  const bool linked = link(temporary.c_str(), path.c_str()) == 0;
  unlink(temporary.c_str());
  if (!linked) {
    // Another start made it first: use theirs.
    const auto content = Platform::ReadWholeFile(path, error);
    return content && content->size() == kUserIdBytes ? Platform::Utf16LeBytesToUtf8(*content).value_or(kNoUserId)
                                                      : kNoUserId;
  }
  return id;
}

}  // namespace Quorvane::Center
