#include "common/service_client/soap_markup.h"

#include "common/service_client/contract.h"
#include "common/service_client/xml_text.h"

namespace Quorvane::Service {

std::string ArrayDeclaration() { return " xmlns:a=\"" + std::string(kArraysNamespace) + "\""; }

pugi::xml_node BodyContent(const pugi::xml_document& document) {
  const auto envelope = document.document_element();
  if (!IsElement(envelope, kSoapEnvelopeNamespace, "Envelope")) {
    return {};
  }
  const auto body = ChildElement(envelope, kSoapEnvelopeNamespace, "Body");
  return body.find_child(
      [](const pugi::xml_node& node) { return node.type() == pugi::node_element; });
}

ResultText TextOf(const pugi::xml_node& element) {
  ResultText text;
  if (IsNil(element)) {
    return text;
  }
  const auto first = element.first_child();
  if (first && !first.next_sibling() &&
      (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata)) {
    text.view = first.value();
    text.isView = true;
  } else {
    text.owned = ElementText(element);
  }
  return text;
}

std::optional<std::vector<ResultText>> ReadStringArray(const pugi::xml_node& element) {
  std::vector<ResultText> items;
  for (auto child : element.children()) {
    if (child.type() != pugi::node_element) {
      continue;
    }
    if (!IsElement(child, kArraysNamespace, "string")) {
      return std::nullopt;
    }
    items.push_back(TextOf(child));
  }
  return items;
}

std::string_view TrimXmlSpace(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\r";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool ReadBoolean(std::string_view text) {
  text = TrimXmlSpace(text);
  return text == "true" || text == "1";
}

}  // namespace Quorvane::Service
