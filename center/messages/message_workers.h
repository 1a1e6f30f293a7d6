// The two background workers that keep the stores in step with the service: the message worker
// (about once an hour) and the feedback-response worker (about every 30 minutes). Each fetches
// once right after it starts, sleeps in one-second steps, and ends within about a second of the
// quit flag.
#pragma once

#include <atomic>
#include <chrono>

#include "center/messages/local_stores.h"
#include "center/service_calls/center_service.h"
#include "common/diagnostics/event_log.h"
#include "common/platform/clock.h"

namespace Quorvane::Center {

inline constexpr std::uint32_t kMessageFetchThreshold = 3600001;
inline constexpr std::uint32_t kFeedbackFetchThreshold = 1800001;

struct WorkerServices {
  const CenterService& service;
  Diagnostics::EventLog& eventLog;
  Platform::Clock& clock;
  const std::atomic<bool>& quit;
};

// One fetch of the messages: new ones appended, ones with another time stamp replaced; the file
// is saved when anything changed. Returns whether it did. A message whose body or time stamp
// cannot be decoded is skipped with a warning; the others are applied.
bool MessageFetchPass(MessageStore& store, const CenterService& service,
                      Diagnostics::EventLog& eventLog);

// One fetch of the replies to every stored feedback, applied and saved as they arrive. Stops
// early when a call fails while the quit flag is set; a reply that cannot be decoded is skipped
// with a warning. Returns whether anything changed.
bool FeedbackFetchPass(FeedbackStore& store, const CenterService& service,
                       const std::atomic<bool>& quit, Diagnostics::EventLog& eventLog);

void RunMessageWorker(MessageStore& store, const WorkerServices& services);
void RunFeedbackResponseWorker(FeedbackStore& store, const WorkerServices& services);

}  // namespace Quorvane::Center
