// SOAP answers (client side) and requests (stand-in side) from arbitrary bytes. The first
// byte picks the operation whose answer is expected.
#include <cstdint>
#include <string>

#include "common/service/contract.h"
#include "common/service/soap_envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Service;
  if (size == 0) {
    return 0;
  }
  const auto operations = AllOperations();
  const Operation operation = operations[data[0] % operations.size()].operation;
  std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  ParseRequestEnvelope(body);
  ServiceResult result;
  ParseResponseEnvelope(operation, body, result);
  return 0;
}
