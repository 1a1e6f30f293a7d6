#include "center/messages/message_lists.h"

#include <ctime>

namespace Quorvane::Center {

std::vector<MessageLine> MessageLines(MessageStore& store) {
  std::lock_guard lock(store.lock);
  std::vector<MessageLine> lines;
  lines.reserve(store.items.size());
  for (const auto& message : store.items) {
    lines.push_back({message.title, Service::FormatTimeStamp(message.created)});
  }
  return lines;
}

std::optional<std::string> MessageBodyAt(MessageStore& store, std::size_t index) {
  std::lock_guard lock(store.lock);
  if (index >= store.items.size()) {
    return std::nullopt;
  }
  return store.items[index].body;
}

std::vector<FeedbackLine> FeedbackLines(FeedbackStore& store) {
  std::lock_guard lock(store.lock);
  std::vector<FeedbackLine> lines;
  lines.reserve(store.items.size());
  for (const auto& feedback : store.items) {
    lines.push_back({feedback.title, Service::FormatTimeStamp(feedback.created),
                     feedback.responseBody.empty() ? "no" : "yes"});
  }
  return lines;
}

std::optional<FeedbackDetails> FeedbackAt(FeedbackStore& store, std::size_t index) {
  std::lock_guard lock(store.lock);
  if (index >= store.items.size()) {
    return std::nullopt;
  }
  const auto& feedback = store.items[index];
  return FeedbackDetails{feedback.title, feedback.body, feedback.responseBody};
}

std::optional<std::string> NewFeedbackProblem(const std::string& title, const std::string& body) {
  if (title.empty()) {
    return "Title must be set";
  }
  if (body.empty()) {
    return "Body must be set";
  }
  return std::nullopt;
}

Service::FeedbackItem MakeFeedback(const std::string& title, const std::string& body,
                                   const Service::CalendarTime& now) {
  Service::FeedbackItem item;
  item.title = title;
  item.body = body;
  item.created = now;
  return item;
}

Service::CalendarTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  Service::CalendarTime local = Service::ZeroCalendarTime();
  localtime_r(&now, &local);
  return local;
}

bool RegisterNewFeedback(FeedbackStore& store, const CenterService& service,
                         Diagnostics::EventLog& eventLog, Service::FeedbackItem item) {
  if (!RegisterFeedback(service, item, store.userId) || item.pk <= 0) {
    return false;
  }
  {
    std::lock_guard lock(store.lock);
    store.items.push_back(std::move(item));
  }
  SaveFeedbackStore(store, eventLog);  // a failure is logged, and saved again at the next pass
  return true;
}

}  // namespace Quorvane::Center
