#include "center/device/device_discovery.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>

#include "common/diagnostics/error_report.h"

namespace Quorvane::Device {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMaxStringCharacters = 255;
constexpr int kStringAttempts = 2;
constexpr int kSerialAttempts = 5;
constexpr auto kRetryPause = 200ms;

// Cuts a text to the number of characters a device string may have.
std::string Bounded(std::string text) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const bool startsCharacter = (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
    if (startsCharacter && ++characters > kMaxStringCharacters) {
      text.resize(at);
      break;
    }
  }
  return text;
}

template <typename Read>
std::optional<std::string> ReadString(Read read, int attempts, Platform::Clock& clock) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) {
      clock.SleepFor(kRetryPause);
    }
    if (auto text = read()) {
      return Bounded(std::move(*text));
    }
  }
  return std::nullopt;
}

enum class Identification { Identified, TryNextEntry, Denied };

std::string AxisName(std::uint8_t type) {
  switch (type) {
    case kSlotBrake:
      return "Brake";
    case kSlotAccelerator:
      return "Accelerator";
    case kSlotClutch:
      return "Clutch";
    case kSlotHandbrake:
      return "Handbrake";
    default:
      return "?";
  }
}

std::string ButtonName(std::uint8_t type) {
  switch (type) {
    case 1:
      return "Sequential Gearbox";
    case 2:
      return "Sequential Gearbox Down";
    case 3:
      return "Sequential Gearbox Up";
    default:
      return "?";
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char character) {
    return static_cast<char>(std::tolower(character));
  });
  return text;
}

void LogPermissionHintOnce(DiscoveryServices& services, const std::string& path) {
  if (services.permissionHintLogged) {
    return;
  }
  services.permissionHintLogged = true;
  Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                  Diagnostics::kEventWarning, PermissionHint(path));
}

Identification Identify(DiscoveryServices& services, const std::string& path,
                        const SupportedDevice& entry, QuorvaneDevice& device) {
  std::error_code error;
  const auto connection = services.backend.Open(path, error);
  if (!connection) {
    if (error == std::errc::permission_denied) {
      LogPermissionHintOnce(services, path);
      return Identification::Denied;
    }
    return Identification::TryNextEntry;
  }
  device.vendorId = entry.vendorId;
  device.productId = entry.productId;
  device.devicePath = path;
  if (const auto range = connection->ValueRange()) {
    device.logicalMinimum = range->minimum;
    device.logicalMaximum = range->maximum;
  }
  auto manufacturer =
      ReadString([&] { return connection->Manufacturer(); }, kStringAttempts, services.clock);
  auto product = manufacturer ? ReadString([&] { return connection->Product(); }, kStringAttempts,
                                           services.clock)
                              : std::nullopt;
  if (!manufacturer || !product) {
    return Identification::TryNextEntry;
  }
  // A device that never gives its serial number is dropped after a few tries, so that it
  // cannot stall enumeration.
  auto serial =
      ReadString([&] { return connection->SerialNumber(); }, kSerialAttempts, services.clock);
  if (!serial) {
    return Identification::TryNextEntry;
  }
  device.manufacturer = std::move(*manufacturer);
  device.product = std::move(*product);
  device.serialNumber = std::move(*serial);

  InputReportBuffer identity{};
  InputReportBuffer buttonMap{};
  identity[0] = kIdentityReportId;
  buttonMap[0] = kButtonMapReportId;
  if (!connection->GetInputReport(kIdentityReportId, identity) ||
      !connection->GetInputReport(kButtonMapReportId, buttonMap)) {
    // It is there, it only does not answer (stalled, or busy): listed as such, never as absent.
    device.answering = false;
    return Identification::Identified;
  }
  std::copy_n(identity.begin(), device.identityReport.size(), device.identityReport.begin());
  std::copy_n(buttonMap.begin(), device.buttonMapReport.size(), device.buttonMapReport.begin());
  device.identified = true;
  device.kind = ControllerKindOf(device.identityReport);
  device.channelIndex = 0;
  return Identification::Identified;
}

// Equal rows (path and strings) that also report the same identity and buttons: a controller
// that comes back from a firmware change keeps its path and strings but not its firmware.
bool SameController(const QuorvaneDevice& left, const QuorvaneDevice& right) {
  return left == right && left.identityReport == right.identityReport &&
         left.buttonMapReport == right.buttonMapReport;
}

void RestartLookups(std::vector<QuorvaneDevice>& rows, const FirmwareLookupStarter& start) {
  for (auto& row : rows) {
    if (!row.IsButtonRow()) {
      RestartFirmwareLookup(row, start);
    }
  }
}

}  // namespace

std::string PermissionHint(const std::string& path) {
  return "A Quorvane controller is connected (" + path +
         ") but may not be opened: permission denied. Install the Quorvane udev rules "
         "(60-quorvane.rules), reload them with 'udevadm control --reload-rules && udevadm "
         "trigger' and "
         "plug the controller in again. The rules give the controller to the user of the local "
         "desktop "
         "session: from a remote or text login, use the desktop at the computer.";
}

const std::array<SupportedDevice, 2>& SupportedDeviceTable() {
  static constexpr std::array<SupportedDevice, 2> kTable{{
      {kVendorId, 0x0036, "Quorvane Simulation Techonology", "Quorvane Brake Controller"},
      {kVendorId, 0x0037, "Quorvane Simulation Techonology", "Quorvane Brake Controller"},
  }};
  return kTable;
}

std::string MatchText(const SupportedDevice& entry) {
  char text[32];
  std::snprintf(text, sizeof text, "#vid_%04x&pid_%04x", entry.vendorId, entry.productId);
  return text;
}

bool PathMatches(std::string_view path, const SupportedDevice& entry) {
  return Lower(std::string(path)).find(MatchText(entry)) != std::string::npos;
}

bool DeviceMatches(const HidDeviceInfo& device, const SupportedDevice& entry) {
  if (device.vendorId && device.productId) {
    return *device.vendorId == entry.vendorId && *device.productId == entry.productId;
  }
  return PathMatches(device.path, entry);
}

std::optional<std::uint32_t> FirstButtonChannel(ControllerKind kind) {
  const auto& traits = TraitsOf(kind);
  if (!traits.showsButtons) {
    return std::nullopt;
  }
  return traits.axisChannels;
}

void NameRow(QuorvaneDevice& row) {
  row.hasButtonsSlot = false;
  for (std::uint16_t slot = 0; slot < kAxisSlots; ++slot) {
    if (AxisSlotType(row.identityReport, slot + 1u) == kSlotButtons) {
      row.buttonsSlot = slot;
      row.hasButtonsSlot = true;
      break;
    }
  }
  std::uint32_t namedAxes = 0;
  for (std::uint32_t slot = 1; slot <= kAxisSlots; ++slot) {
    const std::uint8_t type = AxisSlotType(row.identityReport, slot);
    if (type == kSlotUnused || type == kSlotButtons) {
      break;
    }
    const std::uint32_t channel = slot - 1;
    row.channelNames[channel] = AxisName(type);
    if (row.channelIndex == channel) {
      row.channelName = row.channelNames[channel];
      row.namedChannelIndex = channel;
      row.axisSlotNumber = slot;
      row.isButton = false;
    }
    ++namedAxes;
  }
  // The names table lists the buttons right after the named axes. The firmware identity is
  // built from this table and the service's catalogue is keyed by that text, so the table keeps
  // this layout even where the rows below number their buttons differently.
  std::uint32_t tableIndex = namedAxes;
  for (std::uint32_t slot = 1; slot <= kButtonSlots; ++slot) {
    if (const std::uint8_t type = row.buttonMapReport[slot]; type != 0) {
      row.channelNames[tableIndex++] = ButtonName(type);
    }
  }
  // Button rows, their names, flags and decoding all count from the same first channel as
  // RowsOfController, so every button row is found and no axis row is taken for a button.
  row.buttonChannels.clear();
  const auto firstButton = FirstButtonChannel(row.kind);
  if (!firstButton) {
    return;
  }
  std::uint32_t channel = *firstButton;
  for (std::uint32_t slot = 1; slot <= kButtonSlots; ++slot) {
    const std::uint8_t type = row.buttonMapReport[slot];
    if (type == 0) {
      continue;
    }
    row.buttonChannels.push_back(channel);
    if (row.channelIndex == channel) {
      row.channelName = ButtonName(type);
      row.namedChannelIndex = channel;
      row.buttonSlotNumber = slot;
      row.axisSlotNumber = 0;
      row.isButton = true;
    }
    ++channel;
  }
}

std::vector<QuorvaneDevice> RowsOfController(const QuorvaneDevice& controller) {
  std::vector<std::uint16_t> channels{0, 0};  // the device line, then channel 0
  const ControllerKind kind = controller.kind;
  for (std::uint16_t channel = 1; channel < TraitsOf(kind).axisChannels; ++channel) {
    channels.push_back(channel);
  }
  if (const auto firstButton = FirstButtonChannel(kind)) {
    auto next = static_cast<std::uint16_t>(*firstButton);
    for (std::size_t slot = 1; slot <= kButtonSlots; ++slot) {
      if (controller.buttonMapReport[slot] != 0) {
        channels.push_back(next++);
      }
    }
  }
  std::vector<QuorvaneDevice> rows;
  rows.reserve(channels.size());
  for (const std::uint16_t channel : channels) {
    QuorvaneDevice row(controller);
    row.channelIndex = channel;
    NameRow(row);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string GetFirmwareIdentity(const QuorvaneDevice& row) {
  if (!row.firmwareIdentityOverride.empty()) {
    return row.firmwareIdentityOverride;
  }
  const auto names = [&](std::size_t count) {
    std::string joined;
    for (std::size_t channel = 0; channel < count; ++channel) {
      joined += (channel ? "," : "") + Lower(row.channelNames[channel]);
    }
    return joined;
  };
  const auto& traits = TraitsOf(row.kind);
  // The analog-to-digital converter of the family: the HX amplifier, or one of two ADS chips.
  const std::uint8_t family = Family(row.identityReport);
  const char* converter = family == 'H'   ? ",hx"
                          : family == 'A' ? ",ads-1256"
                          : family == 'B' ? ",ads-1262"
                                          : nullptr;
  if (traits.lookupTitle == nullptr || converter == nullptr) {
    return {};
  }
  return std::string(traits.lookupTitle) + "(" + names(traits.axisChannels) + ")|" +
         FirmwareName(row.identityReport) + converter;
}

void RestartFirmwareLookup(QuorvaneDevice& row, const FirmwareLookupStarter& start) {
  row.Lookup().Clear();
  if (!start) {
    return;
  }
  static std::mutex startLock;
  std::lock_guard lock(startLock);
  if (row.Lookup().running.exchange(true)) {
    return;
  }
  try {
    start(row.SharedLookup(), GetFirmwareIdentity(row));
  } catch (...) {
    row.Lookup().running = false;
    throw;
  }
}

bool RetrieveQuorvaneDevices(DeviceList& list, DiscoveryServices& services) {
  // Identifying the controllers may wait on one that does not answer: only the enumeration lock
  // is held meanwhile, and the list lock only while the list is compared and replaced.
  std::lock_guard enumerationLock(list.enumerationLock);

  const Enumeration enumeration = services.backend.Enumerate();
  if (enumeration.classFailure) {
    std::lock_guard listLock(list.listLock);
    const std::string text = Diagnostics::FormatErrorReport(
        "SetupDiGetClassDevs executed with return value of INVALID_HANDLE_VALUE",
        enumeration.classFailure->value());
    Diagnostics::ShowErrorBox(services.notifier, text);
    Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, text);
    // An emptied list is a replaced list: the view must forget rows whose devices are gone.
    if (list.rows.empty()) {
      return false;
    }
    if (services.beforeReplace) {
      services.beforeReplace(list.rows);
    }
    list.rows.clear();
    return true;
  }

  std::vector<QuorvaneDevice> rows;
  std::vector<std::string> denied;
  // The HID library lists a device once per usage pair of its report descriptor, every time with
  // the same path: one controller per path.
  std::set<std::string> paths;
  for (const auto& device : enumeration.devices) {
    if (!paths.insert(device.path).second) {
      continue;
    }
    for (const auto& entry : SupportedDeviceTable()) {
      if (!DeviceMatches(device, entry)) {
        continue;
      }
      QuorvaneDevice controller;
      const Identification result = Identify(services, device.path, entry, controller);
      if (result == Identification::Identified) {
        for (auto& row : RowsOfController(controller)) {
          rows.push_back(std::move(row));
        }
      }
      if (result == Identification::Denied) {
        denied.push_back(device.path);
        break;
      }
      if (result != Identification::TryNextEntry) {
        break;
      }
    }
  }

  if (enumeration.walkFailure) {
    Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, enumeration.walkFailure->message());
    return false;
  }

  std::lock_guard listLock(list.listLock);
  list.deniedPaths = std::move(denied);

  const bool equal = rows.size() == list.rows.size() &&
                     std::equal(rows.begin(), rows.end(), list.rows.begin(), SameController);
  if (equal) {
    RestartLookups(list.rows, services.startLookup);
    return false;
  }
  if (services.beforeReplace) {
    services.beforeReplace(list.rows);
  }
  list.rows = std::move(rows);
  RestartLookups(list.rows, services.startLookup);
  return true;
}

}  // namespace Quorvane::Device
