// The small XML documents carried in the service's string fields: built and read with pugixml,
// serialised without XML declaration and without namespaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/service_client/records.h"

namespace Quorvane::Service {

// <firmware id name friendlyName fileName versionMajor.. versionRevision extraFileInformation/>
std::string BuildFirmwareDownloadRequest(const FirmwareEntry& entry);

// The "firmware" children of the document element, in order. Throws HvxArgumentException
// "Error loading xml configuration file from param" (parameter "files[0]") for text that does
// not load, "DocumentElement missing" for a document without element.
std::vector<FirmwareEntry> ParseFirmwareList(std::string_view text);
// One firmware element's text; throws as ParseFirmwareList.
FirmwareEntry ParseFirmwareEntry(std::string_view text);

std::string BuildErrorLogDocument(const ErrorLogRecord& record);

// <items userId><item><pk/><title/><body/>...</item></items> with the body as Base64 text.
std::string BuildFeedbackRequest(const FeedbackItem& item, std::string_view userId);

// The reply fields of a feedback response document; empty when the text does not load or
// lacks either field.
struct FeedbackResponseFields {
  std::string responseBody;        // Base64 text
  std::string respondedTimeStamp;  // time-stamp text
};
std::optional<FeedbackResponseFields> ReadFeedbackResponse(std::string_view text);

// One "item" of a message list document, as texts; items lacking a field are left out.
struct MessageListEntry {
  std::int64_t pk = 0;
  std::string responseBody;  // Base64 text of the body
  std::string title;
  std::string createdTimeStamp;
};
// Empty when the text does not load.
std::optional<std::vector<MessageListEntry>> ReadMessageList(std::string_view text);

// Decimal reading as the C library's integer conversion: leading blanks, a sign, digits; no
// digits read 0. Values beyond the range are clamped.
std::uint32_t ReadUnsigned32(std::string_view text);
std::int64_t ReadSigned64(std::string_view text);

}  // namespace Quorvane::Service
