// SOAP 1.1 envelopes of the IQuorvane contract as the stand-in service sees them: requests read
// with pugixml, answers and faults built as exact text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/service_client/contract.h"

namespace Quorvane::Service {

struct ServiceRequest {
  Operation operation;
  std::vector<ServiceValue> inputs;  // one per parameter; absent or nil ones read empty / false
};

// Reads a request body; empty when it is not an envelope of a contract operation.
std::optional<ServiceRequest> ParseRequestEnvelope(std::string_view body);

// A successful answer as a sequence of pieces, so a server can start sending a large answer
// before all of it is escaped. Holds views into the result, which must outlive it.
class ResponseEnvelopeWriter {
 public:
  // `nilResult` sends a nil string or array instead of the result.
  ResponseEnvelopeWriter(Operation operation, const ServiceResult& result, bool nilResult = false);

  // The whole envelope's length in bytes.
  std::size_t Length() const { return length_; }
  // Appends the next piece (markup, or at most `textBytes` of a text, escaped); false when the
  // envelope is complete.
  bool AppendNextPiece(std::string& out, std::size_t textBytes);

 private:
  struct Segment {
    std::string markup;     // written as it is
    std::string_view text;  // escaped as it is written
  };
  void AddMarkup(std::string_view markup);
  void AddText(std::string_view text);

  std::vector<Segment> segments_;
  std::size_t length_ = 0;
  std::size_t segment_ = 0;
  std::size_t textOffset_ = 0;
};

// The whole answer at once.
std::string BuildResponseEnvelope(Operation operation, const ServiceResult& result,
                                  bool nilResult = false);

// A SOAP fault with the fault code ("s:Client" or "s:Server") and its text.
std::string BuildFaultEnvelope(std::string_view faultCode, std::string_view text);

}  // namespace Quorvane::Service
