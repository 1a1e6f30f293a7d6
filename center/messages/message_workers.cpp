#include "center/messages/message_workers.h"

#include <algorithm>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/payload_documents.h"

namespace Quorvane::Center {
namespace {

using namespace std::chrono_literals;

// The frame both workers share: a fetch right away and then whenever the countdown passed the
// threshold, one-second sleeps in between, every failure of a pass logged with the worker's text.
template <typename Pass>
void RunWorker(const WorkerServices& services, std::uint32_t threshold, const char* failureText,
               Pass pass) {
  std::uint32_t countdown = 0;
  while (!services.quit) {
    if (countdown != 0 && countdown < threshold) {
      services.clock.SleepFor(1000ms);
      countdown += 1000;
      continue;
    }
    countdown = 1;
    try {
      pass();
    } catch (...) {
      Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                      Diagnostics::kEventError, failureText);
    }
  }
}

// Runs the decoding of one received item; false (and a warning naming the item) when its text or
// time stamp cannot be read.
template <typename Work>
bool Decode(Diagnostics::EventLog& eventLog, const std::string& what, Work work) {
  std::string reason;
  try {
    work();
    return true;
  } catch (const Halvex::Exceptions::HvxException& error) {
    reason = error.Message();
  } catch (const std::exception& error) {
    reason = error.what();
  }
  Diagnostics::WriteEventLogEntry(
      eventLog, Diagnostics::kCenterSource, Diagnostics::kEventWarning,
      "The service sent " + what + " damaged; it was skipped (" + reason + ").");
  return false;
}

}  // namespace

namespace {

// Takes the service's messages into the store; true when the list changed.
bool MergeServiceMessages(MessageStore& store, const CenterService& service,
                          Diagnostics::EventLog& eventLog) {
  const auto answer = RetrieveMessagesToUsers(service);
  if (!answer) {
    return false;
  }
  const auto entries = Service::ReadMessageList(*answer);
  if (!entries) {
    return false;
  }
  bool changed = false;
  for (const auto& entry : *entries) {
    // Decoded before anything is changed: one item the service sent damaged is skipped alone.
    Service::MessageItem received;
    if (!Decode(eventLog, "message " + std::to_string(entry.pk), [&] {
          received.body =
              Service::Base64DecodeText(entry.responseBody, Service::Utf16Errors::Replace);
          received.created = Service::ParseTimeStamp(entry.createdTimeStamp);
        })) {
      continue;
    }
    std::lock_guard lock(store.lock);
    auto found =
        std::find_if(store.items.begin(), store.items.end(),
                     [&](const Service::MessageItem& item) { return item.pk == entry.pk; });
    if (found != store.items.end()) {
      if (Service::FormatTimeStamp(found->created) != entry.createdTimeStamp) {
        found->title = entry.title;
        found->body = std::move(received.body);
        found->created = received.created;
        changed = true;
      }
      continue;
    }
    received.pk = entry.pk;
    received.title = entry.title;
    store.items.push_back(std::move(received));
    changed = true;
  }
  return changed;
}

// Takes the service's replies into the stored feedback; true when a reply changed.
bool MergeFeedbackReplies(FeedbackStore& store, const CenterService& service,
                          const std::atomic<bool>& quit, Diagnostics::EventLog& eventLog) {
  std::vector<Service::FeedbackItem> items;
  {
    std::lock_guard lock(store.lock);
    items = store.items;
  }
  bool changed = false;
  for (const auto& item : items) {
    const auto answer = RetrieveFeedbackResponse(service, item, store.userId);
    if (!answer) {
      if (quit) break;
      continue;
    }
    const auto fields = Service::ReadFeedbackResponse(*answer);
    if (!fields) {
      continue;
    }
    // A stored reply is replaced only by one with another time stamp.
    if (!item.responseBody.empty() &&
        Service::FormatTimeStamp(item.responded) == fields->respondedTimeStamp) {
      continue;
    }
    std::string reply;
    Service::CalendarTime responded{};
    if (!Decode(eventLog, "the reply to feedback " + std::to_string(item.pk), [&] {
          reply = Service::Base64DecodeText(fields->responseBody, Service::Utf16Errors::Replace);
          responded = Service::ParseTimeStamp(fields->respondedTimeStamp);
        })) {
      continue;
    }
    std::lock_guard lock(store.lock);
    auto stored = std::find_if(
        store.items.begin(), store.items.end(),
        [&](const Service::FeedbackItem& candidate) { return candidate.pk == item.pk; });
    if (stored != store.items.end()) {
      stored->responseBody = reply;
      stored->responded = responded;
      changed = true;
    }
  }
  return changed;
}

}  // namespace

bool MessageFetchPass(MessageStore& store, const CenterService& service,
                      Diagnostics::EventLog& eventLog) {
  const bool changed = MergeServiceMessages(store, service, eventLog);
  if (changed || store.saveDue) {
    SaveMessageStore(store, eventLog);
  }
  return changed;
}

bool FeedbackFetchPass(FeedbackStore& store, const CenterService& service,
                       const std::atomic<bool>& quit, Diagnostics::EventLog& eventLog) {
  const bool changed = MergeFeedbackReplies(store, service, quit, eventLog);
  if (changed || store.saveDue) {
    SaveFeedbackStore(store, eventLog);
  }
  return changed;
}

void RunMessageWorker(MessageStore& store, const WorkerServices& services) {
  RunWorker(services, kMessageFetchThreshold,
            "Application has encountered an exception in async retrive Quorvane Message To!",
            [&] { MessageFetchPass(store, services.service, services.eventLog); });
}

void RunFeedbackResponseWorker(FeedbackStore& store, const WorkerServices& services) {
  RunWorker(services, kFeedbackFetchThreshold,
            "Application has encountered an exception in async retrive user feedback response!",
            [&] { FeedbackFetchPass(store, services.service, services.quit, services.eventLog); });
}

}  // namespace Quorvane::Center
