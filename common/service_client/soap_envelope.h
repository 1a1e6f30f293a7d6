// SOAP 1.1 envelopes of the IQuorvane contract as the client sees them, document/literal
// wrapped: requests built as exact text, responses read with pugixml.
#pragma once

#include <span>
#include <string>

#include "common/service_client/contract.h"

namespace Quorvane::Service {

// Throws std::invalid_argument when the values do not match the operation's parameters.
std::string BuildRequestEnvelope(Operation operation, std::span<const ServiceValue> inputs);

enum class ResponseStatus { Ok, Fault, Malformed };

// Reads an answer; the body buffer is parsed in place and left unusable. On Ok the result holds
// the answer; otherwise it is untouched.
ResponseStatus ParseResponseEnvelope(Operation operation, std::string& body, ServiceResult& result);

}  // namespace Quorvane::Service
