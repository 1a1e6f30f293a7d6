// A reader of XML that arrives in pieces, such as a service's answer while it is received: it
// reports elements with their namespaces and character data as it goes and holds only the markup
// of one tag at a time, so a text of any length passes through in bounded memory.
//
// It reads what the document parser reads, a little more strictly: one root element; no
// document type declaration; the five predefined entities and character references only; no
// text but white space outside the root. Character data is reported as the document parser
// keeps it: line ends normalised to LF, runs of white space alone between two pieces of markup
// left out, CDATA sections as their text. A prefix nobody declared resolves to no namespace.
//
// Why not expat: the same handler behind expat (2.5.0, Debian 12) was measured in one run of
// bench/update_download_bench.py against this reader (2026-12-08, two cores): the updater's
// download of 256 MiB came to 0.29 of curl's speed with expat and 0.81 with this reader (64 MiB:
// 0.30 and 0.76), so the 0.8 this download must keep was missed by far. (Expat reports the text
// between two character references as a piece of its own, so a handler call per Base64 line.)
// It read every answer of the tests alike but one that pugixml takes ("]]>" in character data,
// which XML forbids). fuzz_soap_answer_stream compares this reader with the document parser.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Quorvane::Service {

struct XmlAttribute {
  std::string_view namespaceUri;  // empty for an attribute without a prefix
  std::string_view localName;
  std::string_view value;
};

// Receives what the reader finds. Returning false from any call stops the reader.
class XmlStreamHandler {
 public:
  virtual ~XmlStreamHandler() = default;
  virtual bool StartElement(std::string_view namespaceUri, std::string_view localName,
                            std::span<const XmlAttribute> attributes) = 0;
  virtual bool EndElement() = 0;
  // Character data directly inside the innermost open element, in pieces of any size.
  virtual bool Text(std::string_view piece) = 0;
};

class XmlStreamReader {
 public:
  explicit XmlStreamReader(XmlStreamHandler& handler);

  // Reads the next piece. False once the text is no document this reader accepts or the handler
  // stopped it; every later call fails too.
  bool Feed(std::string_view piece);
  // After the last piece: true when exactly one whole document was read.
  bool Finish();
  // Why reading failed; empty while it has not.
  const std::string& Error() const { return error_; }

 private:
  enum class State {
    Text,               // character data (or white space outside the root)
    Reference,          // after '&'
    MarkupStart,        // after '<'
    Tag,                // inside a start or end tag
    Bang,               // after "<!": a comment or a CDATA section
    Comment,            // inside "<!--"
    CData,              // inside "<![CDATA["
    InstructionTarget,  // after "<?"
    Instruction,        // inside "<?" and its target's first character
  };
  struct Frame {
    std::string name;                                           // as written, for the end tag
    std::vector<std::pair<std::string, std::string>> prefixes;  // declared here: prefix, URI
  };

  bool Fail(std::string reason);
  bool ReadText(std::string_view piece, std::size_t& at);
  bool AddTextByte(char character);
  bool AddText(std::string_view more);
  bool StartRunText();
  bool AddCDataByte(char character);
  bool ReadMarkup(char character);
  bool FlushText();
  bool EndReference();
  bool EndTag();
  bool StartTag(std::string_view tag);
  bool CloseTag(std::string_view tag);
  bool ParseAttributes(std::string_view text,
                       std::vector<std::pair<std::string, std::string>>& attributes);
  std::string_view Resolve(std::string_view prefix) const;

  XmlStreamHandler& handler_;
  State state_ = State::Text;
  std::vector<Frame> open_;
  bool rootSeen_ = false;
  bool failed_ = false;
  std::string error_;
  std::size_t offset_ = 0;         // bytes read before the current piece
  std::size_t byteOrderMark_ = 0;  // bytes of a byte order mark read at the start
  bool lastWasCr_ = false;  // a CR was read: an LF right after it is part of the same line end

  // Character data not yet handed over: the first textSize_ bytes of a buffer of fixed size,
  // written a block at a time.
  std::string text_;
  std::size_t textSize_ = 0;
  std::string whitespace_;   // white space that starts the current run, held until it is not alone
  bool runHasText_ = false;  // the current run of character data has more than white space
  std::string markup_;       // the tag, reference or opening of "<!" being read
  char quote_ = 0;           // the quote of the attribute value being read in a tag
  int marks_ = 0;  // "]" of a CDATA section, "-" of a comment, "?" of an instruction just read
};

}  // namespace Quorvane::Service
