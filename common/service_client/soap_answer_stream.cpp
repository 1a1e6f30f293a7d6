#include "common/service_client/soap_answer_stream.h"

#include <stdexcept>

#include "common/service_client/xml_stream_reader.h"

namespace Quorvane::Service {

// Follows the envelope's structure: Envelope, its first Body, the body's first element (the
// operation's response or a fault), the response's first Result, and the result's items. Any
// other element is passed over with everything in it.
class StringArrayAnswerReader::Structure final : public XmlStreamHandler {
 public:
  Structure(Operation operation, StringItemSink& sink, std::size_t otherLimit)
      : responseName_(std::string(Describe(operation).name) + "Response"),
        resultName_(std::string(Describe(operation).name) + "Result"),
        sink_(sink),
        otherLimit_(otherLimit),
        reader_(*this) {
    if (Describe(operation).result != ResultKind::StringArray) {
      throw std::invalid_argument("the operation's result is no array of strings");
    }
  }

  bool StartElement(std::string_view uri, std::string_view name,
                    std::span<const XmlAttribute> attributes) override {
    const std::size_t depth = ++depth_;
    if (!CountOther(kElementBytes)) {
      return false;
    }
    if (skipUntil_ != 0) {
      return true;
    }
    switch (depth) {
      case 1:
        return Is(uri, name, kSoapEnvelopeNamespace, "Envelope") ||
               Malformed("the answer is no SOAP envelope");
      case 2:
        return Enter(!bodySeen_ && Is(uri, name, kSoapEnvelopeNamespace, "Body"), bodySeen_);
      case 3:
        if (contentSeen_) {
          return Skip();
        }
        contentSeen_ = true;
        if (Is(uri, name, kSoapEnvelopeNamespace, "Fault")) {
          fault_ = true;
          return Skip();
        }
        return Is(uri, name, kContractNamespace, responseName_) ||
               Malformed("the answer is not the operation's");
      case 4:
        if (resultSeen_ || !Is(uri, name, kContractNamespace, resultName_)) {
          return Skip();
        }
        resultSeen_ = true;
        return IsNil(attributes) ? Skip() : true;
      case 5:
        if (!Is(uri, name, kArraysNamespace, "string")) {
          return Malformed("an item of the result is no string");
        }
        itemNil_ = IsNil(attributes);
        return sink_.BeginItem(items_++) || Stopped();
      default:
        return true;  // inside an item: its own text only is the item's
    }
  }

  bool EndElement() override {
    const std::size_t depth = depth_--;
    if (skipUntil_ != 0) {
      if (depth == skipUntil_) {
        skipUntil_ = 0;
      }
      return true;
    }
    return depth != 5 || sink_.EndItem() || Stopped();
  }

  bool Text(std::string_view piece) override {
    if (skipUntil_ != 0 || depth_ != 5 || itemNil_) {
      return CountOther(piece.size());
    }
    return sink_.ItemText(piece) || Stopped();
  }

  XmlStreamReader& Reader() { return reader_; }
  bool Fault() const { return fault_; }
  bool Complete() const { return contentSeen_ && !malformed_; }
  const std::string& Error() const { return error_; }

 private:
  static bool Is(std::string_view uri, std::string_view name, std::string_view expectedUri,
                 std::string_view expectedName) {
    return uri == expectedUri && name == expectedName;
  }

  // xsi:nil="true" or "1"; the first nil attribute decides, as the document parser reads it.
  static bool IsNil(std::span<const XmlAttribute> attributes) {
    for (const auto& attribute : attributes) {
      if (attribute.namespaceUri == kSchemaInstanceNamespace && attribute.localName == "nil") {
        return attribute.value == "true" || attribute.value == "1";
      }
    }
    return false;
  }

  // Counts what the answer holds beside the items' text (an element as a few bytes).
  bool CountOther(std::size_t bytes) {
    otherBytes_ += bytes;
    return otherBytes_ <= otherLimit_ || Malformed("the answer holds too much beside its items");
  }

  bool Enter(bool wanted, bool& seen) {
    if (!wanted) {
      return Skip();
    }
    seen = true;
    return true;
  }

  bool Skip() {
    skipUntil_ = depth_;
    return true;
  }

  bool Malformed(std::string reason) {
    malformed_ = true;
    error_ = std::move(reason);
    return false;
  }

  bool Stopped() {
    malformed_ = true;
    error_ = "the reader of the items stopped";
    return false;
  }

  const std::string responseName_;
  const std::string resultName_;
  static constexpr std::size_t kElementBytes = 64;

  StringItemSink& sink_;
  const std::size_t otherLimit_;
  std::size_t otherBytes_ = 0;
  XmlStreamReader reader_;
  std::size_t depth_ = 0;
  std::size_t skipUntil_ = 0;  // the depth of an element passed over with all it holds
  bool bodySeen_ = false;
  bool contentSeen_ = false;
  bool resultSeen_ = false;
  bool fault_ = false;
  bool itemNil_ = false;
  bool malformed_ = false;
  std::size_t items_ = 0;
  std::string error_;
};

StringArrayAnswerReader::StringArrayAnswerReader(Operation operation, StringItemSink& sink,
                                                 std::size_t otherLimit)
    : structure_(std::make_unique<Structure>(operation, sink, otherLimit)) {}

StringArrayAnswerReader::~StringArrayAnswerReader() = default;

bool StringArrayAnswerReader::Feed(std::string_view piece) {
  return structure_->Reader().Feed(piece);
}

ResponseStatus StringArrayAnswerReader::Finish() {
  if (!structure_->Reader().Finish() || !structure_->Complete()) {
    return ResponseStatus::Malformed;
  }
  return structure_->Fault() ? ResponseStatus::Fault : ResponseStatus::Ok;
}

std::string StringArrayAnswerReader::Error() const {
  if (!structure_->Error().empty()) {
    return structure_->Error();
  }
  return structure_->Reader().Error();
}

}  // namespace Quorvane::Service
