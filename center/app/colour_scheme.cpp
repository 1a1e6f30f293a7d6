#include "center/app/colour_scheme.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace Quorvane::Center {
namespace {

double Linear(std::uint8_t channel) {
  const double value = channel / 255.0;
  return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double Luminance(Ui::Rgb colour) {
  return 0.2126 * Linear(colour.red) + 0.7152 * Linear(colour.green) + 0.0722 * Linear(colour.blue);
}

// A colour a share of the way from `from` to `to`.
Ui::Rgb Mix(Ui::Rgb from, Ui::Rgb to, double share) {
  const auto mix = [share](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>(std::lround(a + (b - a) * share));
  };
  return {mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue)};
}

}  // namespace

double ContrastRatio(Ui::Rgb first, Ui::Rgb second) {
  const double a = Luminance(first);
  const double b = Luminance(second);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

bool IsDark(Ui::Rgb colour) { return Luminance(colour) < 0.18; }

ColourScheme ChooseColourScheme(std::string_view setting,
                                std::optional<unsigned> desktopPreference) {
  const auto is = [setting](std::string_view word) {
    return setting.size() == word.size() &&
           std::equal(setting.begin(), setting.end(), word.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == b;
           });
  };
  if (is("dark")) return ColourScheme::Dark;
  if (is("light")) return ColourScheme::Light;
  if (desktopPreference == 1u) return ColourScheme::Dark;
  if (desktopPreference == 2u) return ColourScheme::Light;
  return ColourScheme::Desktop;
}

CenterColours CenterColoursFor(const PaletteColours& palette) {
  if (!IsDark(palette.base) && !IsDark(palette.window)) {
    return {{245, 246, 247}, {255, 255, 255}, {213, 213, 213}, {90, 90, 90},
            {255, 255, 255}, {16, 16, 16},    {205, 231, 255}, {150, 150, 150},
            {160, 160, 160}, {235, 235, 235}, {200, 200, 200}};
  }
  return {palette.window,
          palette.window,
          palette.mid,
          Mix(palette.text, palette.base, 0.3),
          palette.base,
          palette.text,
          Mix(palette.base, palette.highlight, 0.45),
          Mix(palette.text, palette.base, 0.4),
          palette.mid,
          palette.window,
          palette.mid};
}

bool BarNeedsEdge(Ui::Rgb fill, Ui::Rgb trough) {
  return ContrastRatio(fill, trough) < kGraphicContrast;
}

}  // namespace Quorvane::Center
