#include "common/service/soap_envelope.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

#include "common/service/xml_text.h"

namespace Quorvane::Service {
namespace {

constexpr std::string_view kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
constexpr std::string_view kEnvelopeEnd = "</s:Body></s:Envelope>";

void AppendOpen(std::string& out, std::string_view name, std::string_view attributes = {}) {
  out += '<';
  out += name;
  out += attributes;
  out += '>';
}

void AppendClose(std::string& out, std::string_view name) {
  out += "</";
  out += name;
  out += '>';
}

std::string ArrayDeclaration() { return " xmlns:a=\"" + std::string(kArraysNamespace) + "\""; }

void AppendStringArray(std::string& out, std::string_view element,
                       const std::vector<std::string>& items) {
  AppendOpen(out, element, ArrayDeclaration());
  for (const auto& item : items) {
    out += "<a:string>";
    AppendEscapedText(out, item);
    out += "</a:string>";
  }
  AppendClose(out, element);
}

void AppendValue(std::string& out, const ParameterSpec& parameter, const ServiceValue& value) {
  switch (parameter.type) {
    case FieldType::String:
      AppendOpen(out, parameter.name);
      AppendEscapedText(out, std::get<std::string>(value));
      AppendClose(out, parameter.name);
      break;
    case FieldType::Boolean:
      AppendOpen(out, parameter.name);
      out += std::get<bool>(value) ? "true" : "false";
      AppendClose(out, parameter.name);
      break;
    case FieldType::StringArray:
      AppendStringArray(out, parameter.name, std::get<std::vector<std::string>>(value));
      break;
  }
}

bool Matches(const ParameterSpec& parameter, const ServiceValue& value) {
  switch (parameter.type) {
    case FieldType::String:
      return std::holds_alternative<std::string>(value);
    case FieldType::Boolean:
      return std::holds_alternative<bool>(value);
    case FieldType::StringArray:
      return std::holds_alternative<std::vector<std::string>>(value);
  }
  return false;
}

// The element of the SOAP body, or an empty node when the text is no SOAP 1.1 envelope.
pugi::xml_node BodyContent(const pugi::xml_document& document) {
  const auto envelope = document.document_element();
  if (!IsElement(envelope, kSoapEnvelopeNamespace, "Envelope")) {
    return {};
  }
  const auto body = ChildElement(envelope, kSoapEnvelopeNamespace, "Body");
  return body.find_child(
      [](const pugi::xml_node& node) { return node.type() == pugi::node_element; });
}

// The text of a result element. A text made of one character-data node is kept as a view into
// the parsed buffer, so the largest one can later take the buffer over instead of being copied.
struct ResultText {
  std::string_view view;
  std::string owned;
  bool isView = false;

  std::size_t Size() const { return isView ? view.size() : owned.size(); }
};

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

// Turns the texts into strings. The largest view takes over the body buffer (moved to its start)
// instead of being copied: answers can carry files of many megabytes.
std::vector<std::string> Materialise(std::vector<ResultText>& texts, pugi::xml_document& document,
                                     std::string& body) {
  std::size_t largest = texts.size();
  for (std::size_t index = 0; index < texts.size(); ++index) {
    if (texts[index].isView &&
        (largest == texts.size() || texts[index].Size() > texts[largest].Size())) {
      largest = index;
    }
  }
  std::vector<std::string> strings(texts.size());
  for (std::size_t index = 0; index < texts.size(); ++index) {
    if (index != largest) {
      strings[index] =
          texts[index].isView ? std::string(texts[index].view) : std::move(texts[index].owned);
    }
  }
  if (largest < texts.size()) {
    const std::string_view view = texts[largest].view;
    document.reset();
    std::memmove(body.data(), view.data(), view.size());
    body.resize(view.size());
    strings[largest] = std::move(body);
  }
  return strings;
}

// Without the white space the schema's xs:long and xs:boolean allow around a value: blank, tab,
// line feed and carriage return.
std::string_view TrimXmlSpace(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\r";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::optional<std::int64_t> ReadLong(std::string_view text) {
  text = TrimXmlSpace(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

bool ReadBoolean(std::string_view text) {
  text = TrimXmlSpace(text);
  return text == "true" || text == "1";
}

}  // namespace

std::string BuildRequestEnvelope(Operation operation, std::span<const ServiceValue> inputs) {
  const OperationSpec& spec = Describe(operation);
  const auto parameters = spec.Parameters();
  if (inputs.size() != parameters.size()) {
    throw std::invalid_argument("wrong number of parameters for " + std::string(spec.name));
  }
  std::string out(kEnvelopeStart);
  AppendOpen(out, spec.name, " xmlns=\"" + std::string(kContractNamespace) + "\"");
  for (std::size_t index = 0; index < parameters.size(); ++index) {
    if (!Matches(parameters[index], inputs[index])) {
      throw std::invalid_argument("wrong type for parameter " +
                                  std::string(parameters[index].name));
    }
    AppendValue(out, parameters[index], inputs[index]);
  }
  AppendClose(out, spec.name);
  out += kEnvelopeEnd;
  return out;
}

ResponseStatus ParseResponseEnvelope(Operation operation, std::string& body,
                                     ServiceResult& result) {
  pugi::xml_document document;
  if (!document.load_buffer_inplace(body.data(), body.size(), pugi::parse_default,
                                    pugi::encoding_utf8)) {
    return ResponseStatus::Malformed;
  }
  const auto content = BodyContent(document);
  if (!content) {
    return ResponseStatus::Malformed;
  }
  if (IsElement(content, kSoapEnvelopeNamespace, "Fault")) {
    return ResponseStatus::Fault;
  }
  const OperationSpec& spec = Describe(operation);
  if (!IsElement(content, kContractNamespace, std::string(spec.name) + "Response")) {
    return ResponseStatus::Malformed;
  }
  ServiceResult answer;
  const auto value = ChildElement(content, kContractNamespace, std::string(spec.name) + "Result");
  if (value && !IsNil(value)) {
    switch (spec.result) {
      case ResultKind::None:
        break;
      case ResultKind::String: {
        std::vector<ResultText> texts;
        texts.push_back(TextOf(value));
        answer.text = std::move(Materialise(texts, document, body).front());
        break;
      }
      case ResultKind::StringArray: {
        auto items = ReadStringArray(value);
        if (!items) {
          return ResponseStatus::Malformed;
        }
        answer.strings = Materialise(*items, document, body);
        break;
      }
      case ResultKind::Long: {
        auto number = ReadLong(ElementText(value));
        if (!number) {
          return ResponseStatus::Malformed;
        }
        answer.number = *number;
        break;
      }
    }
  }
  result = std::move(answer);
  return ResponseStatus::Ok;
}

std::optional<ServiceRequest> ParseRequestEnvelope(std::string_view body) {
  pugi::xml_document document;
  if (!document.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8)) {
    return std::nullopt;
  }
  const auto content = BodyContent(document);
  if (!content || NamespaceOf(content) != kContractNamespace) {
    return std::nullopt;
  }
  const auto operation = FindOperation(LocalNameOf(content));
  if (!operation) {
    return std::nullopt;
  }
  ServiceRequest request{*operation, {}};
  for (const auto& parameter : Describe(*operation).Parameters()) {
    const auto element = ChildElement(content, kContractNamespace, parameter.name);
    const bool present = element && !IsNil(element);
    switch (parameter.type) {
      case FieldType::String:
        request.inputs.emplace_back(present ? ElementText(element) : std::string());
        break;
      case FieldType::Boolean:
        request.inputs.emplace_back(present && ReadBoolean(ElementText(element)));
        break;
      case FieldType::StringArray: {
        std::vector<std::string> strings;
        if (present) {
          auto items = ReadStringArray(element);
          if (!items) {
            return std::nullopt;
          }
          for (auto& item : *items) {
            strings.push_back(item.isView ? std::string(item.view) : std::move(item.owned));
          }
        }
        request.inputs.emplace_back(std::move(strings));
        break;
      }
    }
  }
  return request;
}

ResponseEnvelopeWriter::ResponseEnvelopeWriter(Operation operation, const ServiceResult& result,
                                               bool nilResult) {
  const OperationSpec& spec = Describe(operation);
  const std::string responseName = std::string(spec.name) + "Response";
  const std::string resultName = std::string(spec.name) + "Result";
  AddMarkup(kEnvelopeStart);
  AddMarkup("<" + responseName + " xmlns=\"" + std::string(kContractNamespace) + "\">");
  if (nilResult && spec.result != ResultKind::None) {
    AddMarkup("<" + resultName + " i:nil=\"true\" xmlns:i=\"" +
              std::string(kSchemaInstanceNamespace) + "\"/>");
  } else {
    switch (spec.result) {
      case ResultKind::None:
        break;
      case ResultKind::String:
        AddMarkup("<" + resultName + ">");
        AddText(result.text);
        AddMarkup("</" + resultName + ">");
        break;
      case ResultKind::StringArray:
        AddMarkup("<" + resultName + ArrayDeclaration() + ">");
        for (const auto& item : result.strings) {
          AddMarkup("<a:string>");
          AddText(item);
          AddMarkup("</a:string>");
        }
        AddMarkup("</" + resultName + ">");
        break;
      case ResultKind::Long:
        AddMarkup("<" + resultName + ">" + std::to_string(result.number) + "</" + resultName + ">");
        break;
    }
  }
  AddMarkup("</" + responseName + ">");
  AddMarkup(kEnvelopeEnd);
}

void ResponseEnvelopeWriter::AddMarkup(std::string_view markup) {
  if (segments_.empty() || !segments_.back().text.empty()) {
    segments_.push_back({});
  }
  segments_.back().markup += markup;
  length_ += markup.size();
}

void ResponseEnvelopeWriter::AddText(std::string_view text) {
  segments_.push_back({{}, text});
  length_ += EscapedLength(text);
}

bool ResponseEnvelopeWriter::AppendNextPiece(std::string& out, std::size_t textBytes) {
  if (segment_ >= segments_.size()) {
    return false;
  }
  const Segment& segment = segments_[segment_];
  if (textOffset_ == 0 && !segment.markup.empty()) {
    out += segment.markup;
  }
  const std::size_t count = std::min(textBytes, segment.text.size() - textOffset_);
  AppendEscapedText(out, segment.text.substr(textOffset_, count));
  textOffset_ += count;
  if (textOffset_ >= segment.text.size()) {
    ++segment_;
    textOffset_ = 0;
  }
  return true;
}

std::string BuildResponseEnvelope(Operation operation, const ServiceResult& result,
                                  bool nilResult) {
  ResponseEnvelopeWriter writer(operation, result, nilResult);
  std::string out;
  out.reserve(writer.Length());
  while (writer.AppendNextPiece(out, std::string::npos)) {
  }
  return out;
}

std::string BuildFaultEnvelope(std::string_view faultCode, std::string_view text) {
  std::string out(kEnvelopeStart);
  out += "<s:Fault><faultcode>";
  AppendEscapedText(out, faultCode);
  out += "</faultcode><faultstring xml:lang=\"en-US\">";
  AppendEscapedText(out, text);
  out += "</faultstring></s:Fault>";
  out += kEnvelopeEnd;
  return out;
}

}  // namespace Quorvane::Service
