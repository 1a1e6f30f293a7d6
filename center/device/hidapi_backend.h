// The real HID backend: hidapi's hidraw backend for enumeration, strings and input reports;
// output reports as a HID SET_REPORT on the hidraw node; the logical range from the node's
// report descriptor.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "center/device/hid_backend.h"

namespace Quorvane::Device {

// Whether `got` bytes read into the buffer are the whole input report asked for: all the bytes
// the center reads of it, and its own id first. A short report would leave the bytes of an earlier
// one in its blocks, and another report's bytes are not this one's values.
bool IsWholeInputReport(std::uint8_t reportId, const InputReportBuffer& buffer, int got);

// The longest device string read, in characters.
inline constexpr std::size_t kMaxHidStringCharacters = 255;

// Reads a device string through a hidapi-style call (buffer, length in wide characters; 0 on
// success) as UTF-8 of at most kMaxHidStringCharacters characters.
std::optional<std::string> ReadWideString(const std::function<int(wchar_t*, std::size_t)>& read);

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
