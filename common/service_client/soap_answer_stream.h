// Reads a service's answer whose result is an array of strings while it arrives, handing the
// text of each item to a sink in pieces: an item can be a file of a gigabyte in Base64, which is
// never held whole. Reads what ParseResponseEnvelope reads, from the same structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/service_client/contract.h"
#include "common/service_client/soap_envelope.h"

namespace Quorvane::Service {

// Receives the items of the array in order. Returning false from any call stops reading.
class StringItemSink {
 public:
  virtual ~StringItemSink() = default;
  // A new item, numbered from 0. A nil item is begun and ended without text.
  virtual bool BeginItem(std::size_t index) = 0;
  virtual bool ItemText(std::string_view piece) = 0;
  virtual bool EndItem() = 0;
};

class StringArrayAnswerReader {
 public:
  // The operation's result must be an array of strings. What the answer holds beside the items'
  // text (other elements and their text) may come to `otherLimit` bytes; an answer with more is
  // malformed.
  StringArrayAnswerReader(Operation operation, StringItemSink& sink,
                          std::size_t otherLimit = SIZE_MAX);
  ~StringArrayAnswerReader();

  // False once the answer is malformed or the sink stopped reading; every later call fails too.
  bool Feed(std::string_view piece);
  // After the last piece: Ok when the whole answer was read and its items handed over, Fault for
  // a SOAP fault, else Malformed (also when the sink stopped reading).
  ResponseStatus Finish();
  // Why reading stopped; empty while it has not.
  std::string Error() const;

 private:
  class Structure;
  std::unique_ptr<Structure> structure_;
};

}  // namespace Quorvane::Service
