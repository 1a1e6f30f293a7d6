// Live values on their way from the poll thread to the window: only the latest value per row is
// kept, so however often the poll thread reports, the window takes at most one value per row and
// display frame. Values of a list that has since been replaced are never handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace Quorvane::Center {

class LiveValueBuffer {
 public:
  // The poll thread: the row now shows this value.
  void Set(std::size_t row, std::uint32_t value);
  // The list is being replaced (called under the list lock): pending values are dropped and
  // later ones belong to the new list.
  void StartNewList();
  // The list the window displays (read under the list lock when it rebuilds).
  std::uint64_t ListGeneration() const;
  // The window: the rows whose value changed since the last call, for the list it displays.
  std::vector<std::pair<std::size_t, std::uint32_t>> Take(std::uint64_t generation);

 private:
  mutable std::mutex mutex_;
  std::uint64_t generation_ = 0;
  std::vector<std::uint32_t> values_;
  std::vector<bool> pending_;
  std::vector<std::size_t> changed_;  // rows with pending values, in the order they first changed
};

}  // namespace Quorvane::Center
