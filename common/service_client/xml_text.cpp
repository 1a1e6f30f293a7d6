#include "common/service_client/xml_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/service_client/contract.h"

namespace Quorvane::Service {
namespace {

// The URI bound to a prefix ("" for the default namespace) at this element.
std::string_view ResolvePrefix(pugi::xml_node element, std::string_view prefix) {
  const std::string attributeName = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  for (; element && element.type() == pugi::node_element; element = element.parent()) {
    if (auto declaration = element.attribute(attributeName.c_str())) {
      return declaration.value();
    }
  }
  if (prefix == "xml") {
    return "http://www.w3.org/XML/1998/namespace";
  }
  return {};
}

const char* ReplacementFor(char character) {
  switch (character) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '\r':
      return "&#xD;";
    default:
      return nullptr;
  }
}

// Walks the characters that need a reference, in order. Texts can be tens of megabytes of
// Base64 with a CR every 66 characters: each kind is found with memchr, resumed from where it
// last stopped, so the text is scanned at memchr speed.
template <typename OnRun, typename OnSpecial>
void ForEachSpecial(std::string_view text, OnRun onRun, OnSpecial onSpecial) {
  constexpr std::array<char, 4> kSpecial{'&', '<', '>', '\r'};
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  std::array<const char*, 4> next{};
  const auto find = [&](std::size_t kind, const char* from) {
    const void* found =
        from < end ? std::memchr(from, kSpecial[kind], static_cast<std::size_t>(end - from))
                   : nullptr;
    next[kind] = found ? static_cast<const char*>(found) : end;
  };
  for (std::size_t kind = 0; kind < kSpecial.size(); ++kind) {
    find(kind, begin);
  }
  const char* run = begin;
  for (;;) {
    const auto kind =
        static_cast<std::size_t>(std::min_element(next.begin(), next.end()) - next.begin());
    const char* special = next[kind];
    onRun(run, static_cast<std::size_t>(special - run));
    if (special == end) {
      return;
    }
    onSpecial(ReplacementFor(*special));
    run = special + 1;
    find(kind, run);
  }
}

}  // namespace

std::string_view PrefixOf(std::string_view qualifiedName) {
  const auto colon = qualifiedName.find(':');
  return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

std::string_view LocalPart(std::string_view qualifiedName) {
  const auto colon = qualifiedName.find(':');
  return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

void AppendEscapedText(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + text.size() / 12 + 16);
  ForEachSpecial(
      text, [&](const char* run, std::size_t length) { out.append(run, length); },
      [&](const char* replacement) { out.append(replacement); });
}

std::size_t EscapedLength(std::string_view text) {
  std::size_t length = 0;
  ForEachSpecial(
      text, [&](const char*, std::size_t runLength) { length += runLength; },
      [&](const char* replacement) { length += std::strlen(replacement); });
  return length;
}

std::string_view NamespaceOf(const pugi::xml_node& element) {
  return ResolvePrefix(element, PrefixOf(element.name()));
}

std::string_view LocalNameOf(const pugi::xml_node& element) { return LocalPart(element.name()); }

bool IsElement(const pugi::xml_node& node, std::string_view namespaceUri,
               std::string_view localName) {
  return node.type() == pugi::node_element && LocalNameOf(node) == localName &&
         NamespaceOf(node) == namespaceUri;
}

pugi::xml_node ChildElement(const pugi::xml_node& parent, std::string_view namespaceUri,
                            std::string_view localName) {
  for (auto child : parent.children()) {
    if (IsElement(child, namespaceUri, localName)) {
      return child;
    }
  }
  return {};
}

bool IsNil(const pugi::xml_node& element) {
  for (auto attribute : element.attributes()) {
    const std::string_view name = attribute.name();
    if (LocalPart(name) == "nil" && !PrefixOf(name).empty() &&
        ResolvePrefix(element, PrefixOf(name)) == kSchemaInstanceNamespace) {
      const std::string_view value = attribute.value();
      return value == "true" || value == "1";
    }
  }
  return false;
}

void BindNamespacePrefix(pugi::xml_node root, std::string_view prefix,
                         std::string_view namespaceUri) {
  // Names are resolved for every element first: renaming changes the prefixes they resolve by.
  std::vector<std::pair<pugi::xml_node, std::string>> renames;
  const auto collect = [&](const auto& self, pugi::xml_node node) -> void {
    for (auto child : node.children()) {
      if (child.type() != pugi::node_element) {
        continue;
      }
      const std::string_view uri = NamespaceOf(child);
      const std::string local(LocalNameOf(child));
      if (uri == namespaceUri) {
        renames.emplace_back(child, std::string(prefix) + ":" + local);
      } else if (!uri.empty()) {
        renames.emplace_back(child, "unbound:" + local);
      } else {
        renames.emplace_back(child, local);
      }
      self(self, child);
    }
  };
  collect(collect, root);
  for (auto& [node, name] : renames) {
    node.set_name(name.c_str());
  }
}

std::string ElementText(const pugi::xml_node& element) {
  std::string text;
  for (auto child : element.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      text += child.value();
    }
  }
  return text;
}

}  // namespace Quorvane::Service
