#include "tests/fault_injection/save_scenarios.h"

#include <filesystem>
#include <system_error>

#include "center/app/center_settings.h"
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

std::string SettingsText(bool topMost) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<settings>\n  <WebServicesUrl>http://127.0.0.1/</WebServicesUrl>\n"
                     "  <EnableBetaSoftware>false</EnableBetaSoftware>\n  <TopMostWindow>") +
         (topMost ? "true" : "false") + "</TopMostWindow>\n  <SecureCrashRecovery>false</SecureCrashRecovery>\n</settings>\n";
}

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

std::vector<Service::FeedbackItem> Feedback(int count) {
  std::vector<Service::FeedbackItem> items;
  for (const auto& message : Messages(count)) {
    Service::FeedbackItem item;
    item.pk = message.pk;
    item.title = message.title;
    item.body = message.body;
    item.created = message.created;
    item.responded = message.created;
    item.responseBody = "Thank you";
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

void RemoveCenterTemporaries(const std::string& folder) { Center::RemoveStaleCenterTemporaries(folder + "/"); }

SaveScenario Settings() {
  return {"settings", Center::kSettingsFileName,
          [](const std::string& folder) {
            std::filesystem::create_directories(folder + "/program");
            Platform::WriteFileAtomically(folder + "/program/" + Center::kSettingsFileName, SettingsText(false));
            Platform::WriteFileAtomically(folder + "/" + Center::kSettingsFileName, SettingsText(false));
          },
          [](const std::string& folder) {
            Diagnostics::RecordingEventLog log;
            Center::CenterSettings settings;
            settings.StartUp(folder + "/program/" + Center::kSettingsFileName,
                             folder + "/" + Center::kSettingsFileName, &log);
            settings.SetTopMostWindow(true);
            return !settings.Save() || !log.Entries().empty();
          },
          RemoveCenterTemporaries, nullptr};
}

SaveScenario MessageStoreFile() {
  return {"messages", Center::kMessagesFileName,
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
          RemoveCenterTemporaries, nullptr};
}

SaveScenario FeedbackStoreFile() {
  const auto save = [](const std::string& folder, int count) {
    Center::FeedbackStore store;
    store.path = folder + "/" + Center::kFeedbackFileName;
    store.userId = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
    return SaveStoreWith(store, Feedback(count), Center::SaveFeedbackStore);
  };
  return {"feedback", Center::kFeedbackFileName, [save](const std::string& folder) { save(folder, 1); },
          [save](const std::string& folder) { return save(folder, 2); }, RemoveCenterTemporaries, nullptr};
}

SaveScenario UserIdFile() {
  return {"user-id", Center::kUserIdFileName, [](const std::string&) {},
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
        ReadyRecord(major, folder), folder + "/" + kReadyFolder + Update::kUpdatesReadyFileName, log);
    return !written || !log.Entries().empty();
  };
  return {"updates-ready", std::string(kReadyFolder) + Update::kUpdatesReadyFileName,
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
          [enqueue](const std::string& folder) { return enqueue(folder, "/updateonly:center /restart:center"); },
          // The next start queues its own line, clearing what a killed write left on the way.
          [enqueue](const std::string& folder) { enqueue(folder, "/checkonly:all"); },
          nullptr};
}

}  // namespace

std::vector<SaveScenario> AllSaveScenarios() {
  return {Settings(), MessageStoreFile(), FeedbackStoreFile(), UserIdFile(), ReadyFile(), QueueFile()};
}

const SaveScenario* FindSaveScenario(const std::string& name) {
  static const std::vector<SaveScenario> scenarios = AllSaveScenarios();
  for (const auto& scenario : scenarios) {
    if (scenario.name == name) return &scenario;
  }
  return nullptr;
}

}  // namespace Quorvane::FaultInjection
