// The About dialog: the program's name and version, and links to the maker's web site and two
// addresses. It closes when a controller is plugged in or removed.
#pragma once

#include <QDialog>

#include "common/platform/file_version.h"

namespace Quorvane::Center {

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const Platform::FileVersion& version, QWidget* parent);
};

}  // namespace Quorvane::Center
