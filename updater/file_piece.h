// A piece of a downloaded file on its way to the disk: memory aligned for direct I/O and never
// zeroed, handed from thread to thread without a copy, and kept for the next bytes afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace Quorvane::Updater {

class FilePiece {
 public:
  // Every piece of a file but its last holds this many bytes: a multiple of any block size, so
  // each piece starts where the disk can take it directly.
  static constexpr std::size_t kBytes = 1024 * 1024;
  static constexpr std::size_t kAlignment = 4096;
  // What a piece can hold: its bytes and what the next decoded part adds before it is cut.
  static constexpr std::size_t kCapacity = kBytes + 128 * 1024;

  FilePiece() = default;
  explicit FilePiece(std::size_t capacity);
  // A piece moved from is empty, without memory.
  FilePiece(FilePiece&& other) noexcept;
  FilePiece& operator=(FilePiece&& other) noexcept;

  std::uint8_t* Data() { return data_.get(); }
  const std::uint8_t* Data() const { return data_.get(); }
  std::size_t Size() const { return size_; }
  std::size_t Capacity() const { return capacity_; }
  // Sets the size, within the capacity; the bytes stay as they are.
  void Resize(std::size_t size);
  std::string_view View() const { return {reinterpret_cast<const char*>(data_.get()), size_}; }

 private:
  struct Release {
    void operator()(std::uint8_t* data) const;
  };
  std::unique_ptr<std::uint8_t, Release> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Pieces whose bytes were used, their memory kept: a fresh megabyte costs a page fault for every
// page as it fills, and the system's mapping and unmapping of it.
class PiecePool {
 public:
  // A kept piece of any size and content, or a new one; either of FilePiece::kCapacity.
  FilePiece Take();
  // Keeps the piece; lets it go when it cannot be kept.
  void Give(FilePiece piece) noexcept;

 private:
  std::mutex lock_;
  std::vector<FilePiece> pieces_;
};

}  // namespace Quorvane::Updater
