// Reads the version note out of arbitrary bytes taken as an ELF image.
#include <cstdint>
#include <cstring>

#include "common/platform/file_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Quorvane::Platform::ByteSource source = [&](std::uint64_t offset, std::size_t count,
                                                    void* out) {
    if (offset > size || size - offset < count) {
      return false;
    }
    std::memcpy(out, data + offset, count);
    return true;
  };
  Quorvane::Platform::ParseFileVersionNote(source);
  return 0;
}
