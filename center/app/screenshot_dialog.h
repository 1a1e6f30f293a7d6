// The save dialog of "Capture to File...": the three picture types, and a link file's name
// refused while the dialog stays open.
#pragma once

#include <QFileDialog>

namespace Quorvane::Center {

class ScreenshotFileDialog final : public QFileDialog {
  Q_OBJECT

 public:
  explicit ScreenshotFileDialog(QWidget* parent);

  // The chosen name, completed with the chosen type's extension.
  std::string ChosenFile() const;
  // The image format of the chosen type.
  const char* ChosenFormat() const;

 public slots:
  void accept() override;

 private:
  std::size_t ChosenType() const;
};

}  // namespace Quorvane::Center
