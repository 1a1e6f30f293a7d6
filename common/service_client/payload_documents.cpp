#include "common/service_client/payload_documents.h"

#include <limits>
#include <pugixml.hpp>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/base64.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/xml_document.h"

namespace Quorvane::Service {
namespace {

using Halvex::Exceptions::HvxArgumentException;

constexpr const char* kParameterName = "files[0]";

pugi::xml_node LoadDocumentElement(pugi::xml_document& document, std::string_view text) {
  if (!LoadXmlText(document, text)) {
    throw HvxArgumentException("Error loading xml configuration file from param", kParameterName);
  }
  auto element = document.document_element();
  if (!element) {
    throw HvxArgumentException("DocumentElement missing", kParameterName);
  }
  return element;
}

FirmwareEntry ReadFirmwareElement(const pugi::xml_node& element) {
  FirmwareEntry entry;
  entry.id = element.attribute("id").value();
  entry.name = element.attribute("name").value();
  entry.friendlyName = element.attribute("friendlyName").value();
  entry.fileName = element.attribute("fileName").value();
  entry.extraFileInformation = element.attribute("extraFileInformation").value();
  entry.versionMajor = ReadUnsigned32(element.attribute("versionMajor").value());
  entry.versionMinor = ReadUnsigned32(element.attribute("versionMinor").value());
  entry.versionBuild = ReadUnsigned32(element.attribute("versionBuild").value());
  entry.versionRevision = ReadUnsigned32(element.attribute("versionRevision").value());
  entry.displayName = entry.friendlyName + " " + entry.extraFileInformation;
  return entry;
}

void AppendTextChild(pugi::xml_node parent, const char* name, const std::string& text) {
  parent.append_child(name).append_child(pugi::node_pcdata).set_value(text.c_str());
}

// Reads sign and digits after leading blanks; the magnitude saturates instead of overflowing.
template <typename Result>
Result ReadDecimal(std::string_view text, bool allowNegative) {
  std::size_t at = 0;
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<Result>::max());
  std::uint64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min<std::uint64_t>(magnitude * 10 + static_cast<std::uint64_t>(text[at] - '0'),
                                        kMax + 1);
  }
  if (negative) {
    if (!allowNegative) {
      return 0;
    }
    return magnitude > kMax ? std::numeric_limits<Result>::min()
                            : static_cast<Result>(-static_cast<std::int64_t>(magnitude));
  }
  return static_cast<Result>(std::min(magnitude, kMax));
}

}  // namespace

std::uint32_t ReadUnsigned32(std::string_view text) {
  return ReadDecimal<std::uint32_t>(text, false);
}

std::int64_t ReadSigned64(std::string_view text) { return ReadDecimal<std::int64_t>(text, true); }

std::string BuildFirmwareDownloadRequest(const FirmwareEntry& entry) {
  pugi::xml_document document;
  auto firmware = document.append_child("firmware");
  firmware.append_attribute("id").set_value(entry.id.c_str());
  firmware.append_attribute("name").set_value(entry.name.c_str());
  firmware.append_attribute("friendlyName").set_value(entry.friendlyName.c_str());
  firmware.append_attribute("fileName").set_value(entry.fileName.c_str());
  firmware.append_attribute("versionMajor").set_value(entry.versionMajor);
  firmware.append_attribute("versionMinor").set_value(entry.versionMinor);
  firmware.append_attribute("versionBuild").set_value(entry.versionBuild);
  firmware.append_attribute("versionRevision").set_value(entry.versionRevision);
  firmware.append_attribute("extraFileInformation").set_value(entry.extraFileInformation.c_str());
  return SerializeXml(document);
}

std::vector<FirmwareEntry> ParseFirmwareList(std::string_view text) {
  pugi::xml_document document;
  const auto root = LoadDocumentElement(document, text);
  std::vector<FirmwareEntry> entries;
  for (auto firmware : root.children("firmware")) {
    entries.push_back(ReadFirmwareElement(firmware));
  }
  return entries;
}

FirmwareEntry ParseFirmwareEntry(std::string_view text) {
  pugi::xml_document document;
  return ReadFirmwareElement(LoadDocumentElement(document, text));
}

std::string BuildErrorLogDocument(const ErrorLogRecord& record) {
  pugi::xml_document document;
  auto item =
      document.append_child("errorLog").append_child("errorLogItems").append_child("errorLogItem");
  item.append_attribute("token").set_value(record.token.c_str());
  item.append_attribute("logName").set_value(record.logName.c_str());
  item.append_attribute("createdTimeStamp").set_value(record.createdTimeStamp.c_str());
  auto textItems = item.append_child("textItems");
  for (const auto& textItem : record.textItems) {
    auto element = textItems.append_child("textItem");
    element.append_attribute("name").set_value(textItem.name.c_str());
    AppendTextChild(element, "text", textItem.text);
  }
  auto dataItems = item.append_child("dataItems");
  for (const auto& dataItem : record.dataItems) {
    auto element = dataItems.append_child("dataItem");
    element.append_attribute("name").set_value(dataItem.name.c_str());
    AppendTextChild(element, "data", Base64Encode(dataItem.data));
  }
  return SerializeXml(document);
}

std::string BuildFeedbackRequest(const FeedbackItem& item, std::string_view userId) {
  pugi::xml_document document;
  auto items = document.append_child("items");
  items.append_attribute("userId").set_value(std::string(userId).c_str());
  auto element = items.append_child("item");
  AppendTextChild(element, "pk", std::to_string(item.pk));
  AppendTextChild(element, "title", item.title);
  AppendTextChild(element, "body", Base64EncodeText(item.body));
  AppendTextChild(element, "createdTimeStamp", FormatTimeStamp(item.created));
  AppendTextChild(element, "respondedTimeStamp", FormatTimeStamp(item.responded));
  AppendTextChild(element, "responseBody", item.responseBody);
  return SerializeXml(document);
}

std::optional<FeedbackResponseFields> ReadFeedbackResponse(std::string_view text) {
  pugi::xml_document document;
  if (!LoadXmlText(document, text)) {
    return std::nullopt;
  }
  const auto root = document.document_element();
  const auto body = root.first_element_by_path("item/responseBody");
  const auto responded = root.first_element_by_path("item/respondedTimeStamp");
  if (!body || !responded) {
    return std::nullopt;
  }
  return FeedbackResponseFields{body.text().get(), responded.text().get()};
}

std::optional<std::vector<MessageListEntry>> ReadMessageList(std::string_view text) {
  pugi::xml_document document;
  if (!LoadXmlText(document, text)) {
    return std::nullopt;
  }
  std::vector<MessageListEntry> entries;
  for (auto item : document.document_element().children("item")) {
    const auto pk = item.child("pk");
    const auto body = item.child("responseBody");
    const auto title = item.child("title");
    const auto created = item.child("createdTimeStamp");
    if (!pk || !body || !title || !created) {
      continue;
    }
    entries.push_back({ReadSigned64(pk.text().get()), body.text().get(), title.text().get(),
                       created.text().get()});
  }
  return entries;
}

}  // namespace Quorvane::Service
