#include "common/service_client/soap_envelope.h"

#include <charconv>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/service_client/soap_markup.h"
#include "common/service_client/xml_text.h"

namespace Quorvane::Service {
namespace {

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
      strings[index] = texts[index].Take();
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

}  // namespace Quorvane::Service
