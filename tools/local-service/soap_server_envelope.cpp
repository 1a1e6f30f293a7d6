#include "tools/local-service/soap_server_envelope.h"

#include "common/service_client/soap_markup.h"
#include "common/service_client/xml_text.h"

namespace Quorvane::Service {

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
            strings.push_back(item.Take());
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
