// The center's per-user stores: the maker's messages, the user's feedback with the replies, and
// the user identifier that ties feedback to this user. Each list has its own lock; every read,
// change and the walk of a save hold it.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/diagnostics/event_log.h"
#include "common/service_client/records.h"

namespace Quorvane::Center {

inline constexpr const char* kMessagesFileName = "Quorvane.Messages.xml";
inline constexpr const char* kFeedbackFileName = "Quorvane.UserFeedback.xml";
inline constexpr const char* kUserIdFileName = "Quorvane.UserId.txt";
inline constexpr const char* kSettingsFileName = "Kestrane.xml";
inline constexpr const char* kNoUserId = "[NOT ABLE TO CREATE USER ID]";

struct MessageStore {
  std::string path;
  std::mutex lock;  // the messages lock
  std::vector<Service::MessageItem> items;
  std::mutex saveLock;               // one save at a time, taken before the messages lock
  std::atomic<bool> saveDue{false};  // the last save failed: the next pass saves again
  std::string damagedReason;  // the file could not be read nor kept aside (under the save lock)
};

struct FeedbackStore {
  std::string path;
  std::string userId;
  std::string recordedUserId;  // the identifier the file was saved with, when it names one
  std::mutex lock;             // the feedback lock
  std::vector<Service::FeedbackItem> items;
  std::mutex saveLock;               // one save at a time, taken before the feedback lock
  std::atomic<bool> saveDue{false};  // the last save failed, or the file lacks the identifier
  std::string damagedReason;  // the file could not be read nor kept aside (under the save lock)
};

// Appends the file's items to the list. A missing file adds nothing. An item whose Base64 text
// or time stamp cannot be decoded, or that lacks a field, is skipped with a warning in the event
// log: one damaged item must not keep the center from starting. A file that cannot be read at
// all is kept aside as "NAME.damaged-<time>" with a warning, and the list starts empty.
void LoadMessageStore(MessageStore& store, Diagnostics::EventLog& eventLog);
void LoadFeedbackStore(FeedbackStore& store, Diagnostics::EventLog& eventLog);

// Rewrites the whole file from the list (the folder chain is created when missing). A failure
// is a warning with the system's reason, the old file stays as it was, the store's saveDue is
// set and false returned. Saves of one store follow each other, so an older list never
// overwrites a newer one.
bool SaveMessageStore(MessageStore& store, Diagnostics::EventLog& eventLog);
bool SaveFeedbackStore(FeedbackStore& store, Diagnostics::EventLog& eventLog);

// The store documents as text, and read back (for the stores' own use and the fuzz targets).
// Reading gives nothing for a text that is no store document; the feedback document also
// carries the user identifier.
std::string MessagesDocument(const std::vector<Service::MessageItem>& items);
std::string FeedbackDocument(const std::vector<Service::FeedbackItem>& items,
                             const std::string& userId = "");
std::optional<std::vector<Service::MessageItem>> ParseMessagesDocument(
    std::string_view text, std::vector<std::string>& skipped);
std::optional<std::vector<Service::FeedbackItem>> ParseFeedbackDocument(
    std::string_view text, std::vector<std::string>& skipped, std::string* userId = nullptr);

// The identifier a user id file's bytes hold; empty (and the reason) when they hold none.
std::optional<std::string> UserIdFromFileBytes(const std::string& content, std::string& reason);

// The identifier stored in the folder's user id file (exactly 76 bytes of UTF-16LE), made and
// stored on first use: the one the feedback store recorded when there is one, else a new one.
// A file that cannot be read or is not an identifier is kept aside as "NAME.damaged-<time>"
// with a warning and replaced the same way. A failed write is a warning; the identifier is used
// all the same and written again at the next start. kNoUserId when none can be had.
std::string GetOrCreateUserId(const std::string& folder, const std::string& recordedId,
                              Diagnostics::EventLog& eventLog);

// Removes what saves of the center's files that were killed left in its data folder.
void RemoveStaleCenterTemporaries(const std::string& folder);

}  // namespace Quorvane::Center
