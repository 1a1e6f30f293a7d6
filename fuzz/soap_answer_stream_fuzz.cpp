// The streaming reader of the service's array answers against the document parser, on arbitrary
// text handed over in pieces of a size the input chooses: what the streaming reader takes, the
// document parser takes too, with the same items; a fault is a fault to both. (The streaming
// reader may refuse more: a document type declaration, undeclared entities.)
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/service_client/soap_envelope.h"
#include "tests/support/streamed_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane;
  if (size == 0) return 0;
  const std::size_t pieceSize = 1 + data[0] % 64;
  const std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto operation = Service::Operation::GetParallelFirmware;
  const Testing::StreamedAnswer streamed = Testing::StreamAnswer(operation, answer, pieceSize);
  if (streamed.status == Service::ResponseStatus::Malformed) return 0;
  std::string body = answer;
  Service::ServiceResult parsed;
  const Service::ResponseStatus expected = Service::ParseResponseEnvelope(operation, body, parsed);
  if (streamed.status != expected || !streamed.inOrder) std::abort();
  if (expected == Service::ResponseStatus::Ok && streamed.strings != parsed.strings) std::abort();
  return 0;
}
