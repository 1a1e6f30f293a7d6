// The firmware lookup of a row: asks the service which firmwares fit the row's firmware
// identity and appends them to the row's list.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "center/device/firmware_lookup.h"
#include "center/service_calls/center_service.h"
#include "common/diagnostics/event_log.h"
#include "common/diagnostics/user_notifier.h"

namespace Quorvane::Center {

struct LookupServices {
  const CenterService& service;
  std::function<bool()> betaSoftware;  // the EnableBetaSoftware setting at the time of the call
  Diagnostics::EventLog& eventLog;
  Diagnostics::UserNotifier& notifier;
  // Called when firmwares were appended (the ribbon's galleries refresh, Update Firmware enables).
  std::function<void()> firmwaresFound;
};

// Runs one lookup and clears lookup.running on every way out. A failure of the call or an empty
// answer ends it quietly; a bad answer is shown and logged as
// "RetriveFirmwareParallelUpdateThread executed with thrown exception".
void RetriveFirmwareParallelUpdateThread(Device::FirmwareLookup& lookup,
                                         const std::string& firmwareIdentity,
                                         const LookupServices& services);

}  // namespace Quorvane::Center
