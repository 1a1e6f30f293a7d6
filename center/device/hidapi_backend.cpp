#include "center/device/hidapi_backend.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <cwchar>
#include <type_traits>
#include <vector>

#include "center/device/report_descriptor.h"
#include "common/platform/unique_fd.h"
#include "common/platform/utf16.h"

namespace Quorvane::Device {

bool IsWholeInputReport(std::uint8_t reportId, const InputReportBuffer& buffer, int got) {
  const std::size_t needed = reportId == kIdentityReportId    ? kIdentityReportSize
                             : reportId == kButtonMapReportId ? kButtonMapReportSize
                                                              : 1 + kBlockSize;
  return got >= static_cast<int>(needed) && buffer[0] == reportId;
}

namespace {

class HidrawConnection final : public HidConnection {
 public:
  HidrawConnection(hid_device* device, Platform::UniqueFd node)
      : device_(device), node_(std::move(node)) {}
  ~HidrawConnection() override { hid_close(device_); }
  HidrawConnection(const HidrawConnection&) = delete;
  HidrawConnection& operator=(const HidrawConnection&) = delete;

  std::optional<std::string> Manufacturer() override { return String(hid_get_manufacturer_string); }
  std::optional<std::string> Product() override { return String(hid_get_product_string); }
  std::optional<std::string> SerialNumber() override {
    return String(hid_get_serial_number_string);
  }

  std::optional<LogicalRange> ValueRange() override {
    int size = 0;
    if (ioctl(node_.Get(), HIDIOCGRDESCSIZE, &size) < 0 || size <= 0) {
      return std::nullopt;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(std::min<int>(size, HID_MAX_DESCRIPTOR_SIZE));
    if (ioctl(node_.Get(), HIDIOCGRDESC, &descriptor) < 0) {
      return std::nullopt;
    }
    return FirstInputValueRange({descriptor.value, descriptor.size});
  }

  bool GetInputReport(std::uint8_t reportId, InputReportBuffer& buffer) override {
    buffer[0] = reportId;
    const int got = hid_get_input_report(device_, buffer.data(), buffer.size());
    return IsWholeInputReport(reportId, buffer, got);
  }

  bool SendOutputReport(std::span<const std::uint8_t> report) override {
    std::vector<std::uint8_t> copy(report.begin(), report.end());
#ifdef HIDIOCSOUTPUT
    // An output report. The kernel sends it as the SET_REPORT request on the control pipe that
    // the controller expects only when the device has no interrupt OUT endpoint or carries the
    // quirk that forbids output reports there: the package sets that quirk for the controllers
    // through the USB HID driver's options (/lib/modprobe.d/quorvane.conf).
    const int sent = ioctl(node_.Get(), HIDIOCSOUTPUT(copy.size()), copy.data());
    if (sent >= 0) {
      return true;
    }
    if (errno != EINVAL && errno != ENOTTY) {
      return false;
    }
#endif
    // Kernels without that request: an output report through the interrupt pipe.
    return hid_write(device_, copy.data(), copy.size()) == static_cast<int>(copy.size());
  }

 private:
  using StringRead = int (*)(hid_device*, wchar_t*, size_t);
  std::optional<std::string> String(StringRead read) {
    return ReadWideString(
        [&](wchar_t* text, std::size_t length) { return read(device_, text, length); });
  }

  hid_device* device_;
  Platform::UniqueFd node_;
};

}  // namespace

std::optional<std::string> ReadWideString(const std::function<int(wchar_t*, std::size_t)>& read) {
  // Counted in characters: a wide character is four bytes here, so a buffer sized in bytes
  // would cut strings at a quarter of their length.
  std::array<wchar_t, kMaxHidStringCharacters + 1> text{};
  if (read(text.data(), text.size()) != 0) {
    return std::nullopt;
  }
  std::string out;
  for (std::size_t at = 0; at < kMaxHidStringCharacters && text[at] != L'\0'; ++at) {
    // A negative (invalid) character becomes a code beyond Unicode and is left out.
    const auto code =
        static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[at]));
    if (code <= 0x10FFFF) {
      Platform::AppendUtf8(out, code);
    }
  }
  return out;
}

HidapiBackend::HidapiBackend() : initialised_(hid_init() == 0) {}

HidapiBackend::~HidapiBackend() {
  if (initialised_) {
    hid_exit();
  }
}

Enumeration HidapiBackend::Enumerate() {
  Enumeration enumeration;
  if (!initialised_) {
    enumeration.classFailure = std::make_error_code(std::errc::no_such_device);
    return enumeration;
  }
  hid_device_info* devices = hid_enumerate(kVendorId, 0);
  for (const hid_device_info* device = devices; device != nullptr; device = device->next) {
    enumeration.devices.push_back({device->path, device->vendor_id, device->product_id});
  }
  hid_free_enumeration(devices);
  return enumeration;
}

std::unique_ptr<HidConnection> HidapiBackend::Open(const std::string& path,
                                                   std::error_code& error) {
  // The node is opened here too: for the ioctls, and for the reason when it cannot be opened
  // (most often permissions, when the udev rules are not installed).
  Platform::UniqueFd node(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
  if (!node.Valid()) {
    error = {errno, std::generic_category()};
    return nullptr;
  }
  hid_device* device = initialised_ ? hid_open_path(path.c_str()) : nullptr;
  if (device == nullptr) {
    error = std::make_error_code(std::errc::io_error);
    return nullptr;
  }
  error.clear();
  return std::make_unique<HidrawConnection>(device, std::move(node));
}

}  // namespace Quorvane::Device
