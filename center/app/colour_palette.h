// The colour scheme on the toolkit's side: a dark palette when the user or the desktop asks for
// one, and the center's colours for the palette a widget has.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>

#include "center/app/colour_scheme.h"

namespace Quorvane::Center {

// Before the first window: QUORVANE_COLOUR_SCHEME, else the desktop's settings portal (asked
// for at most a second), decides whether the center shows a dark or light
// palette; with neither, the toolkit's own palette stays.
void ApplyColourScheme();

CenterColours CenterColoursOf(const QPalette& palette);

// A picture of the center's resources, its dark ink drawn light on a dark palette: the icons'
// outlines and the button marker would vanish into a dark background.
QIcon PaletteIcon(const QString& resource, const QPalette& palette);

inline QColor ToQColor(Ui::Rgb colour) { return {colour.red, colour.green, colour.blue}; }
Ui::Rgb ToRgb(const QColor& colour);

}  // namespace Quorvane::Center
