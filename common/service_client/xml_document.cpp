#include "common/service_client/xml_document.h"

#include <sstream>

namespace Quorvane::Service {
namespace {

struct StringWriter final : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

bool LoadXmlText(pugi::xml_document& document, std::string_view text, unsigned options) {
  return static_cast<bool>(
      document.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8));
}

std::string SerializeXml(const pugi::xml_document& document) {
  StringWriter writer;
  document.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return std::move(writer.text);
}

}  // namespace Quorvane::Service
