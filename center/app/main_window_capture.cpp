// The main window's pictures of itself: onto the clipboard, or into a file the user names. The
// picture is the window's own content, drawn by the window, not read off the screen: a Wayland
// desktop lets no program read the screen, and the frame around the window is the desktop's.
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>

#include "center/app/main_window.h"
#include "center/app/screenshot_dialog.h"
#include "common/diagnostics/user_notifier.h"

namespace Quorvane::Center {

QPixmap MainWindow::Picture() { return grab(); }

void MainWindow::CaptureToClipboard() {
  QGuiApplication::clipboard()->setImage(Picture().toImage());
}

void MainWindow::CaptureToFile() {
  const QPixmap picture = Picture();
  ScreenshotFileDialog dialog(this);
  if (dialog.exec() != QDialog::Accepted) {
    return;  // cancelled: nothing to say
  }
  const std::string path = dialog.ChosenFile();
  if (path.empty()) {
    Diagnostics::ShowWarningBox(
        application_.Environment().notifier,
        "Was not able to get a valid file name. Did you choose a valid file type?\r\n"
        "Please try again...");
    return;
  }
  // A picture that could not be written is said so: the user would believe the file exists.
  if (!picture.save(QString::fromStdString(path), dialog.ChosenFormat())) {
    Diagnostics::ShowErrorBox(application_.Environment().notifier,
                              "The screenshot could not be saved as '" + path + "'.");
  }
}

}  // namespace Quorvane::Center
