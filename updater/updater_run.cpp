#include "updater/updater_run.h"

#include <chrono>
#include <exception>
#include <optional>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/xml_configuration_exception.h"
#include "updater/command_line.h"
#include "updater/install_and_restart.h"
#include "updater/update_check.h"
#include "updater/updater_configuration.h"

namespace Quorvane::Updater {
namespace {

using namespace std::chrono_literals;

std::string ProgressText(std::uint32_t updateScope) {
  switch (updateScope) {
    case 1:
      return "Updating Orlimar...";
    case 2:
      return "Updating Kestrane...";
    default:
      return "Updating All Installed Quorvane Software...";
  }
}

void LogError(const UpdaterContext& context, const std::string& text) {
  Diagnostics::WriteUpdaterEventLogEntry(context.eventLog, Diagnostics::kEventError, text);
}

// The dialog stays up for the whole update, and is closed on every way out.
class ProgressDuringUpdate {
 public:
  ProgressDuringUpdate(ProgressView& view, const std::string& text) : view_(view) {
    view_.Show(text);
  }
  ProgressDuringUpdate(const ProgressDuringUpdate&) = delete;
  ProgressDuringUpdate& operator=(const ProgressDuringUpdate&) = delete;
  ~ProgressDuringUpdate() { view_.Close(); }

 private:
  ProgressView& view_;
};

int Run(const UpdaterContext& context, const std::string& commandLine) {
  const UpdateScopes scopes = ParseCommandLine(commandLine);
  UpdaterConfiguration configuration;
  configuration.Load(context.ConfigurationPath());
  std::optional<ProgressDuringUpdate> progress;
  if (scopes.update != 0) {
    progress.emplace(context.progress, ProgressText(scopes.update));
  }
  if (scopes.check != 0) {
    CheckAndDownload(context, configuration, scopes);
  }
  if (scopes.update != 0) {
    // The program that asked for the update is closing meanwhile.
    context.clock.SleepFor(1500ms);
    if (!InstallAndRestart(context, configuration, scopes)) {
      return 1;
    }
  }
  return 0;
}

}  // namespace

int RunCommandLine(const UpdaterContext& context, const std::string& commandLine) {
  try {
    return Run(context, commandLine);
  } catch (const Halvex::Exceptions::HvxException& error) {
    LogError(context, error.ToString());
  } catch (const Config::CXmlConfigurationException& error) {
    LogError(context, error.ToString());
  } catch (...) {
    LogError(context, "Unknown Error (...)");
  }
  return 1;
}

}  // namespace Quorvane::Updater
