// The updater's inputs from outside: its configuration, updates-ready files and the service's
// update answer (strings split at NUL bytes). Each is read or refused with its exception, and a
// ready file survives being written and read again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/xml_configuration_exception.h"
#include "common/update/updates_ready_file.h"
#include "updater/update_check.h"
#include "updater/updater_configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    Updater::UpdaterConfiguration configuration;
    configuration.LoadText(text, "fuzz.xml");
    configuration.HeapSizeMb();
  } catch (const Config::CXmlConfigurationException&) {
  }
  try {
    // A ready file read and written again reads the same.
    const Update::UpdateReadyRecord record = Update::ParseUpdatesReadyText(text);
    if (!(Update::ParseUpdatesReadyText(Update::UpdatesReadyText(record)) == record)) {
      std::abort();
    }
  } catch (const Halvex::Exceptions::HvxException&) {
  }
  std::vector<std::string> strings;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at == text.size() || text[at] == '\0') {
      strings.emplace_back(text.substr(start, at - start));
      start = at + 1;
    }
  }
  try {
    for (const auto& file : Updater::ParseUpdateResponse(strings).files) {
      Updater::IsSafeDownloadName(file.fileName);
    }
  } catch (const Halvex::Exceptions::HvxException&) {
  }
  return 0;
}
