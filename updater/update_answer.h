// The service's answer to an update check, read while it arrives: the response document first,
// then a descriptor and a Base64 content per file. Each file's content is decoded in pieces and
// handed to a writer as it passes, so a file of any size is never held in memory.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "common/platform/file_version.h"
#include "common/service_client/base64.h"
#include "common/service_client/soap_answer_stream.h"
#include "updater/file_piece.h"

namespace Quorvane::Updater {

struct UpdateHeader {
  Platform::FileVersion version;
  std::uint32_t softwareUpdateType = 0;
  std::uint32_t responseType = 0;
  std::string softwareId;
};

struct FileDescriptor {
  std::string fileName;
  std::uint64_t size = 0;  // as claimed, saturating: a claim beyond any limit stays beyond it
  std::string mimeType;
  std::string installCommand;
};

// The response document. Raises HvxArgumentException "Error loading xml configuration file from
// param" when it cannot be loaded.
UpdateHeader ParseResponseDocument(std::string_view text);
// A file's descriptor. Raises HvxArgumentException as above, or HvxException "DocumentElement
// missing".
FileDescriptor ParseFileDescriptor(std::string_view text);

// Where the files of an answer go. Each call may raise an HvxException, which ends the reading.
class UpdateFileWriter {
 public:
  virtual ~UpdateFileWriter() = default;
  virtual void Begin(const FileDescriptor& file) = 0;
  // Writes the piece's bytes. Every piece of a file but its last holds FilePiece::kBytes. The
  // writer may keep the piece, leaving another of FilePiece::kCapacity in its place (of any size
  // and content) for the caller's next bytes.
  virtual void Write(FilePiece& piece) = 0;
  virtual void End() = 0;
};

// Takes the items of one answer. What it buffers (the documents) is bounded by `documentLimit`,
// together with any content beyond its descriptor's size; an answer that outgrows it stops, as an
// oversized answer always did, without an error of its own. A content shorter than its
// descriptor's size is a failed write; bytes beyond the size are not written.
class UpdateAnswerSink final : public Service::StringItemSink {
 public:
  UpdateAnswerSink(std::size_t documentLimit, UpdateFileWriter& writer);

  bool BeginItem(std::size_t index) override;
  bool ItemText(std::string_view piece) override;
  bool EndItem() override;

  // After the answer was read whole: the response document, checked to be followed by a content
  // for every descriptor. Raises what stopped the reading, or HvxArgumentException "Error loading
  // xml configuration file from param" for an empty answer or a descriptor without its content.
  UpdateHeader Finish();
  // Raises what stopped the reading (a malformed document, Base64 or file error), if anything did.
  void RethrowFailure() const;

 private:
  template <typename Action>
  bool Guarded(Action action);
  bool EndContent();
  bool WriteDecoded(std::size_t bytes);

  std::size_t documentLimit_;
  std::size_t documentBytes_ = 0;
  UpdateFileWriter& writer_;
  std::size_t index_ = 0;
  std::size_t items_ = 0;
  std::string document_;  // the item being read, when it is a document
  std::optional<UpdateHeader> header_;
  FileDescriptor file_;  // the descriptor of the content being read
  std::uint64_t written_ = 0;
  Service::Base64StreamDecoder decoder_;
  // Decoded bytes not yet written, gathered into pieces of FilePiece::kBytes (made with the first
  // content); what a part decodes beyond a piece waits in carried_ for the next one.
  FilePiece decoded_;
  std::string carried_;
  std::exception_ptr failure_;
};

}  // namespace Quorvane::Updater
