// The center's update work on an installed package, as the center does it, for the package test
// that runs it as a user through the real pkexec: the center's own update coordinator with the
// folders of the installed center, no window. Usage:
//
//   update_driver CENTER_PROGRAM accept          check, check again and answer Yes, hand off
//   update_driver CENTER_PROGRAM update-updater  check, then install the updater's update
//
// Prints what the center would show; the second form ends with 0 when the updater's offer is
// gone (installed), else 1.
#include <cstdio>
#include <cstring>
#include <string>

#include "center/self_update/update_coordinator.h"
#include "common/platform/clock.h"

namespace {

using namespace Quorvane;

class PrintedView final : public Center::UpdateView {
 public:
  void SetStatusText(const std::string& text) override { Print("status", text); }
  void ShowProgress(bool) override {}
  bool AskToUpdate() override {
    Print("asked", Center::kUpdateQuestion);
    return true;
  }
  void CloseForUpdate() override { Print("closing", "for the update"); }
  void OffersChanged() override {}
  void TellUser(const std::string& text) override { Print("told", text); }

 private:
  static void Print(const char* what, const std::string& text) {
    std::printf("%s: %s\n", what, text.c_str());
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_driver CENTER_PROGRAM accept|update-updater\n");
    return 2;
  }
  const auto environment = Platform::ProcessEnvironment();
  Diagnostics::SyslogEventLog eventLog(
      environment(Diagnostics::kSyslogSocketVariable).value_or(""));
  Platform::SystemClock clock;
  Center::UpdateCoordinator coordinator({Platform::DiscoverKnownFolders(environment, argv[1]),
                                         environment, eventLog, clock, [] { return false; }});
  PrintedView view;
  coordinator.CheckForUpdate(view);
  if (std::strcmp(argv[2], "accept") == 0) {
    coordinator.CheckForUpdate(view);  // the second check asks, and the answer is Yes
    if (!coordinator.UpdateOnExit()) {
      return 1;
    }
    coordinator.HandOff();  // what the center does as it ends
    return 0;
  }
  coordinator.UpdateUpdater(view, true);
  return coordinator.UpdaterUpdate() ? 1 : 0;
}
