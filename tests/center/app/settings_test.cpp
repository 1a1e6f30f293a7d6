#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "center/app/center_settings.h"
#include "common/diagnostics/event_log.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using Center::CenterSettings;
using Testing::FilesStartingWith;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

std::string SettingsFile(const std::string& beta, const std::string& extra = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- the user's settings -->\n<settings>\n"
         "  <WebServicesUrl>http://user/</WebServicesUrl>\n  <EnableBetaSoftware>" +
         beta +
         "</EnableBetaSoftware>\n  <TopMostWindow>false</TopMostWindow>\n"
         "  <SecureCrashRecovery>false</SecureCrashRecovery>\n" +
         extra + "</settings>\n";
}

// Only "false", in any case, reads false.
TEST(Settings, UserFileBooleansAreTrueUnlessFalseInAnyCase) {
  Testing::TempFolder folder;
  for (const char* text : {"false", "FaLsE", "true", "TRUE", "yes", "", "0", " false"}) {
    WriteTextFile(folder.File("user.xml"), SettingsFile(text));
    CenterSettings settings;
    settings.Load(folder.File("user.xml"));
    EXPECT_EQ(settings.Values().enableBetaSoftware,
              std::string(text) != "false" && std::string(text) != "FaLsE")
        << text;
    EXPECT_EQ(settings.Values().webServicesUrl, "http://user/");
  }
}

TEST(Settings, MissingBooleanIsAppendedFalseAndSavedToTheCurrentPath) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("program.xml"),
                "<settings><WebServicesUrl>http://program/</WebServicesUrl>"
                "<TopMostWindow>true</TopMostWindow></settings>");
  WriteTextFile(folder.File("user.xml"),
                "<settings><EnableBetaSoftware>true</EnableBetaSoftware></settings>");
  CenterSettings settings;
  settings.StartUp(folder.File("program.xml"), folder.File("user.xml"));
  // The user's file has no WebServicesUrl: the program file's value stays.
  EXPECT_EQ(settings.Values().webServicesUrl, "http://program/");
  EXPECT_TRUE(settings.Values().enableBetaSoftware);
  EXPECT_FALSE(settings.Values().topMostWindow);  // missing in the user's file: false
  EXPECT_EQ(
      ReadTextFile(folder.File("user.xml")),
      "<settings><EnableBetaSoftware>true</EnableBetaSoftware><TopMostWindow>false</TopMostWindow>"
      "<SecureCrashRecovery>false</SecureCrashRecovery></settings>");
}

// A save changes one element's text and nothing else of the file: declarations, comments, unknown
// elements, line ends, entities and what follows the root stay; the program's file is not touched.
TEST(Settings, SavingChangesOnlyElementTexts) {
  const std::string crlf =
      "<?xml version=\"1.0\"?>\r\n<settings>\r\n  "
      "<WebServicesUrl>http://host/?a=1&amp;b=2</WebServicesUrl>\r\n"
      "  <EnableBetaSoftware>false</EnableBetaSoftware>\r\n  "
      "<TopMostWindow>false</TopMostWindow>\r\n"
      "  <SecureCrashRecovery>false</SecureCrashRecovery>\r\n  <Note>line one\r\nline "
      "two</Note>\r\n"
      "</settings>\r\n<!-- written by the installer -->\r\n<?review later?>\r\n";
  for (const std::string& original :
       {SettingsFile("false", "  <Extra kind=\"kept\">unknown to us</Extra>\n"), crlf}) {
    Testing::TempFolder folder;
    WriteTextFile(folder.File("program.xml"), original);
    WriteTextFile(folder.File("user.xml"), original);
    CenterSettings settings;
    settings.StartUp(folder.File("program.xml"), folder.File("user.xml"));
    settings.SetTopMostWindow(true);
    settings.SetSecureCrashRecovery(true);
    settings.Save();
    std::string expected = original;
    expected.replace(expected.find("<TopMostWindow>false"), 20, "<TopMostWindow>true");
    expected.replace(expected.find("<SecureCrashRecovery>false"), 26, "<SecureCrashRecovery>true");
    EXPECT_EQ(ReadTextFile(folder.File("user.xml")), expected);
    EXPECT_EQ(ReadTextFile(folder.File("program.xml")), original);
  }
  Testing::TempFolder folder;
  WriteTextFile(folder.File("user.xml"), crlf);
  CenterSettings settings;
  settings.Load(folder.File("user.xml"));
  EXPECT_EQ(settings.Values().webServicesUrl, "http://host/?a=1&b=2");
}

// A file in UTF-16 (with its byte-order mark and declaration) is saved as UTF-8 with a
// declaration, which every reader can tell, and reads back the same.
TEST(Settings, AUtf16FileIsSavedAsUtf8WithADeclaration) {
  Testing::TempFolder folder;
  std::string utf16 = "\xFF\xFE";
  for (const char16_t unit :
       std::u16string(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<settings><WebServicesUrl>"
                      u"http://h\u00f4te/</WebServicesUrl><EnableBetaSoftware>true"
                      u"</EnableBetaSoftware><TopMostWindow>false</TopMostWindow>"
                      u"<SecureCrashRecovery>false</SecureCrashRecovery></settings>")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  WriteTextFile(folder.File("user.xml"), utf16);
  WriteTextFile(folder.File("program.xml"), SettingsFile("false"));
  CenterSettings settings;
  settings.StartUp(folder.File("program.xml"), folder.File("user.xml"));
  settings.SetTopMostWindow(true);
  settings.Save();
  const std::string saved = ReadTextFile(folder.File("user.xml"));
  EXPECT_EQ(saved.rfind("<?xml version=\"1.0\"?>", 0), 0u) << saved;
  EXPECT_NE(saved.find("<WebServicesUrl>http://h\u00f4te/</WebServicesUrl>"), std::string::npos)
      << saved;
  EXPECT_NE(saved.find("<TopMostWindow>true</TopMostWindow>"), std::string::npos) << saved;
  CenterSettings again;
  again.Load(folder.File("user.xml"));
  EXPECT_EQ(again.Values().webServicesUrl, "http://h\u00f4te/");
  EXPECT_TRUE(again.Values().topMostWindow);
}

TEST(Settings, WithoutAUserFileTheProgramFileIsCopiedWithItsFolders) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("Kestrane.xml"), SettingsFile("false"));
  const std::string user = folder.File("data/Quorvane/Kestrane/Kestrane.xml");
  CenterSettings settings;
  settings.StartUp(folder.File("Kestrane.xml"), user);
  EXPECT_EQ(ReadTextFile(user), SettingsFile("false"));
  EXPECT_EQ(settings.CurrentPath(), user);
  settings.SetEnableBetaSoftware(true);
  settings.Save();
  EXPECT_NE(ReadTextFile(user).find("<EnableBetaSoftware>true</EnableBetaSoftware>"),
            std::string::npos);
}

TEST(Settings, MissingAndBrokenFilesChangeNothing) {
  Testing::TempFolder folder;
  CenterSettings settings;
  settings.SetTopMostWindow(true);
  settings.Load(folder.File("absent.xml"));
  WriteTextFile(folder.File("broken.xml"), "<settings><TopMostWindow>false");
  settings.Load(folder.File("broken.xml"));
  EXPECT_TRUE(settings.Values().topMostWindow);
  settings.Save(folder.File("absent.xml"));
  EXPECT_FALSE(std::filesystem::exists(folder.File("absent.xml")));
}

std::vector<std::string> Warnings(const Diagnostics::RecordingEventLog& log) {
  std::vector<std::string> texts;
  for (const auto& entry : log.Entries()) {
    EXPECT_EQ(entry.type, Diagnostics::kEventWarning);
    texts.push_back(entry.text);
  }
  return texts;
}

// A damaged user's file is kept beside the new one, never lost and never left to block saves.
TEST(Settings, ADamagedUserFileIsKeptAsideAndTheProgramFileTakesItsPlace) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("program.xml"), SettingsFile("false"));
  WriteTextFile(folder.File("user.xml"), "<settings><TopMostWindow>true</TopMost");
  Diagnostics::RecordingEventLog log;
  CenterSettings settings;
  settings.StartUp(folder.File("program.xml"), folder.File("user.xml"), &log);
  const auto kept = FilesStartingWith(folder.Path(), "user.xml.damaged-");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadTextFile(folder.File(kept[0])), "<settings><TopMostWindow>true</TopMost");
  EXPECT_EQ(ReadTextFile(folder.File("user.xml")), SettingsFile("false"));
  const auto warnings = Warnings(log);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("kept as " + folder.File(kept[0])), std::string::npos) << warnings[0];

  settings.SetTopMostWindow(true);
  EXPECT_TRUE(settings.Save());
  EXPECT_NE(ReadTextFile(folder.File("user.xml")).find("<TopMostWindow>true</TopMostWindow>"),
            std::string::npos);

  // Damaged again while the center runs: the next save keeps it too, and still saves.
  WriteTextFile(folder.File("user.xml"), "not xml at all");
  settings.SetEnableBetaSoftware(true);
  EXPECT_TRUE(settings.Save());
  EXPECT_EQ(FilesStartingWith(folder.Path(), "user.xml.damaged-").size(), 2u);
  const std::string saved = ReadTextFile(folder.File("user.xml"));
  EXPECT_NE(saved.find("<EnableBetaSoftware>true</EnableBetaSoftware>"), std::string::npos)
      << saved;
  EXPECT_NE(saved.find("<TopMostWindow>true</TopMostWindow>"), std::string::npos) << saved;
}

TEST(Settings, AFailedSaveIsAWarningWithTheSystemsReasonAndTheNextSaveWritesEverything) {
  Testing::TempFolder folder;
  WriteTextFile(folder.File("user.xml"), SettingsFile("false"));
  Diagnostics::RecordingEventLog log;
  CenterSettings settings;
  settings.StartUp(folder.File("absent.xml"), folder.File("user.xml"), &log);
  settings.SetTopMostWindow(true);
  {
    Testing::FileSizeLimit fullDisk;
    EXPECT_FALSE(settings.Save());
  }
  EXPECT_EQ(ReadTextFile(folder.File("user.xml")), SettingsFile("false"));
  EXPECT_EQ(Warnings(log),
            std::vector<std::string>{"The settings could not be saved to " +
                                     folder.File("user.xml") + " (File too large)."});
  settings.SetSecureCrashRecovery(true);
  EXPECT_TRUE(settings.Save());
  const std::string saved = ReadTextFile(folder.File("user.xml"));
  EXPECT_NE(saved.find("<TopMostWindow>true</TopMostWindow>"), std::string::npos);
  EXPECT_NE(saved.find("<SecureCrashRecovery>true</SecureCrashRecovery>"), std::string::npos);
  EXPECT_TRUE(FilesStartingWith(folder.Path(), ".user.xml.").empty());  // no temporary left behind
}

}  // namespace
