#include "tests/fault_injection/save_scenarios.h"

#include <filesystem>
#include <system_error>

#include "center/messages/local_stores.h"
#include "common/diagnostics/event_log.h"
#include "common/platform/atomic_file.h"
#include "common/platform/clock.h"
#include "common/service_client/time_stamp.h"
#include "common/update_install/updates_ready_file.h"
#include "updater/command_queue.h"
#include "updater/updater_context.h"

namespace Quorvane::FaultInjection {
namespace {

constexpr const char* kReadyFolder = "Quorvane/Updater/Kestrane/";

std::vector<Service::MessageItem> Messages(int count) {
  std::vector<Service::MessageItem> items;
  for (int pk = 1; pk <= count; ++pk) {
    Service::MessageItem item;
    item.pk = pk;
    item.title = "Message " + std::to_string(pk);
    item.body = std::string(3000, static_cast<char>('a' + pk));  // more than one write's worth
    item.created = Service::ParseTimeStamp("2026-12-0" + std::to_string(pk) + "T10:00:00");
    items.push_back(item);
  }
  return items;
}

Update::UpdateReadyRecord ReadyRecord(std::uint16_t major, const std::string& folder) {
  return {"Kestrane", {major, 0, 0, 0}, {{"%s --quiet", "setup.run", folder + "/" + kReadyFolder}}};
}

// Saves of a store report through the event log and their result.
template <typename Store, typename Items>
bool SaveStoreWith(Store& store, Items items, bool (*save)(Store&, Diagnostics::EventLog&)) {
  Diagnostics::RecordingEventLog log;
  store.items = std::move(items);
  const bool saved = save(store, log);
  return !saved || !log.Entries().empty();
}

void RemoveCenterTemporaries(const std::string& folder) {
  Center::RemoveStaleCenterTemporaries(folder + "/");
}

SaveScenario MessageStoreFile() {
  return {"messages",
          Center::kMessagesFileName,
          [](const std::string& folder) {
            Center::MessageStore store;
            store.path = folder + "/" + Center::kMessagesFileName;
            SaveStoreWith(store, Messages(2), Center::SaveMessageStore);
          },
          [](const std::string& folder) {
            Center::MessageStore store;
            store.path = folder + "/" + Center::kMessagesFileName;
            return SaveStoreWith(store, Messages(3), Center::SaveMessageStore);
          },
          RemoveCenterTemporaries,
          nullptr};
}

SaveScenario UserIdFile() {
  return {"user-id",
          Center::kUserIdFileName,
          [](const std::string&) {},
          [](const std::string& folder) {
            Diagnostics::RecordingEventLog log;
            const std::string id = Center::GetOrCreateUserId(folder + "/", "", log);
            return id == Center::kNoUserId || !log.Entries().empty();
          },
          RemoveCenterTemporaries,
          [](const std::string& content) {
            std::string reason;
            return Center::UserIdFromFileBytes(content, reason).has_value();
          }};
}

SaveScenario ReadyFile() {
  const auto write = [](const std::string& folder, std::uint16_t major) {
    Diagnostics::RecordingEventLog log;
    std::filesystem::create_directories(folder + "/" + kReadyFolder);
    const bool written = Update::WriteUpdatesReadyFile(
        ReadyRecord(major, folder), folder + "/" + kReadyFolder + Update::kUpdatesReadyFileName,
        log);
    return !written || !log.Entries().empty();
  };
  return {"updates-ready",
          std::string(kReadyFolder) + Update::kUpdatesReadyFileName,
          [write](const std::string& folder) { write(folder, 1); },
          [write](const std::string& folder) { return write(folder, 2); },
          [](const std::string& folder) {
            Diagnostics::RecordingEventLog log;
            Platform::ManualClock clock;
            Updater::NoProgressView progress;
            Platform::KnownFolders folders;
            folders.localAppData = folder;
            const Updater::UpdaterContext context{folders, log, clock, progress};
            context.RemoveStaleDownloadTemporaries();
          },
          nullptr};
}

SaveScenario QueueFile() {
  const auto enqueue = [](const std::string& folder, const std::string& line) {
    Diagnostics::RecordingEventLog log;
    try {
      return !Updater::CommandQueue(folder).Enqueue(line, log) || !log.Entries().empty();
    } catch (const std::system_error&) {
      return true;
    }
  };
  return {"updater-queue", "Tollwick.queue",
          [enqueue](const std::string& folder) { enqueue(folder, "/checkonly:center"); },
          [enqueue](const std::string& folder) {
            return enqueue(folder, "/updateonly:center /restart:center");
          },
          // The next start queues its own line, clearing what a killed write left on the way.
          [enqueue](const std::string& folder) { enqueue(folder, "/checkonly:all"); }, nullptr};
}

}  // namespace

std::vector<SaveScenario> AllSaveScenarios() {
  // One save per way of writing a file: the center's stores (all through one routine), the
  // identifier (linked into place, never replaced), the updater's ready file, and its queue.
  return {MessageStoreFile(), UserIdFile(), ReadyFile(), QueueFile()};
}

const SaveScenario* FindSaveScenario(const std::string& name) {
  static const std::vector<SaveScenario> scenarios = AllSaveScenarios();
  for (const auto& scenario : scenarios) {
    if (scenario.name == name) return &scenario;
  }
  return nullptr;
}

}  // namespace Quorvane::FaultInjection
