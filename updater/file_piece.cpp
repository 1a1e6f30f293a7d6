#include "updater/file_piece.h"

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

namespace Quorvane::Updater {

FilePiece::FilePiece(std::size_t capacity)
    : data_(static_cast<std::uint8_t*>(
          std::aligned_alloc(kAlignment, (capacity + kAlignment - 1) / kAlignment * kAlignment))),
      capacity_(capacity) {
  if (!data_) {
    throw std::bad_alloc();
  }
}

FilePiece::FilePiece(FilePiece&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

FilePiece& FilePiece::operator=(FilePiece&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
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

void PiecePool::Give(FilePiece piece) noexcept {
  std::lock_guard guard(lock_);
  try {
    pieces_.push_back(std::move(piece));
  } catch (const std::bad_alloc&) {
    // A piece less to reuse: the next one is made anew.
  }
}

}  // namespace Quorvane::Updater
