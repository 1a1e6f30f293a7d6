#include "center/firmware/port_detection.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>

#include "center/device/controller_reports.h"

namespace Quorvane::Firmware {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollPause = 300ms;
constexpr double kResetLimitSeconds = 10.0;
constexpr double kManualLimitSeconds = 20.0;

double SecondsSince(Platform::Clock& clock, Platform::Clock::TimePoint start) {
  return std::chrono::duration<double>(clock.Now() - start).count();
}

// The entries the map lists now, in its order; names that cannot be read are skipped.
std::vector<SerialPortEntry> ReadEntries(SerialPortMap& ports,
                                         const std::vector<std::string>& names) {
  std::vector<SerialPortEntry> entries;
  for (const auto& name : names) {
    if (auto entry = ports.Read(name)) {
      entries.push_back(std::move(*entry));
    }
  }
  return entries;
}

// Steps the bar once for every new whole second.
void StepPerSecond(FirmwareView& view, double elapsed, long& shownSeconds) {
  const auto whole = static_cast<long>(elapsed);
  if (whole > shownSeconds) {
    view.StepProgress();
    shownSeconds = whole;
  }
}

}  // namespace

bool RememberUsbSerialPort(std::vector<SerialPortEntry>& known, const SerialPortEntry& entry) {
  if (std::find(known.begin(), known.end(), entry) != known.end()) {
    return true;
  }
  if (entry.usbSerial) {
    known.push_back(entry);
    return true;
  }
  return false;
}

std::optional<SerialPortEntry> BootloaderPortFilter::Pass(
    const std::vector<SerialPortEntry>& listed) {
  // A port of the snapshot that is gone now counts as new when it shows again: the controller
  // may come back on the name it had.
  std::erase_if(before_, [&](const SerialPortEntry& entry) {
    return std::find(listed.begin(), listed.end(), entry) == listed.end();
  });
  std::optional<SerialPortEntry> candidate;
  for (const auto& entry : listed) {
    if (entry.usbSerial && std::find(before_.begin(), before_.end(), entry) == before_.end()) {
      candidate = entry;
    }
  }
  return candidate;
}

bool IsSerialPortName(const std::string& port) {
  const auto slash = port.rfind('/');
  if (slash == std::string::npos) {
    return false;
  }
  std::string name = port.substr(slash + 1);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char character) {
    return static_cast<char>(std::toupper(character));
  });
  return name.rfind("TTY", 0) == 0;
}

PortSnapshot TakePortSnapshot(SerialPortMap& ports) {
  PortSnapshot snapshot;
  ports.EnumerateNames(snapshot.names);
  for (const auto& entry : ReadEntries(ports, snapshot.names)) {
    RememberUsbSerialPort(snapshot.known, entry);
  }
  return snapshot;
}

std::optional<std::string> WaitForBootloaderPort(const DetectionServices& services,
                                                 PortSnapshot snapshot, Device::HidBackend& backend,
                                                 const std::string& devicePath) {
  const auto start = services.clock.Now();
  {
    // The outcome of the send does not matter: the poll shows whether a bootloader came.
    std::error_code error;
    if (auto connection = backend.Open(devicePath, error)) {
      connection->SendOutputReport(Device::MakeResetReport());
    }
  }
  services.view.SetProgressRange(0, 100);
  services.view.StepProgress();

  BootloaderPortFilter filter(snapshot.known);
  std::optional<SerialPortEntry> candidate;
  bool found = false;
  double elapsed = 0;
  long shownSeconds = 0;
  do {
    services.clock.SleepFor(kPollPause);
    elapsed = SecondsSince(services.clock, start);
    std::vector<std::string> names;
    services.ports.EnumerateNames(names);
    StepPerSecond(services.view, elapsed, shownSeconds);
    if (auto accepted = filter.Pass(ReadEntries(services.ports, names))) {
      candidate = accepted;
      found = true;
    }
  } while (!found && elapsed < kResetLimitSeconds);

  services.view.StepProgress();
  services.view.SetStatus("Step 2 of 2: Updating Firmware...");
  if (!found || elapsed > kResetLimitSeconds || !IsSerialPortName(candidate->port)) {
    services.view.SetStatus(kNoPortDetected);
    return std::nullopt;
  }
  return candidate->port;
}

std::optional<std::string> WaitForManualResetPort(const DetectionServices& services,
                                                  PortSnapshot snapshot) {
  const std::size_t namesBefore = snapshot.names.size();
  const auto start = services.clock.Now();
  double elapsed = 0;
  services.view.SetProgressRange(0, 100);
  services.view.StepProgress();

  BootloaderPortFilter filter(snapshot.known);
  std::optional<SerialPortEntry> candidate;
  std::vector<std::string> names;
  long shownSeconds = 0;
  do {
    const double remaining = kManualLimitSeconds - elapsed;
    services.view.SetStatus("Perform Hardware Reset on Crashed Device NOW!... " +
                            std::to_string(static_cast<long>(std::trunc(remaining))) +
                            (remaining > 1.0 ? " seconds left..." : " second left..."));
    services.clock.SleepFor(kPollPause);
    elapsed = SecondsSince(services.clock, start);
    names.clear();
    services.ports.EnumerateNames(names);
    StepPerSecond(services.view, elapsed, shownSeconds);
    if (auto accepted = filter.Pass(ReadEntries(services.ports, names))) {
      candidate = accepted;
    }
  } while (elapsed < kManualLimitSeconds && names.size() <= namesBefore);

  services.view.StepProgress();
  if (names.empty()) {
    services.view.SetStatus(kNoPortDetected);
    return std::nullopt;
  }
  services.view.SetStatus("Recovering Device... Working...");
  // Running out of time is no failure by itself: the port seen last is used.
  if (!candidate || !IsSerialPortName(candidate->port)) {
    services.view.SetStatus(kNoPortDetected);
    return std::nullopt;
  }
  return candidate->port;
}

}  // namespace Quorvane::Firmware
