// Writing text into XML by hand (the SOAP envelopes are built as text so their bytes are
// exactly known), and reading element names with their namespaces out of a pugixml tree.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace Quorvane::Service {

// Appends the text escaped for element content. A carriage return is written as a character
// reference, since a parser would otherwise fold CR LF into LF.
void AppendEscapedText(std::string& out, std::string_view text);

// The length of the text once escaped as AppendEscapedText does.
std::size_t EscapedLength(std::string_view text);

// The prefix of a qualified name ("" when it has none) and the name without it.
std::string_view PrefixOf(std::string_view qualifiedName);
std::string_view LocalPart(std::string_view qualifiedName);

// The element's namespace URI, from the xmlns declarations of it and its ancestors.
std::string_view NamespaceOf(const pugi::xml_node& element);
// The element's name without its prefix.
std::string_view LocalNameOf(const pugi::xml_node& element);
// True when the element has this local name in this namespace.
bool IsElement(const pugi::xml_node& node, std::string_view namespaceUri,
               std::string_view localName);
// The first child element with this local name in this namespace; empty node when none.
pugi::xml_node ChildElement(const pugi::xml_node& parent, std::string_view namespaceUri,
                            std::string_view localName);
// xsi:nil="true" (or "1") on the element.
bool IsNil(const pugi::xml_node& element);
// Renames every element so that XPath can address a namespace by prefix (pugixml's XPath knows
// no namespaces): elements in `namespaceUri` become "prefix:local", elements of other
// namespaces get a prefix no query uses, elements in no namespace keep their name.
void BindNamespacePrefix(pugi::xml_node root, std::string_view prefix,
                         std::string_view namespaceUri);

// All character data directly inside the element, joined.
std::string ElementText(const pugi::xml_node& element);

}  // namespace Quorvane::Service
