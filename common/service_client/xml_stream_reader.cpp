#include "common/service_client/xml_stream_reader.h"

#include <algorithm>
#include <cstring>

#include "common/platform/utf16.h"
#include "common/service_client/xml_plain_text.h"
#include "common/service_client/xml_text.h"

namespace Quorvane::Service {
namespace {

constexpr std::size_t kMaxMarkup = 64 * 1024;  // one tag, or the white space that starts a run
constexpr std::size_t kMaxDepth = 64;
constexpr std::size_t kMaxAttributes = 64;
constexpr std::size_t kMaxReference = 10;  // "#x10FFFF" and a little more
constexpr std::size_t kTextFlush = 64 * 1024;
// What the text may hold: a flush's worth and the white space that starts a run.
constexpr std::size_t kTextCapacity = kTextFlush + kMaxMarkup;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kCDataOpening = "[CDATA[";
constexpr std::string_view kCommentOpening = "--";

bool IsSpace(char character) {
  return character == ' ' || character == '\t' || character == '\n' || character == '\r';
}

bool IsNameStart(unsigned char character) {
  return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
         character == '_' || character == ':' || character >= 0x80;
}

bool IsNameCharacter(unsigned char character) {
  return IsNameStart(character) || (character >= '0' && character <= '9') || character == '-' ||
         character == '.';
}

// The length of the name at the start of the text; 0 when it does not start with one.
std::size_t NameLength(std::string_view text) {
  if (text.empty() || !IsNameStart(static_cast<unsigned char>(text[0]))) {
    return 0;
  }
  std::size_t length = 1;
  while (length < text.size() && IsNameCharacter(static_cast<unsigned char>(text[length]))) {
    ++length;
  }
  return length;
}

std::size_t SkipSpace(std::string_view text, std::size_t at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
  return at;
}

// Appends what the reference (the text between '&' and ';') stands for; false when it is none
// this reader knows.
bool DecodeReference(std::string_view name, std::string& out) {
  if (name.size() < 2) {
    return false;
  }
  if (name[0] != '#') {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, character] : kEntities) {
      if (name == entity) {
        out += character;
        return true;
      }
    }
    return false;
  }
  const bool hex = name[1] == 'x';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) {
    return false;
  }
  unsigned long code = 0;
  for (const char digit : digits) {
    unsigned value;
    if (digit >= '0' && digit <= '9') {
      value = static_cast<unsigned>(digit - '0');
    } else if (hex && digit >= 'a' && digit <= 'f') {
      value = static_cast<unsigned>(digit - 'a' + 10);
    } else if (hex && digit >= 'A' && digit <= 'F') {
      value = static_cast<unsigned>(digit - 'A' + 10);
    } else {
      return false;
    }
    code = code * (hex ? 16 : 10) + value;
    if (code > 0x10FFFF) {
      return false;
    }
  }
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) {
    return false;
  }
  Platform::AppendUtf8(out, static_cast<std::uint32_t>(code));
  return true;
}

// An attribute's value with its references decoded and each line end or tab made a space, as
// the document parser reads it.
bool DecodeAttributeValue(std::string_view raw, std::string& out) {
  for (std::size_t at = 0; at < raw.size(); ++at) {
    const char character = raw[at];
    if (character == '<' || character == '\0') {
      return false;
    }
    if (character == '&') {
      const auto end = raw.find(';', at + 1);
      if (end == std::string_view::npos || end - at - 1 > kMaxReference ||
          !DecodeReference(raw.substr(at + 1, end - at - 1), out)) {
        return false;
      }
      at = end;
    } else if (character == '\r') {
      out += ' ';
      if (at + 1 < raw.size() && raw[at + 1] == '\n') ++at;
    } else {
      out += character == '\n' || character == '\t' ? ' ' : character;
    }
  }
  return true;
}

}  // namespace

bool XmlStreamReader::Fail(std::string reason) {
  if (!failed_) {
    failed_ = true;
    error_ = std::move(reason);
  }
  return false;
}

XmlStreamReader::XmlStreamReader(XmlStreamHandler& handler)
    : handler_(handler), text_(kTextCapacity, '\0') {}

bool XmlStreamReader::FlushText() {
  if (textSize_ == 0) {
    return true;
  }
  const bool taken = handler_.Text(std::string_view(text_.data(), textSize_));
  textSize_ = 0;
  return taken || Fail("the reader of the document stopped");
}

bool XmlStreamReader::AddText(std::string_view more) {
  // Held-back white space and a flush's worth always fit; the check keeps it so if that changes.
  if (textSize_ + more.size() > text_.size() && !FlushText()) {
    return false;
  }
  std::memcpy(text_.data() + textSize_, more.data(), more.size());
  textSize_ += more.size();
  return textSize_ < kTextFlush || FlushText();
}

// A run of character data has text: the white space held back at its start belongs to it.
bool XmlStreamReader::StartRunText() {
  runHasText_ = true;
  const bool added = AddText(whitespace_);
  whitespace_.clear();
  return added;
}

// One character of a run of character data, line ends already normalised. White space that
// starts a run is held back: a run of white space alone is left out.
bool XmlStreamReader::AddTextByte(char character) {
  if (!runHasText_ && IsSpace(character)) {
    if (whitespace_.size() >= kMaxMarkup) {
      return Fail("too much white space");
    }
    whitespace_ += character;
    return true;
  }
  if (open_.empty()) {
    return Fail("text outside the root element");
  }
  return (runHasText_ || StartRunText()) && AddText(std::string_view(&character, 1));
}

// Character data up to the next markup. Runs without markup, a NUL or a CR of their own are
// copied a block at a time.
bool XmlStreamReader::ReadText(std::string_view piece, std::size_t& at) {
  while (at < piece.size()) {
    if (runHasText_ && !lastWasCr_) {
      const PlainTextCopied copied =
          CopyPlainText(piece.substr(at), text_.data() + textSize_, kTextFlush - textSize_);
      at += copied.read;
      textSize_ += copied.written;
      if (textSize_ >= kTextFlush && !FlushText()) {
        return false;
      }
      if (copied.read > 0) {
        continue;
      }
    }
    const char character = piece[at++];
    if (character == '<' || character == '&') {
      lastWasCr_ = false;
      if (character == '&') {
        if (open_.empty()) {
          return Fail("a reference outside the root element");
        }
        state_ = State::Reference;
        markup_.clear();
        return true;
      }
      // A run of white space alone ends here unseen.
      if (!runHasText_) {
        whitespace_.clear();
      }
      runHasText_ = false;
      state_ = State::MarkupStart;
      markup_.clear();
      return FlushText();
    }
    if (character == '\0') {
      return Fail("a NUL character");
    }
    if (character == '\n' && lastWasCr_) {
      lastWasCr_ = false;  // CR LF is one line end, already added
      continue;
    }
    lastWasCr_ = character == '\r';
    if (!AddTextByte(lastWasCr_ ? '\n' : character)) {
      return false;
    }
  }
  return true;
}

bool XmlStreamReader::EndReference() {
  std::string decoded;
  if (!DecodeReference(markup_, decoded)) {
    return Fail("an unknown reference '&" + markup_ + ";'");
  }
  state_ = State::Text;
  return (runHasText_ || StartRunText()) && AddText(decoded);
}

std::string_view XmlStreamReader::Resolve(std::string_view prefix) const {
  const std::string_view declared = prefix.empty() ? std::string_view() : prefix;
  for (auto frame = open_.rbegin(); frame != open_.rend(); ++frame) {
    for (const auto& [name, uri] : frame->prefixes) {
      if (name == declared) {
        return uri;
      }
    }
  }
  return prefix == "xml" ? std::string_view("http://www.w3.org/XML/1998/namespace")
                         : std::string_view();
}

bool XmlStreamReader::ParseAttributes(
    std::string_view text, std::vector<std::pair<std::string, std::string>>& attributes) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = SkipSpace(text, at);
    if (start == text.size()) {
      break;
    }
    if (start == at) {
      return Fail("attributes must be separated by white space");
    }
    const std::size_t nameLength = NameLength(text.substr(start));
    if (nameLength == 0) {
      return Fail("a malformed attribute");
    }
    std::string name(text.substr(start, nameLength));
    std::size_t equals = SkipSpace(text, start + nameLength);
    if (equals == text.size() || text[equals] != '=') {
      return Fail("an attribute without a value");
    }
    const std::size_t open = SkipSpace(text, equals + 1);
    if (open == text.size() || (text[open] != '"' && text[open] != '\'')) {
      return Fail("an attribute value without quotes");
    }
    const auto close = text.find(text[open], open + 1);
    if (close == std::string_view::npos) {
      return Fail("an unterminated attribute value");
    }
    std::string value;
    if (!DecodeAttributeValue(text.substr(open + 1, close - open - 1), value)) {
      return Fail("a malformed attribute value");
    }
    for (const auto& earlier : attributes) {
      if (earlier.first == name) {
        return Fail("the attribute '" + name + "' is given twice");
      }
    }
    if (attributes.size() == kMaxAttributes) {
      return Fail("too many attributes");
    }
    attributes.emplace_back(std::move(name), std::move(value));
    at = close + 1;
  }
  return true;
}

bool XmlStreamReader::StartTag(std::string_view tag) {
  const bool empty = !tag.empty() && tag.back() == '/';
  if (empty) {
    tag.remove_suffix(1);
  }
  const std::size_t nameLength = NameLength(tag);
  if (nameLength == 0) {
    return Fail("a malformed start tag");
  }
  if (open_.empty() && rootSeen_) {
    return Fail("a second root element");
  }
  if (open_.size() == kMaxDepth) {
    return Fail("elements nested too deeply");
  }
  std::vector<std::pair<std::string, std::string>> attributes;
  if (!ParseAttributes(tag.substr(nameLength), attributes)) {
    return false;
  }
  Frame frame{std::string(tag.substr(0, nameLength)), {}};
  for (const auto& [name, value] : attributes) {
    if (name == "xmlns") {
      frame.prefixes.emplace_back(std::string(), value);
    } else if (PrefixOf(name) == "xmlns") {
      if (LocalPart(name).empty()) {
        return Fail("a namespace declaration without its prefix");
      }
      frame.prefixes.emplace_back(std::string(LocalPart(name)), value);
    }
  }
  open_.push_back(std::move(frame));
  rootSeen_ = true;
  std::vector<XmlAttribute> resolved;
  for (const auto& [name, value] : attributes) {
    if (name != "xmlns" && PrefixOf(name) != "xmlns") {
      const std::string_view prefix = PrefixOf(name);
      resolved.push_back(
          {prefix.empty() ? std::string_view() : Resolve(prefix), LocalPart(name), value});
    }
  }
  const std::string_view name = open_.back().name;
  if (!handler_.StartElement(Resolve(PrefixOf(name)), LocalPart(name), resolved)) {
    return Fail("the reader of the document stopped");
  }
  if (empty) {
    open_.pop_back();
    if (!handler_.EndElement()) {
      return Fail("the reader of the document stopped");
    }
  }
  return true;
}

bool XmlStreamReader::CloseTag(std::string_view tag) {
  while (!tag.empty() && IsSpace(tag.back())) {
    tag.remove_suffix(1);
  }
  if (open_.empty() || tag != open_.back().name) {
    return Fail("an end tag that closes no open element");
  }
  open_.pop_back();
  return handler_.EndElement() || Fail("the reader of the document stopped");
}

bool XmlStreamReader::EndTag() {
  state_ = State::Text;
  return markup_[0] == '/' ? CloseTag(std::string_view(markup_).substr(1)) : StartTag(markup_);
}

bool XmlStreamReader::AddCDataByte(char character) {
  if (character == '\n' && lastWasCr_) {
    lastWasCr_ = false;  // CR LF is one line end, already added
    return true;
  }
  lastWasCr_ = character == '\r';
  const char added = lastWasCr_ ? '\n' : character;
  return AddText(std::string_view(&added, 1));
}

// One character of markup: a reference, a tag, a comment, a CDATA section or an instruction.
bool XmlStreamReader::ReadMarkup(char character) {
  if (character == '\0') {
    return Fail("a NUL character");
  }
  switch (state_) {
    case State::Text:
      return true;
    case State::Reference:
      if (character == ';') {
        return EndReference();
      }
      if (markup_.size() == kMaxReference) {
        return Fail("a malformed reference");
      }
      markup_ += character;
      return true;
    case State::MarkupStart:
      if (character == '?') {
        state_ = State::InstructionTarget;
      } else if (character == '!') {
        state_ = State::Bang;
      } else {
        state_ = State::Tag;
        quote_ = 0;
        markup_ += character;
      }
      marks_ = 0;
      return true;
    case State::Tag:
      if (quote_ != 0) {
        quote_ = character == quote_ ? 0 : quote_;
      } else if (character == '"' || character == '\'') {
        quote_ = character;
      } else if (character == '>') {
        return EndTag();
      }
      if (markup_.size() == kMaxMarkup) {
        return Fail("a tag too long");
      }
      markup_ += character;
      return true;
    case State::Bang:
      markup_ += character;
      if (markup_ == kCommentOpening) {
        state_ = State::Comment;
      } else if (markup_ == kCDataOpening) {
        if (open_.empty()) {
          return Fail("a CDATA section outside the root element");
        }
        state_ = State::CData;
        lastWasCr_ = false;
      } else if (!kCommentOpening.starts_with(markup_) && !kCDataOpening.starts_with(markup_)) {
        return Fail("a declaration this reader does not accept (a document type, say)");
      }
      return true;
    case State::Comment:
      if (character == '>' && marks_ == 2) {
        state_ = State::Text;
      }
      marks_ = character == '-' ? std::min(marks_ + 1, 2) : 0;
      return true;
    case State::InstructionTarget:
      // An instruction names its target first, as the document parser requires.
      if (!IsNameStart(static_cast<unsigned char>(character))) {
        return Fail("a processing instruction without a target");
      }
      state_ = State::Instruction;
      return true;
    case State::Instruction:
      if (character == '>' && marks_ == 1) {
        state_ = State::Text;
      }
      marks_ = character == '?' ? 1 : 0;
      return true;
    case State::CData:
      if (character == '>' && marks_ == 2) {
        state_ = State::Text;
        lastWasCr_ = false;
        return true;
      }
      if (character == ']' && marks_ < 2) {
        ++marks_;  // may begin the end, "]]>"
        return true;
      }
      if (character != ']') {
        for (; marks_ > 0; --marks_) {
          if (!AddCDataByte(']')) return false;
        }
      }
      return AddCDataByte(character);  // a third ']' in a row: the first of them is content
  }
  return true;
}

bool XmlStreamReader::Feed(std::string_view piece) {
  if (failed_) {
    return false;
  }
  // A byte order mark may open the document, split between pieces too.
  while (byteOrderMark_ < kByteOrderMark.size() && !piece.empty() && offset_ == byteOrderMark_) {
    if (piece[0] != kByteOrderMark[byteOrderMark_]) {
      if (byteOrderMark_ > 0) {
        return Fail("text outside the root element");
      }
      break;
    }
    ++byteOrderMark_;
    ++offset_;
    piece.remove_prefix(1);
  }
  std::size_t at = 0;
  while (at < piece.size()) {
    if (state_ == State::Text) {
      if (!ReadText(piece, at)) {
        return false;
      }
    } else if (!ReadMarkup(piece[at++])) {
      return false;
    }
  }
  offset_ += piece.size();
  return true;
}

bool XmlStreamReader::Finish() {
  if (failed_) {
    return false;
  }
  if (state_ != State::Text || !open_.empty() || !rootSeen_) {
    return Fail("the document ends before its root element is closed");
  }
  return FlushText();
}

}  // namespace Quorvane::Service
