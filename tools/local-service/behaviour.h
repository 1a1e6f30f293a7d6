// How the stand-in service misbehaves on purpose, per operation, so that clients can be tested
// against every failure a real service or network shows.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/service_client/contract.h"

namespace Quorvane::LocalService {

struct Behaviour {
  enum class Kind {
    Normal,
    Slow,       // answer normally after `delay`
    Fault,      // SOAP fault with HTTP 500
    Fault200,   // SOAP fault with HTTP 200
    BadBase64,  // the result (or each array item) replaced by text that is not Base64
    Drop,       // send the headers, then close the connection without the body
    Cut,        // send the first half of the answer, then close the connection
    Status,     // answer with HTTP `status` and no envelope
    Nil,        // a nil result
    Empty,      // an empty result
    Unsigned,   // update files come without their signatures
    Tampered,   // update files come changed after they were signed
  };
  Kind kind = Kind::Normal;
  std::chrono::milliseconds delay{0};
  int status = 0;
};

// "normal", "slow:MS", "fault", "fault200", "badbase64", "drop", "cut", "status:CODE", "nil",
// "empty", "unsigned", "tampered"
std::optional<Behaviour> ParseBehaviour(std::string_view text);

// The behaviour of each operation, changed at start and at run time; safe across threads.
class BehaviourTable {
 public:
  // "Operation=behaviour"; false when either part is unknown.
  bool Set(std::string_view assignment);
  Behaviour For(Service::Operation operation) const;

 private:
  mutable std::mutex mutex_;
  std::map<Service::Operation, Behaviour> behaviours_;
};

}  // namespace Quorvane::LocalService
