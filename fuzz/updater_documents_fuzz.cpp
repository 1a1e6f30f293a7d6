// The updater's inputs from outside: its configuration, updates-ready files and the items of the
// service's update answer (split at NUL bytes, handed over in pieces of seven bytes). Each is read
// or refused with its exception, and a ready file survives being written and read again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/xml_configuration_exception.h"
#include "common/update_install/updates_ready_file.h"
#include "updater/incoming_download.h"
#include "updater/update_answer.h"
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
  // Files are checked for their names and counted, never written.
  struct Names final : Updater::UpdateFileWriter {
    void Begin(const Updater::FileDescriptor& file) override {
      Updater::IsSafeDownloadName(file.fileName);
      lastWasPartial = false;
    }
    void Write(Updater::FilePiece& piece) override {
      if (lastWasPartial)
        std::abort();  // only the last piece of a file may be short of a whole one
      lastWasPartial = piece.Size() != Updater::FilePiece::kBytes;
      written += piece.Size();
    }
    void End() override {}
    std::size_t written = 0;
    bool lastWasPartial = false;
  } names;
  Updater::UpdateAnswerSink answer(64 * 1024, names);
  bool reading = true;
  for (std::size_t index = 0; index < strings.size() && reading; ++index) {
    reading = answer.BeginItem(index);
    for (std::size_t at = 0; at < strings[index].size() && reading; at += 7) {
      reading = answer.ItemText(std::string_view(strings[index]).substr(at, 7));
    }
    reading = reading && answer.EndItem();
  }
  try {
    answer.Finish();
  } catch (const Halvex::Exceptions::HvxException&) {
  }
  return 0;
}
