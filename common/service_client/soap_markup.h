// The markup both sides of the IQuorvane contract's SOAP envelopes share: the envelope around
// the body, the string arrays of the serialization namespace, and the schema's values.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane::Service {

inline constexpr std::string_view kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
inline constexpr std::string_view kEnvelopeEnd = "</s:Body></s:Envelope>";

// The namespace declaration of a string array's items (prefix "a").
std::string ArrayDeclaration();

// The element of the SOAP body, or an empty node when the text is no SOAP 1.1 envelope.
pugi::xml_node BodyContent(const pugi::xml_document& document);

// The text of a result element. A text made of one character-data node is kept as a view into
// the parsed buffer, so the largest one can later take the buffer over instead of being copied.
struct ResultText {
  std::string_view view;
  std::string owned;
  bool isView = false;

  std::size_t Size() const { return isView ? view.size() : owned.size(); }
  std::string Take() { return isView ? std::string(view) : std::move(owned); }
};
ResultText TextOf(const pugi::xml_node& element);
// The items of a string array; none when it holds anything else.
std::optional<std::vector<ResultText>> ReadStringArray(const pugi::xml_node& element);

// Without the white space the schema's xs:long and xs:boolean allow around a value: blank, tab,
// line feed and carriage return.
std::string_view TrimXmlSpace(std::string_view text);
bool ReadBoolean(std::string_view text);

}  // namespace Quorvane::Service
