#include "updater/update_answer.h"

#include <algorithm>
#include <cstdlib>
#include <pugixml.hpp>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/payload_documents.h"
#include "common/service_client/xml_document.h"

namespace Quorvane::Updater {
namespace {

using Halvex::Exceptions::HvxArgumentException;
using Halvex::Exceptions::HvxException;

// The text of a content is decoded in parts of at most this many characters, so that what a
// part adds to a piece fits the piece.
constexpr std::size_t kDecodedPart = 64 * 1024;
static_assert(FilePiece::kBytes + Service::Base64StreamDecoder::RoomFor(kDecodedPart) <=
              FilePiece::kCapacity);
constexpr const char* kLoadFailure = "Error loading xml configuration file from param";

std::uint16_t Part(const pugi::xml_node& node, const char* name) {
  return static_cast<std::uint16_t>(std::atoi(node.attribute(name).value()));
}

bool IsDocument(std::size_t index) { return index == 0 || index % 2 == 1; }

}  // namespace

UpdateHeader ParseResponseDocument(std::string_view text) {
  pugi::xml_document response;
  if (!Service::LoadXmlText(response, text) || !response.document_element()) {
    throw HvxArgumentException(kLoadFailure, "ppResponse[0]");
  }
  const auto root = response.document_element();
  UpdateHeader header;
  header.softwareUpdateType =
      static_cast<std::uint32_t>(std::atol(root.attribute("softwareUpdateType").value()));
  header.responseType =
      static_cast<std::uint32_t>(std::atol(root.attribute("responseType").value()));
  header.softwareId = root.attribute("softwareID").value();
  const auto version = root.child("version");
  header.version = {Part(version, "major"), Part(version, "minor"), Part(version, "build"),
                    Part(version, "revision")};
  return header;
}

FileDescriptor ParseFileDescriptor(std::string_view text) {
  pugi::xml_document descriptor;
  if (!Service::LoadXmlText(descriptor, text)) {
    throw HvxArgumentException(kLoadFailure, "files[0]");
  }
  const auto element = descriptor.document_element();
  if (!element) {
    throw HvxException("DocumentElement missing");
  }
  FileDescriptor file;
  file.fileName = element.attribute("fileName").value();
  file.size = static_cast<std::uint64_t>(
      std::max<std::int64_t>(0, Service::ReadSigned64(element.attribute("size").value())));
  file.mimeType = element.attribute("mimeType").value();
  file.installCommand = element.attribute("installCommand").value();
  return file;
}

UpdateAnswerSink::UpdateAnswerSink(std::size_t documentLimit, UpdateFileWriter& writer)
    : documentLimit_(documentLimit), writer_(writer) {}

// Runs a step of the reading; an exception it raises is kept for the caller and stops the
// reading (it must not unwind through the transfer library).
template <typename Action>
bool UpdateAnswerSink::Guarded(Action action) {
  try {
    return action();
  } catch (...) {
    failure_ = std::current_exception();
    return false;
  }
}

bool UpdateAnswerSink::BeginItem(std::size_t index) {
  index_ = index;
  items_ = index + 1;
  document_.clear();
  if (IsDocument(index)) {
    return true;
  }
  return Guarded([&] {
    decoder_ = {};
    if (decoded_.Capacity() < FilePiece::kCapacity) {
      decoded_ = FilePiece(FilePiece::kCapacity);
    }
    decoded_.Resize(0);
    written_ = 0;
    writer_.Begin(file_);
    return true;
  });
}

bool UpdateAnswerSink::ItemText(std::string_view piece) {
  if (IsDocument(index_)) {
    documentBytes_ += piece.size();
    if (documentBytes_ > documentLimit_) {
      return false;
    }
    document_.append(piece);
    return true;
  }
  return Guarded([&] {
    for (std::size_t at = 0; at < piece.size(); at += kDecodedPart) {
      std::uint8_t* write = decoded_.Data() + decoded_.Size();
      if (!decoder_.Feed(piece.substr(at, kDecodedPart), write)) {
        throw HvxException("CryptStringToBinary failed");
      }
      decoded_.Resize(static_cast<std::size_t>(write - decoded_.Data()));
      if (decoded_.Size() >= FilePiece::kBytes && !WriteDecoded(FilePiece::kBytes)) {
        return false;
      }
    }
    return true;
  });
}

// Writes the first `bytes` of what was decoded (as far as the file's size reaches) and keeps the
// rest for the next piece.
bool UpdateAnswerSink::WriteDecoded(std::size_t bytes) {
  const std::size_t wanted =
      static_cast<std::size_t>(std::min<std::uint64_t>(bytes, file_.size - written_));
  // Bytes beyond the descriptor's size are not the file's: they count as the answer's own,
  // so an answer that never ends stops at the limit.
  documentBytes_ += bytes - wanted;
  carried_.assign(decoded_.View().substr(bytes));
  if (wanted > 0) {
    decoded_.Resize(wanted);
    writer_.Write(decoded_);
    written_ += wanted;
  }
  decoded_.Resize(carried_.size());
  std::copy(carried_.begin(), carried_.end(), decoded_.Data());
  return documentBytes_ <= documentLimit_;
}

bool UpdateAnswerSink::EndItem() {
  return Guarded([&] {
    if (index_ == 0) {
      header_ = ParseResponseDocument(document_);
    } else if (IsDocument(index_)) {
      file_ = ParseFileDescriptor(document_);
    } else {
      return EndContent();
    }
    return true;
  });
}

bool UpdateAnswerSink::EndContent() {
  if (!decoder_.Finish()) {
    throw HvxException("CryptStringToBinary failed");
  }
  if (!WriteDecoded(decoded_.Size())) {
    return false;
  }
  // A descriptor that claims more bytes than the content holds is a failed write.
  if (written_ < file_.size) {
    throw HvxException("Could not write file for update file");
  }
  writer_.End();
  return true;
}

void UpdateAnswerSink::RethrowFailure() const {
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

UpdateHeader UpdateAnswerSink::Finish() {
  RethrowFailure();
  if (!header_) {
    throw HvxArgumentException(kLoadFailure, "ppResponse[0]");
  }
  // A descriptor must be followed by its content.
  if (items_ > 1 && items_ % 2 == 0) {
    throw HvxArgumentException(kLoadFailure, "files[0]");
  }
  return *header_;
}

}  // namespace Quorvane::Updater
