// One synchronous call of a contract operation over HTTP(S) with libcurl.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "common/service_client/contract.h"
#include "common/service_client/soap_answer_stream.h"

namespace Quorvane::Service {

struct CallSettings {
  // Bounds the answer: a call whose answer grows beyond it stops reading and fails.
  std::size_t heapBytes = 1048576;
  // Connect and whole-call time-out.
  std::chrono::milliseconds timeout{300000};
  // When set and it turns true, a call under way gives up (within about a second) and fails:
  // a program that is quitting does not wait out the time-outs.
  const std::atomic<bool>* cancel = nullptr;
};

// Endpoints of this length or more are refused.
inline constexpr std::size_t kMaxEndpointLength = 1024;

// Why a call got no answer, for callers that report it.
struct CallFailure {
  // The server's certificate failed verification (untrusted, expired, another host's name).
  bool certificate = false;
  // The call's time limit passed before the answer was whole.
  bool timedOut = false;
  std::string reason;  // libcurl's description
};

// Calls the operation at the endpoint. True when the service answered; then the result holds
// the answer. False for every failure (refused connection, time-out, HTTP error status, SOAP
// fault, malformed or oversized answer, bad endpoint), with the result untouched. Never throws
// for a failed call; `failure`, when given, says why a transfer failed. Calls on different
// threads share nothing.
bool ServiceCall(std::string_view endpoint, const CallSettings& settings, Operation operation,
                 std::span<const ServiceValue> inputs, ServiceResult& result,
                 CallFailure* failure = nullptr);

// Calls an operation whose result is an array of strings and hands the items to the sink while
// the answer arrives, so an answer of any size passes through in bounded memory: what the sink
// keeps is its own to bound; the settings' heap limit bounds what the answer holds beside the
// items' text. True when the service answered and every item was handed over; false for every
// failure as above, and when the sink stopped reading. Items handed over before a failure are
// the sink's to undo.
bool StreamingServiceCall(std::string_view endpoint, const CallSettings& settings,
                          Operation operation, std::span<const ServiceValue> inputs,
                          StringItemSink& sink, CallFailure* failure = nullptr);

}  // namespace Quorvane::Service
