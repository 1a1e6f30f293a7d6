// One controller as a kernel HID device, made through /dev/uhid: the kernel gives it a hidraw
// node on the USB bus with the controller's ids, name and serial number, and passes the
// center's report requests to the program that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "center/device/simulated_backend.h"
#include "common/platform/unique_fd.h"

namespace Quorvane::Twin {

// What the device is asked; each returns false to answer with an error.
struct UhidRequests {
  std::function<bool(std::uint8_t reportId, std::vector<std::uint8_t>& report)> getInputReport;
  // `setReport`: true for a SET_REPORT request on the control pipe, false for an output report
  // on the interrupt pipe.
  std::function<bool(std::span<const std::uint8_t> report, bool setReport)> outputReport;
  // While true, GET_REPORT requests get no answer at all (a stalled firmware): the kernel waits
  // out its time-out.
  bool stalled = false;
  // Faults of a broken firmware: answers of this many bytes only (0: whole), or under another id.
  std::size_t shortReportBytes = 0;
  bool wrongReportId = false;
  // A slow firmware: every GET_REPORT is answered this late (within the kernel's time-out).
  int lateMs = 0;
};

// The report descriptor of a controller: its values with the controller's logical range, the
// vendor-defined input reports 0x40 to 0x46 and the output reports 0x10 and 0x30.
// `nested`: the vendor-defined reports sit in a Physical collection of their own with a usage,
// as some firmware describes them (the HID library then lists the device once per usage pair).
std::vector<std::uint8_t> ControllerReportDescriptor(const Device::LogicalRange& range,
                                                     bool nested = false);

class UhidDevice {
 public:
  // Throws std::system_error when /dev/uhid cannot be opened or refuses the device.
  UhidDevice(const Device::SimulatedController& controller, bool nestedCollection);
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;
  // The kernel removes the device when its descriptor closes.
  ~UhidDevice() = default;

  int Descriptor() const { return fd_.Get(); }
  // Reads and answers one event; false when /dev/uhid failed.
  bool HandleEvent(const UhidRequests& requests);

 private:
  Platform::UniqueFd fd_;
};

}  // namespace Quorvane::Twin
