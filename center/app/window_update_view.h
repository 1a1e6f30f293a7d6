// The main window as the update work's UpdateView: every call comes from the worker thread that
// checks or installs, and is carried to the window thread; the question waits for the user's
// answer there. Once the window closes, nothing waits any more.
#pragma once

#include <atomic>
#include <memory>

#include "center/self_update/update_coordinator.h"
#include "common/ui/window_thread.h"

namespace Quorvane::Center {

class MainWindow;

class WindowUpdateView final : public UpdateView {
 public:
  explicit WindowUpdateView(MainWindow& window) : window_(&window) {}

  void SetStatusText(const std::string& text) override;
  void ShowProgress(bool running) override;
  bool AskToUpdate() override;
  void CloseForUpdate() override;
  void OffersChanged() override;
  void TellUser(const std::string& text) override;

  // The window is closing: questions are answered No, and nobody waits for the window.
  void Close() { closed_->store(true); }

 private:
  MainWindow* window_;  // outlives the update threads, which the window joins
  Ui::AbandonFlag closed_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace Quorvane::Center
