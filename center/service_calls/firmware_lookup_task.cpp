#include "center/service_calls/firmware_lookup_task.h"

#include "common/diagnostics/error_report.h"
#include "common/service_client/payload_documents.h"

namespace Quorvane::Center {

void RetriveFirmwareParallelUpdateThread(Device::FirmwareLookup& lookup,
                                         const std::string& firmwareIdentity,
                                         const LookupServices& services) {
  try {
    const auto list =
        EnumerateFirmwares(services.service, firmwareIdentity, services.betaSoftware());
    if (list) {
      const auto entries = Service::ParseFirmwareList(*list);
      for (const auto& entry : entries) {
        lookup.Append(entry);
      }
      if (!entries.empty() && services.firmwaresFound) {
        services.firmwaresFound();
      }
    }
  } catch (...) {
    const std::string text = Diagnostics::FormatLastErrorReport(
        "RetriveFirmwareParallelUpdateThread executed with thrown exception");
    Diagnostics::ShowErrorBox(services.notifier, text);
    Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, text);
  }
  lookup.running = false;
}

}  // namespace Quorvane::Center
