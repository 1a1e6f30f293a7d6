#include "updater/file_piece.h"

#include <cstdlib>
#include <new>
#include <stdexcept>

namespace Quorvane::Updater {

FilePiece::FilePiece(std::size_t capacity)
    : data_(static_cast<std::uint8_t*>(
          std::aligned_alloc(kAlignment, (capacity + kAlignment - 1) / kAlignment * kAlignment))),
      capacity_(capacity) {
  if (!data_) {
    throw std::bad_alloc();
  }
}

void FilePiece::Release::operator()(std::uint8_t* data) const { std::free(data); }

void FilePiece::Resize(std::size_t size) {
  if (size > capacity_) {
    throw std::length_error("a file piece cannot grow beyond its capacity");
  }
  size_ = size;
}

FilePiece PiecePool::Take() {
  {
    std::lock_guard guard(lock_);
    if (!pieces_.empty()) {
      FilePiece piece = std::move(pieces_.back());
      pieces_.pop_back();
      return piece;
    }
  }
  return FilePiece(FilePiece::kCapacity);
}

void PiecePool::Give(FilePiece piece) {
  std::lock_guard guard(lock_);
  pieces_.push_back(std::move(piece));
}

}  // namespace Quorvane::Updater
