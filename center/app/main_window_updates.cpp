// The main window's update commands: the check and the updater's own update run on threads of
// their own, and the status bar's progress bar shows that they work.
#include <QProgressBar>

#include "center/app/main_window.h"
#include "center/app/status_bar.h"
#include "center/app/window_update_view.h"
#include "common/ui/progress_bar_style.h"

namespace Quorvane::Center {

Ui::ColourCycle& MainWindow::UpdateColours() {
  static Ui::ColourCycle colours(1);
  return colours;
}

void MainWindow::SetUpdateBarColour(Ui::Rgb colour) {
  status_->Progress().setStyleSheet(Ui::ProgressBarStyle(colour));
}

void MainWindow::ShowUpdateProgress(bool running) {
  QProgressBar& bar = status_->Progress();
  if (running) {
    bar.setRange(0, 0);  // marquee
    SetUpdateBarColour(Ui::kColourTable[0]);
    bar.show();
    updateColourTimer_.start();
  } else {
    updateColourTimer_.stop();
    bar.hide();
  }
}

void MainWindow::CheckForUpdates() {
  if (application_.Updates().CheckRunning()) {
    return;
  }
  updateTasks_.Start([this] { application_.Updates().CheckForUpdate(*updateView_); });
}

void MainWindow::UpdateUpdater() {
  if (application_.Updates().UpdaterUpdateRunning()) {
    return;
  }
  updateTasks_.Start([this] { application_.Updates().UpdateUpdater(*updateView_, true); });
}

}  // namespace Quorvane::Center
