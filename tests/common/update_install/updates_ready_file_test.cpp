#include "common/update_install/updates_ready_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/diagnostics/hvx_exception.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Update;

TEST(UpdatesReadyFile, TwoFilesRoundTripInOrderWithCommandsUnchanged) {
  Testing::TempFolder folder;
  const std::string path = folder.File(kUpdatesReadyFileName);
  Testing::WriteTextFile(path, "an older record");
  const UpdateReadyRecord record{"Kestrane",
                                 {5, 8, 0, 0},
                                 {{"%s --quiet", "Kestrane-5.8.run", folder.Path() + "/"},
                                  {"", "notes & <readme>.txt", folder.Path() + "/"}}};
  Diagnostics::RecordingEventLog log;
  ASSERT_TRUE(WriteUpdatesReadyFile(record, path, log));
  EXPECT_EQ(Testing::ReadTextFile(path).rfind("<updateReady softwareID=\"Kestrane\" major=\"5\" "
                                              "minor=\"8\" build=\"0\" revision=\"0\"><files>",
                                              0),
            0u);
  EXPECT_EQ(ReadUpdatesReadyFile(path), record);
  EXPECT_TRUE(log.Entries().empty());
}

TEST(UpdatesReadyFile, MissingAttributesReadAsZeroAndEmpty) {
  Testing::TempFolder folder;
  Testing::WriteTextFile(
      folder.File("r.xml"),
      "<anything major=\"70000\" minor=\"x\"><files><file fileName=\"a\"/></files></anything>");
  const UpdateReadyRecord record = ReadUpdatesReadyFile(folder.File("r.xml"));
  EXPECT_EQ(record.softwareId, "");
  EXPECT_EQ(record.version, (Platform::FileVersion{static_cast<std::uint16_t>(70000), 0, 0, 0}));
  ASSERT_EQ(record.files.size(), 1u);
  EXPECT_EQ(record.files[0].installCommand, "");
}

TEST(UpdatesReadyFile, UnreadableFilesAndEmptyPathsRaise) {
  Testing::TempFolder folder;
  Testing::WriteTextFile(folder.File("broken.xml"), "<updateReady");
  using Halvex::Exceptions::HvxArgumentException;
  for (const std::string& path : {folder.File("broken.xml"), folder.File("absent.xml")}) {
    EXPECT_EQ(Testing::ThrownMessage<HvxArgumentException>([&] { ReadUpdatesReadyFile(path); }),
              "Error loading xml configuration file from param")
        << path;
  }
  Diagnostics::RecordingEventLog log;
  EXPECT_EQ(
      Testing::ThrownMessage<HvxArgumentException>([&] { WriteUpdatesReadyFile({}, "", log); }),
      "Parameter was nullptr");
}

TEST(UpdatesReadyFile, AFailedSaveIsAWarningAndLeavesNoFile) {
  Testing::TempFolder folder;
  Diagnostics::RecordingEventLog log;
  EXPECT_FALSE(
      WriteUpdatesReadyFile({"Tollwick", {1, 0, 0, 0}, {}}, folder.File("missing/r.xml"), log));
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].source, "Tollwick");
  EXPECT_EQ(entries[0].type, Diagnostics::kEventWarning);
  EXPECT_EQ(entries[0].text,
            std::string("## Error saving UpdatesReady XML ##\nGetLastError Message: ") +
                std::strerror(ENOENT) + "\nCoLastErrorMessage: \n");
}

}  // namespace
