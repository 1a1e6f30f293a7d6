// The center's own files from arbitrary bytes: the message and feedback stores, and the
// settings file (loaded from a scratch file, saved back over it).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "center/app/center_settings.h"
#include "center/messages/local_stores.h"
#include "common/platform/atomic_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> skipped;
  Center::MessagesDocument(Center::ParseMessagesDocument(text, skipped));
  Center::FeedbackDocument(Center::ParseFeedbackDocument(text, skipped));

  static const std::string path = "/tmp/quorvane-fuzz-settings-" + std::to_string(getpid()) + ".xml";
  if (!Platform::WriteFileAtomically(path, text)) {
    Center::CenterSettings settings;
    settings.StartUp(path, path);
    settings.SetTopMostWindow(true);
    settings.Save();
  }
  return 0;
}
