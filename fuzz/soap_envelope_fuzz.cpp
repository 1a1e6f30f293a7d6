// SOAP answers (client side) and requests (stand-in side) from arbitrary bytes. The first
// byte picks the operation whose answer is expected, the second the size of the pieces an
// answer of an array is streamed in. A streamed answer must read the same in one piece, in
// pieces of one byte (cut at every boundary) and in the chosen pieces, and whatever it reads
// must be what the document parser reads from the whole answer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/service_client/contract.h"
#include "common/service_client/soap_answer_stream.h"
#include "common/service_client/soap_envelope.h"
#include "tests/support/streamed_answer.h"
#include "tools/local-service/soap_server_envelope.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Service;

Testing::StreamedAnswer Stream(Operation operation, const std::string& answer,
                               std::size_t pieceSize) {
  auto streamed = Testing::StreamAnswer(operation, answer, pieceSize);
  if (!streamed.inOrder) std::abort();  // items are numbered in order
  return streamed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  const auto operations = AllOperations();
  const Operation operation = operations[data[0] % operations.size()].operation;
  const std::size_t pieceSize = 1 + data[1] % 64;
  const std::string answer(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string body = answer;
  ParseRequestEnvelope(body);
  ServiceResult parsed;
  const ResponseStatus expected = ParseResponseEnvelope(operation, body, parsed);
  if (Describe(operation).result != ResultKind::StringArray) {
    return 0;
  }
  const auto whole = Stream(operation, answer, answer.size() + 1);
  if (Stream(operation, answer, 1) != whole || Stream(operation, answer, pieceSize) != whole) {
    std::abort();
  }
  // The streaming reader is the stricter: what it takes, the document parser takes alike.
  if (whole.status != ResponseStatus::Malformed && whole.status != expected) {
    std::abort();
  }
  if (whole.status == ResponseStatus::Ok && whole.strings != parsed.strings) {
    std::abort();
  }
  // An answer cut short (the connection broke) is never read as another whole answer: what it
  // reads Ok is what the document parser reads from the same bytes.
  if (answer.size() > 1) {
    std::string cut = answer.substr(0, static_cast<std::size_t>(data[1]) * answer.size() / 256);
    const auto streamedCut = Stream(operation, cut, pieceSize);
    ServiceResult parsedCut;
    const ResponseStatus expectedCut = ParseResponseEnvelope(operation, cut, parsedCut);
    if (streamedCut.status == ResponseStatus::Ok &&
        (expectedCut != ResponseStatus::Ok || streamedCut.strings != parsedCut.strings)) {
      std::abort();
    }
  }
  return 0;
}
