// The center's per-user stores: the maker's messages, the user's feedback with the replies, and
// the user identifier that ties feedback to this user. Each list has its own lock; every read,
// change and the walk of a save hold it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "common/diagnostics/event_log.h"
#include "common/service/records.h"

namespace Quorvane::Center {

inline constexpr const char* kMessagesFileName = "Quorvane.Messages.xml";
inline constexpr const char* kFeedbackFileName = "Quorvane.UserFeedback.xml";
inline constexpr const char* kUserIdFileName = "Quorvane.UserId.txt";
inline constexpr const char* kNoUserId = "[NOT ABLE TO CREATE USER ID]";

struct MessageStore {
  std::string path;
  std::mutex lock;  // the messages lock
  std::vector<Service::MessageItem> items;
  std::mutex saveLock;  // one save at a time, taken before the messages lock
};

struct FeedbackStore {
  std::string path;
  std::string userId;
  std::mutex lock;  // the feedback lock
  std::vector<Service::FeedbackItem> items;
  std::mutex saveLock;  // one save at a time, taken before the feedback lock
};

// Appends the file's items to the list. A missing or broken file adds nothing. An item whose
// Base64 text or time stamp cannot be decoded, or that lacks a field, is skipped with a warning
// in the event log: one damaged item must not keep the center from starting.
void LoadMessageStore(MessageStore& store, Diagnostics::EventLog& eventLog);
void LoadFeedbackStore(FeedbackStore& store, Diagnostics::EventLog& eventLog);

// Rewrites the whole file from the list (the folder chain is created when missing). False when
// the file could not be written; the old file then stays as it was. Saves of one store follow
// each other, so an older list never overwrites a newer one.
bool SaveMessageStore(MessageStore& store);
bool SaveFeedbackStore(FeedbackStore& store);

// The store documents as text, and read back (for the stores' own use and the fuzz targets).
std::string MessagesDocument(const std::vector<Service::MessageItem>& items);
std::string FeedbackDocument(const std::vector<Service::FeedbackItem>& items);
std::vector<Service::MessageItem> ParseMessagesDocument(std::string_view text, std::vector<std::string>& skipped);
std::vector<Service::FeedbackItem> ParseFeedbackDocument(std::string_view text, std::vector<std::string>& skipped);

// The identifier stored in the folder's user id file (exactly 76 bytes of UTF-16LE), made and
// stored on first use. A file of any other size is left alone and kNoUserId returned.
std::string GetOrCreateUserId(const std::string& folder);

}  // namespace Quorvane::Center
