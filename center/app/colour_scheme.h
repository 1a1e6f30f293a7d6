// The center's colours on light and dark desktops: which scheme to show, the colours of the
// ribbon, the list and the status bar for the toolkit's palette, and when a bar of the fixed
// colour table needs an edge to stand out from the row behind it.
#pragma once

#include <optional>
#include <string_view>

#include "common/ui/colour_cycle.h"

namespace Quorvane::Center {

// The contrast of two colours: the ratio (L1 + 0.05) / (L2 + 0.05) of their relative
// luminances, lighter over darker, from 1 (none) to 21.
double ContrastRatio(Ui::Rgb first, Ui::Rgb second);
bool IsDark(Ui::Rgb colour);

// Graphics such as a bar stand out from their background at 3:1.
inline constexpr double kGraphicContrast = 3.0;

enum class ColourScheme { Desktop, Light, Dark };

// QUORVANE_COLOUR_SCHEME ("dark" or "light", in any case) wins; otherwise the desktop's preference
// as its settings portal reports it (1 prefers dark, 2 prefers light, 0 has none); otherwise the
// toolkit's own palette stays.
ColourScheme ChooseColourScheme(std::string_view setting,
                                std::optional<unsigned> desktopPreference);

// The palette entries the center's own drawing starts from.
struct PaletteColours {
  Ui::Rgb window;
  Ui::Rgb base;
  Ui::Rgb text;
  Ui::Rgb highlight;
  Ui::Rgb mid;
};

struct CenterColours {
  Ui::Rgb ribbon;      // behind the application menu and the tab
  Ui::Rgb groups;      // behind the groups of commands
  Ui::Rgb groupLine;   // the groups' frame and separators
  Ui::Rgb groupLabel;  // the captions under the groups
  Ui::Rgb row;         // a line of the list, and the trough of its bar
  Ui::Rgb text;        // the list's text and a bar's edge
  Ui::Rgb highlight;   // the selected, focused or hovered line
  Ui::Rgb focusFrame;  // round the focused line
  Ui::Rgb barFrame;    // round a bar
  Ui::Rgb statusBar;   // the status bar and the lines between its parts
  Ui::Rgb statusLine;
};

// On a light palette (light window and base) the center keeps its own fixed colours; on any
// other it takes them from the palette, so that they go with the palette's text colours.
CenterColours CenterColoursFor(const PaletteColours& palette);

// A bar whose fill is too close to its trough gets an edge in the text colour.
bool BarNeedsEdge(Ui::Rgb fill, Ui::Rgb trough);

}  // namespace Quorvane::Center
