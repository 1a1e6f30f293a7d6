#include "center/app/live_value_buffer.h"

namespace Quorvane::Center {

void LiveValueBuffer::Set(std::size_t row, std::uint32_t value) {
  std::lock_guard lock(mutex_);
  if (row >= values_.size()) {
    values_.resize(row + 1);
    pending_.resize(row + 1);
  }
  values_[row] = value;
  if (!pending_[row]) {
    pending_[row] = true;
    changed_.push_back(row);
  }
}

void LiveValueBuffer::StartNewList() {
  std::lock_guard lock(mutex_);
  ++generation_;
  values_.clear();
  pending_.clear();
  changed_.clear();
}

std::uint64_t LiveValueBuffer::ListGeneration() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

std::vector<std::pair<std::size_t, std::uint32_t>> LiveValueBuffer::Take(std::uint64_t generation) {
  std::vector<std::pair<std::size_t, std::uint32_t>> taken;
  std::lock_guard lock(mutex_);
  if (generation != generation_) {
    return taken;
  }
  taken.reserve(changed_.size());
  for (const std::size_t row : changed_) {
    taken.emplace_back(row, values_[row]);
    pending_[row] = false;
  }
  changed_.clear();
  return taken;
}

}  // namespace Quorvane::Center
