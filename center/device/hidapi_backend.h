// The real HID backend: hidapi's hidraw backend for enumeration, strings and input reports;
// output reports as a HID SET_REPORT on the hidraw node; the logical range from the node's
// report descriptor.
#pragma once

#include "center/device/hid_backend.h"

namespace Quorvane::Device {

class HidapiBackend final : public HidBackend {
 public:
  HidapiBackend();
  ~HidapiBackend() override;
  HidapiBackend(const HidapiBackend&) = delete;
  HidapiBackend& operator=(const HidapiBackend&) = delete;

  Enumeration Enumerate() override;
  std::unique_ptr<HidConnection> Open(const std::string& path, std::error_code& error) override;

 private:
  bool initialised_;
};

}  // namespace Quorvane::Device
