// The five colours progress bars cycle through once a second, and the channel markers use:
// red, green, yellow, grey, blue.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace Quorvane::Ui {

struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  bool operator==(const Rgb&) const = default;
};

inline constexpr std::array<Rgb, 5> kColourTable{
    {{255, 0, 0}, {181, 230, 29}, {255, 201, 14}, {107, 107, 107}, {0, 0, 255}}};

// Steps through the table: each Next() gives the entry at the index, then advances it, wrapping
// after the fifth. A cycle made to start at 1 shows green first after the initial red.
class ColourCycle {
 public:
  explicit ColourCycle(std::size_t start = 0) : index_(start % kColourTable.size()) {}
  Rgb Next() {
    const Rgb colour = kColourTable[index_];
    index_ = (index_ + 1) % kColourTable.size();
    return colour;
  }

 private:
  std::size_t index_;
};

}  // namespace Quorvane::Ui
