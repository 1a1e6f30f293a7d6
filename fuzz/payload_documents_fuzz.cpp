// The readers of service documents and time stamps on arbitrary text. A firmware entry read
// from a list is sent back in a download request: reading that request gives the same entry.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/payload_documents.h"
#include "common/service_client/time_stamp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Service;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    for (const FirmwareEntry& entry : ParseFirmwareList(text)) {
      if (!(ParseFirmwareEntry(BuildFirmwareDownloadRequest(entry)) == entry)) {
        std::abort();
      }
    }
  } catch (const Halvex::Exceptions::HvxArgumentException&) {
  }
  ReadFeedbackResponse(text);
  ReadMessageList(text);
  try {
    const CalendarTime time = ParseTimeStamp(text);
    if (!SameCalendarTime(ParseTimeStamp(FormatTimeStamp(time)), time)) {
      std::abort();
    }
  } catch (const std::out_of_range&) {
  }
  ReadSigned64(text);
  ReadUnsigned32(text);
  return 0;
}
