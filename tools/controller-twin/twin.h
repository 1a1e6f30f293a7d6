// Controllers of a description file as real kernel devices: each a HID device through uhid that
// answers the center's reports from the simulated controllers' model, and, after the reset
// command (or its reset button, for a crashed one), its serial bootloader as a USB gadget.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "center/device/simulated_backend.h"
#include "common/platform/clock.h"
#include "common/platform/unique_fd.h"
#include "tools/controller-twin/uhid_device.h"

namespace Quorvane::Twin {

struct TwinOptions {
  // Output reports on the interrupt pipe are taken too, not only SET_REPORT requests.
  bool acceptInterruptOutput = false;
  // Output reports are taken only on the interrupt pipe: every SET_REPORT request fails.
  bool interruptOutputOnly = false;
  // Serial numbers of controllers that start crashed: in their bootloader, once their reset
  // button is pressed (SIGUSR1).
  std::set<std::string> crashed;
  // Faults of a broken firmware: input reports answered short, or under another report id.
  std::size_t shortReportBytes = 0;
  bool wrongReportId = false;
  // The bootloader goes away (its gadget unbound) after it took this many bytes of flash: a cable
  // pulled mid-flash. The controller is left crashed.
  std::size_t vanishAfterBytes = 0;
  // The report descriptor has a nested collection with a usage of its own.
  bool nestedCollection = false;
  // The reset command is never acknowledged (its SET_REPORT fails): no bootloader comes.
  bool refuseReset = false;
  // Every GET_REPORT is answered this many milliseconds late.
  int lateReportsMs = 0;
  // A controller that took the reset command shows no bootloader (until SIGUSR1 presses its
  // reset button).
  bool noBootloader = false;
  // The bootloader shows up this many milliseconds after the reset command.
  int bootloaderDelayMs = 0;
  // The bootloader leaves at once after answering the exit command, not a moment later.
  bool noExitGrace = false;
};

class ControllerTwin {
 public:
  ControllerTwin(std::vector<Device::SimulatedController> controllers, TwinOptions options);
  ~ControllerTwin();
  // Serves until SIGTERM or SIGINT; 0, or 1 when a device could not be made.
  int Run();

 private:
  void Bring(const std::string& path);
  void StartBootloader(const std::string& path);
  bool Output(const std::string& path, std::span<const std::uint8_t> report, bool setReport);
  std::string SerialOf(const std::string& path) const;

  Platform::SystemClock clock_;
  Device::SimulatedBackend backend_;
  TwinOptions options_;
  std::map<std::string, std::unique_ptr<UhidDevice>> devices_;  // by controller path
  std::vector<std::string> resets_;                             // asked for during an event
  std::vector<std::string> crashedPaths_;
  Platform::UniqueFd wake_;  // a bootloader left
  std::mutex returnedLock_;
  std::vector<std::string> returned_;
  std::atomic<bool> stopping_{false};
  bool stalled_ = false;  // SIGUSR2 switches: no GET_REPORT is answered
  std::vector<std::thread> bootloaders_;
  std::mutex gadgetLock_;  // one gadget at a time: the lab has one device controller
};

}  // namespace Quorvane::Twin
