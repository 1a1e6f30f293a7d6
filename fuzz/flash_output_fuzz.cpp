// What the flashing tools and images bring in: the tool's output read for its exit code, and a
// flash image searched for its info block.
#include <cstdint>
#include <string>

#include "center/firmware/firmware_job.h"
#include "center/firmware/simulated_bootloader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Quorvane::Firmware::FlashExitCode(text);
  Quorvane::Firmware::FindFirmwareInfo(text);
  return 0;
}
