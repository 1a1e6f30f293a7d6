#include "tools/controller-twin/twin.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "center/device/controller_reports.h"
#include "center/firmware/avr109_bootloader.h"
#include "tools/controller-twin/acm_gadget.h"

namespace Quorvane::Twin {
namespace {

// The AVR109 bootloader's USB ids.
constexpr std::uint16_t kBootloaderProductId = 0x204A;

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const auto byte : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%s%02x", text.empty() ? "" : " ", byte);
    text += pair;
  }
  return text;
}

// One line on standard output for the lab to match; the bootloader threads tell too, so a line
// is written whole.
void Tell(const std::string& line) {
  static std::mutex lock;
  std::lock_guard hold(lock);
  std::cout << line << std::endl;
}

}  // namespace

ControllerTwin::ControllerTwin(std::vector<Device::SimulatedController> controllers,
                               TwinOptions options)
    : backend_(std::move(controllers), clock_),
      options_(std::move(options)),
      wake_(eventfd(0, EFD_CLOEXEC)) {
  backend_.SetResetHandler([this](const std::string& path) { resets_.push_back(path); });
}

ControllerTwin::~ControllerTwin() {
  stopping_ = true;
  for (auto& thread : bootloaders_) {
    if (thread.joinable()) thread.join();
  }
}

std::string ControllerTwin::SerialOf(const std::string& path) const {
  return backend_.Describe(path).serial;
}

void ControllerTwin::Bring(const std::string& path) {
  const auto controller = backend_.Describe(path);
  devices_[path] = std::make_unique<UhidDevice>(controller, options_.nestedCollection);
  Tell("hid " + controller.serial + " " + Device::FirmwareName(controller.identity) + " " +
       std::to_string(Device::FirmwareMajor(controller.identity)) + "." +
       std::to_string(Device::FirmwareMinor(controller.identity)));
}

bool ControllerTwin::Output(const std::string& path, std::span<const std::uint8_t> report,
                            bool setReport) {
  const std::string serial = SerialOf(path);
  if (setReport && options_.interruptOutputOnly) {
    Tell("refused " + serial + " set-report " + HexBytes(report));
    return false;
  }
  if (!setReport && !options_.acceptInterruptOutput && !options_.interruptOutputOnly) {
    Tell("refused " + serial + " interrupt " + HexBytes(report));
    return false;
  }
  if (options_.refuseReset && !report.empty() && report[0] == Device::kResetReportId) {
    Tell("refused " + serial + " reset");
    return false;
  }
  Tell("command " + serial + (setReport ? " set-report " : " interrupt ") + HexBytes(report));
  return backend_.OutputReportReceived(path, report);
}

void ControllerTwin::StartBootloader(const std::string& path) {
  const auto controller = backend_.Describe(path);
  bootloaders_.emplace_back([this, path, controller] {
    // A slow bootloader: the controller is on no bus until it shows up.
    for (int waited = 0; waited < options_.bootloaderDelayMs && !stopping_; waited += 50) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    {
      std::lock_guard gadgetLock(gadgetLock_);
      try {
        AcmGadget gadget("quorvane-twin",
                         {Device::kVendorId, kBootloaderProductId, controller.manufacturer,
                          "Bootloader", controller.serial});
        Platform::UniqueFd port(open(gadget.SerialPort().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!port.Valid()) {
          throw std::system_error(errno, std::generic_category(),
                                  "cannot open " + gadget.SerialPort());
        }
        termios raw{};
        tcgetattr(port.Get(), &raw);
        cfmakeraw(&raw);
        tcsetattr(port.Get(), TCSANOW, &raw);
        Tell("bootloader " + controller.serial + " " + gadget.SerialPort());
        Firmware::Avr109Bootloader bootloader(Device::HasScrambledBootloader(controller.identity),
                                              false);
        bootloader.VanishAfterWriting(options_.vanishAfterBytes);
        bootloader.Serve(port.Get(), stopping_);
        if (bootloader.Vanished()) {
          Tell("vanished " + controller.serial);
          return;  // the gadget goes with this scope; the controller stays crashed
        }
        // A real bootloader answers the exit command and runs on for a moment before it starts
        // the firmware: the programmer reads that answer before the port goes. Without that
        // moment the port may go before the programmer read it.
        tcdrain(port.Get());
        if (!options_.noExitGrace) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        backend_.Modify(path,
                        [&](Device::SimulatedController& changed) { bootloader.ApplyTo(changed); });
      } catch (const std::exception& error) {
        Tell("bootloader " + controller.serial + " failed: " + error.what());
      }
    }
    // The firmware starts again.
    backend_.Plug(path);
    std::lock_guard lock(returnedLock_);
    returned_.push_back(path);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wake_.Get(), &one, sizeof one);
  });
}

int ControllerTwin::Run() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  Platform::UniqueFd signalFd(signalfd(-1, &signals, SFD_CLOEXEC));

  for (const auto& info : backend_.Enumerate().devices) {
    const std::string path = info.path;
    if (options_.crashed.count(SerialOf(path))) {
      backend_.Modify(path,
                      [](Device::SimulatedController& controller) { controller.present = false; });
      crashedPaths_.push_back(path);
      Tell("crashed " + SerialOf(path));
      continue;
    }
    try {
      Bring(path);
    } catch (const std::system_error& error) {
      std::cerr << "controller-twin: " << error.what() << "\n";
      return 1;
    }
  }
  Tell("ready");

  for (;;) {
    std::vector<pollfd> descriptors{{signalFd.Get(), POLLIN, 0}, {wake_.Get(), POLLIN, 0}};
    std::vector<std::string> paths;
    for (const auto& [path, device] : devices_) {
      descriptors.push_back({device->Descriptor(), POLLIN, 0});
      paths.push_back(path);
    }
    if (poll(descriptors.data(), descriptors.size(), -1) < 0) {
      continue;
    }
    if (descriptors[0].revents & POLLIN) {
      signalfd_siginfo signal{};
      const bool got = read(signalFd.Get(), &signal, sizeof signal) == sizeof signal;
      if (got && signal.ssi_signo == SIGUSR1) {
        for (const auto& path : std::exchange(crashedPaths_, {})) StartBootloader(path);
      } else if (got && signal.ssi_signo == SIGUSR2) {
        stalled_ = !stalled_;
        Tell(stalled_ ? "stalled" : "answering");
      } else {
        return 0;
      }
    }
    if (descriptors[1].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto got = read(wake_.Get(), &count, sizeof count);
      std::vector<std::string> returned;
      {
        std::lock_guard lock(returnedLock_);
        returned.swap(returned_);
      }
      for (const auto& path : returned) Bring(path);
    }
    for (std::size_t index = 0; index < paths.size(); ++index) {
      const short events = descriptors[index + 2].revents;
      if (events == 0) continue;
      const std::string& path = paths[index];
      const UhidRequests requests{[&](std::uint8_t reportId, std::vector<std::uint8_t>& report) {
                                    Device::InputReportBuffer buffer{};
                                    if (!backend_.InputReport(path, reportId, buffer)) return false;
                                    report.assign(buffer.begin(), buffer.end());
                                    return true;
                                  },
                                  [&](std::span<const std::uint8_t> report, bool setReport) {
                                    return Output(path, report, setReport);
                                  },
                                  stalled_,
                                  options_.shortReportBytes,
                                  options_.wrongReportId,
                                  options_.lateReportsMs};
      if ((events & (POLLERR | POLLHUP | POLLNVAL)) || !devices_.at(path)->HandleEvent(requests)) {
        // A device the kernel no longer serves would wake the loop for ever: it goes.
        Tell("lost " + SerialOf(path));
        devices_.erase(path);
      }
    }
    // A controller that took the reset command leaves the HID devices for its bootloader.
    for (const auto& path : std::exchange(resets_, {})) {
      devices_.erase(path);
      if (options_.noBootloader) {
        // It left its firmware but no bootloader comes: crashed, until its reset button.
        crashedPaths_.push_back(path);
        Tell("crashed " + SerialOf(path));
        continue;
      }
      StartBootloader(path);
    }
  }
}

}  // namespace Quorvane::Twin
