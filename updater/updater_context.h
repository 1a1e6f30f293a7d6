// What one updater run works with: its folders, its event log, its clock and its progress
// dialog, and the folders of the packages it looks after.
#pragma once

#include <optional>
#include <string>

#include "common/diagnostics/event_log.h"
#include "common/platform/clock.h"
#include "common/platform/known_folders.h"

namespace Quorvane::Updater {

// The progress dialog of an update, shown by whoever owns the display, and what the user must be
// told when an update was not installed.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void Show(const std::string& text) = 0;
  virtual void Close() = 0;
  // Returns when the user has seen it.
  virtual void Tell(const std::string& text) = 0;
};

// Without a display: the user reads what they must know on standard error.
class NoProgressView final : public ProgressView {
 public:
  void Show(const std::string&) override {}
  void Close() override {}
  void Tell(const std::string& text) override;
};

struct UpdaterContext {
  Platform::KnownFolders folders;
  Diagnostics::EventLog& eventLog;
  Platform::Clock& clock;
  ProgressView& progress;
  // The lock every installer runs under (in the runtime folder); none: installers run unguarded.
  std::optional<std::string> installingLock = std::nullopt;

  // <root>/Quorvane/Updater/Tollwick.xml
  std::string ConfigurationPath() const;
  // <local data>/Quorvane/Updater/
  std::string DownloadRoot() const;
  // The download root + the software id + "/"
  std::string DownloadFolder(const std::string& softwareId) const;
  // The install folder of "Kestrane", "Orlimar" and "Tollwick"; none for other packages.
  std::optional<std::string> InstallFolder(const std::string& softwareId) const;
  // Removes the temporaries that killed writes of ready files left in the download folders, and
  // the downloads a killed copy left half-way. Only for the copy that processes the queue: no
  // other writes there meanwhile.
  void RemoveStaleDownloadTemporaries() const;
};

}  // namespace Quorvane::Updater
