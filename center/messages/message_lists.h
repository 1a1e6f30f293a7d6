// What the messages and feedback dialogs show and do, without the dialogs: the lines of their
// lists (taken under the store's lock, in store order), what a click shows, and the rules of a
// new feedback.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "center/messages/local_stores.h"
#include "center/service_calls/center_service.h"
#include "common/service_client/time_stamp.h"

namespace Quorvane::Center {

inline constexpr std::size_t kFeedbackTitleLimit = 255;
inline constexpr std::size_t kFeedbackBodyLimit = 4096;
inline constexpr const char* kRegistrationFailed =
    "Not able to register a user feedback at this time.";

struct MessageLine {
  std::string title;
  std::string lastUpdated;  // the created time stamp
};
std::vector<MessageLine> MessageLines(MessageStore& store);
// The body of the message on that line; none for a line the store has not.
std::optional<std::string> MessageBodyAt(MessageStore& store, std::size_t index);

struct FeedbackLine {
  std::string title;
  std::string created;
  std::string hasResponse;  // "yes" or "no"
};
std::vector<FeedbackLine> FeedbackLines(FeedbackStore& store);

struct FeedbackDetails {
  std::string title;
  std::string body;
  std::string reply;
};
std::optional<FeedbackDetails> FeedbackAt(FeedbackStore& store, std::size_t index);

// "Title must be set" or "Body must be set" for a feedback that cannot be sent; none when it can.
std::optional<std::string> NewFeedbackProblem(const std::string& title, const std::string& body);

// A new feedback as it is sent: no key yet, created now (local time), no reply.
Service::FeedbackItem MakeFeedback(const std::string& title, const std::string& body,
                                   const Service::CalendarTime& now);

// The present local time as a calendar time.
Service::CalendarTime LocalNow();

// Registers the feedback with the service; a feedback the service gave a key above 0 is kept and
// the store saved. False when it was not registered (nothing is kept then).
bool RegisterNewFeedback(FeedbackStore& store, const CenterService& service,
                         Diagnostics::EventLog& eventLog, Service::FeedbackItem item);

}  // namespace Quorvane::Center
