// The maker's web site and two contact addresses as links, as the About, messages and feedback
// dialogs show them; a click opens them with the desktop's web browser or mail program.
#pragma once

#include <QWidget>

namespace Quorvane::Center {

inline constexpr const char* kWebSiteLink = "https://www.quorvane.example/";
inline constexpr const char* kSupportAddress = "support@quorvane.example";
inline constexpr const char* kContactAddress = "info@quorvane.example";

// The three links, one under the other (or side by side).
QWidget* ContactLinks(Qt::Orientation orientation = Qt::Vertical);

}  // namespace Quorvane::Center
