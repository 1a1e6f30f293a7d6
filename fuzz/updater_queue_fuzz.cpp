// The updater's queue file from arbitrary bytes: the lines read from it, written and read again,
// are the same lines.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "updater/command_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Updater;
  const auto lines = ParseQueueText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (ParseQueueText(QueueText(lines)) != lines) {
    std::abort();
  }
  return 0;
}
