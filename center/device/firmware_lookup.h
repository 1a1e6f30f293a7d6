// A row's available firmwares and its lookup state, shared between the row and the lookup task
// that fills it. The task holds this object, not the row, so a list replaced while a lookup
// runs never leaves the task writing into a row that is gone; the window reads a copy under the
// lock while the task appends.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "common/service_client/records.h"

namespace Quorvane::Device {

class FirmwareLookup {
 public:
  FirmwareLookup() = default;
  // A copy takes the firmwares, never the running state.
  explicit FirmwareLookup(std::vector<Service::FirmwareEntry> available)
      : available_(std::move(available)) {}

  std::vector<Service::FirmwareEntry> Available() const {
    std::lock_guard lock(mutex_);
    return available_;
  }
  void Append(const Service::FirmwareEntry& entry) {
    std::lock_guard lock(mutex_);
    available_.push_back(entry);
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    available_.clear();
  }

  // Set when a lookup is started for the row, cleared by the lookup on every way out.
  std::atomic<bool> running{false};

 private:
  mutable std::mutex mutex_;
  std::vector<Service::FirmwareEntry> available_;
};

}  // namespace Quorvane::Device
