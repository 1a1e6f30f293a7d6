// What the center needs of the HID layer: enumerate the maker's devices, open one, read its
// strings, logical range and input reports, send output reports. The real backend uses hidraw;
// the simulated one answers like a controller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "center/device/controller_reports.h"

namespace Quorvane::Device {

inline constexpr std::uint16_t kVendorId = 0x03EB;

struct HidDeviceInfo {
  std::string path;
  // Ids as the backend reports them; a backend whose paths carry the ids may leave them out.
  std::optional<std::uint16_t> vendorId;
  std::optional<std::uint16_t> productId;
};

struct Enumeration {
  std::vector<HidDeviceInfo> devices;
  // The device class could not be enumerated at all: nothing is listed.
  std::optional<std::error_code> classFailure;
  // The walk ended with an unexpected error: what was listed is incomplete.
  std::optional<std::error_code> walkFailure;
};

struct LogicalRange {
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
};

using InputReportBuffer = std::array<std::uint8_t, kInputReportBufferSize>;

// One open device; closed when destroyed.
class HidConnection {
 public:
  virtual ~HidConnection() = default;
  virtual std::optional<std::string> Manufacturer() = 0;
  virtual std::optional<std::string> Product() = 0;
  virtual std::optional<std::string> SerialNumber() = 0;
  // The logical range of the device's first input value item.
  virtual std::optional<LogicalRange> ValueRange() = 0;
  // Fills the buffer (byte 0 set to the report id by the caller's request) with the report.
  virtual bool GetInputReport(std::uint8_t reportId, InputReportBuffer& buffer) = 0;
  // Sends an output report whose first byte is its id.
  virtual bool SendOutputReport(std::span<const std::uint8_t> report) = 0;
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual Enumeration Enumerate() = 0;
  // Empty (and the error set) when the device cannot be opened.
  virtual std::unique_ptr<HidConnection> Open(const std::string& path, std::error_code& error) = 0;
};

}  // namespace Quorvane::Device
