// Finding the maker's controllers, identifying them, expanding each into its rows and naming
// them, and replacing the center's list when the set of controllers changed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "center/device/device_list.h"
#include "center/device/hid_backend.h"
#include "common/diagnostics/event_log.h"
#include "common/diagnostics/user_notifier.h"
#include "common/platform/clock.h"

namespace Quorvane::Device {

struct SupportedDevice {
  std::uint16_t vendorId;
  std::uint16_t productId;
  std::string_view manufacturer;
  std::string_view product;
};

// The two products the center accepts, tried in this order.
const std::array<SupportedDevice, 2>& SupportedDeviceTable();

// What the user is told of a controller that is there but may not be opened, and what to do.
std::string PermissionHint(const std::string& path);

// "#vid_03eb&pid_0036" for a table entry.
std::string MatchText(const SupportedDevice& entry);
// The path carries the entry's ids, in any letter case.
bool PathMatches(std::string_view path, const SupportedDevice& entry);
// The device is the entry's product: by the ids the backend reports, else by the path.
bool DeviceMatches(const HidDeviceInfo& device, const SupportedDevice& entry);

// The channel index of a controller kind's first button row: right after its axis channels;
// none for kinds that show no buttons.
std::optional<std::uint32_t> FirstButtonChannel(ControllerKind kind);

// Names the row from its controller's identity and button map: channel names, button channel
// set, buttons slot, and the row's own name, button flag and slot numbers.
void NameRow(QuorvaneDevice& row);

// The rows of an identified controller, named, in list order.
std::vector<QuorvaneDevice> RowsOfController(const QuorvaneDevice& controller);

// The text key by which the service is asked for a row's firmware; empty when its model has none.
std::string GetFirmwareIdentity(const QuorvaneDevice& row);

// Starts the firmware lookup of a row: fills `lookup` for the given firmware identity and
// clears lookup->running when it ends. Supplied by the center.
using FirmwareLookupStarter =
    std::function<void(std::shared_ptr<FirmwareLookup> lookup, std::string firmwareIdentity)>;

// Empties the row's firmwares and starts its lookup unless one runs for it already.
void RestartFirmwareLookup(QuorvaneDevice& row, const FirmwareLookupStarter& start);

struct DiscoveryServices {
  HidBackend& backend;
  Platform::Clock& clock;
  Diagnostics::EventLog& eventLog;
  Diagnostics::UserNotifier& notifier;
  FirmwareLookupStarter startLookup;
  // Called under the list lock just before the rows are replaced (the view drops its bars).
  std::function<void(std::vector<QuorvaneDevice>& oldRows)> beforeReplace;
  // Set once the event log was told how to give the user access to the controllers.
  bool permissionHintLogged = false;
};

// Enumerates and identifies the controllers; true when the list was replaced by a different set.
bool RetrieveQuorvaneDevices(DeviceList& list, DiscoveryServices& services);

}  // namespace Quorvane::Device
