// Loading XML text into pugixml documents and writing documents back as text.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace Quorvane::Service {

// True when the text loaded as a well-formed document.
bool LoadXmlText(pugi::xml_document& document, std::string_view text,
                 unsigned options = pugi::parse_default);

// The document as compact text without XML declaration.
std::string SerializeXml(const pugi::xml_document& document);

}  // namespace Quorvane::Service
