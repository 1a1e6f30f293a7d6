// The readers of service documents and time stamps on arbitrary text.
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "common/diagnostics/hvx_exception.h"
#include "common/service/payload_documents.h"
#include "common/service/time_stamp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Service;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    ParseFirmwareList(text);
  } catch (const Halvex::Exceptions::HvxArgumentException&) {
  }
  ReadFeedbackResponse(text);
  ReadMessageList(text);
  try {
    FormatTimeStamp(ParseTimeStamp(text));
  } catch (const std::out_of_range&) {
  }
  ReadSigned64(text);
  ReadUnsigned32(text);
  return 0;
}
