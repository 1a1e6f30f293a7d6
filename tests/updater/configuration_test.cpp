#include <gtest/gtest.h>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/xml_configuration_exception.h"
#include "tests/support/temp_folder.h"
#include "updater/command_line.h"
#include "updater/updater_configuration.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Updater;
using Testing::TempFolder;

TEST(CommandLine, SwitchesAnywhereInAnyCaseWithAllOverAdminOverCenter) {
  // scopes: 0 none, 1 center, 2 admin, 3 both (update), 4 all (check and restart)
  const struct {
    const char* line;
    unsigned check, update, restart;
    bool beta;
  } cases[] = {
      {"CheckOnly:Center", 0, 0, 0, false},  // no slash: not the switch
      {"x/CheckOnly:Centerfoo/UPDATEONLY:ADMIN", 2, 1, 0, false},
      {"/checkonly:center /checkonly:all /updateonly:all /restart:admin /restart:all", 4, 3, 4,
       false},
      {"/updateonly:center /updateonly:admin /restart:center /isbeta:TRUE", 0, 1, 2, true},
      {"/isbeta:false /restart:center", 0, 0, 2,
       false},  // parsed; without an update nothing restarts
  };
  for (const auto& c : cases) {
    const UpdateScopes scopes = ParseCommandLine(c.line);
    EXPECT_EQ((std::vector<unsigned>{scopes.check, scopes.update, scopes.restart}),
              (std::vector<unsigned>{c.check, c.update, c.restart}))
        << c.line;
    EXPECT_EQ(scopes.beta, c.beta) << c.line;
  }
}

class ConfigurationFile : public testing::Test {
 protected:
  std::string Write(const std::string& body) {
    Testing::WriteTextFile(path_, "<?xml version=\"1.0\"?><updater xmlns=\"" +
                                      std::string(kConfigurationNamespace) + "\">" + body +
                                      "</updater>");
    return path_;
  }
  std::string LoadError(const std::string& body) { return LoadErrorOf(Write(body)); }
  static std::string LoadErrorOf(const std::string& path) {
    try {
      UpdaterConfiguration configuration;
      configuration.Load(path);
    } catch (const Config::CXmlConfigurationException& error) {
      return error.ToString();
    }
    return "loaded";
  }
  static std::string Report(const std::string& message, const std::string& code) {
    return "## Exception Information ##\nType: CXmlConfigurationException\nMessage: " + message +
           "\nErrorCode: 0x" + code + "\n";
  }

  TempFolder folder_;
  std::string path_ = folder_.File("Tollwick.xml");
};

constexpr const char* kPackage =
    "<package softwareID=\"Kestrane\" softwareUpdateType=\"application\" processName=\"Kestrane\" "
    "warningBeforeKill=\"TRUE\" timeToWaitBeforeKillMs=\"5000\" timeToWaitAfterKillMs=\"x\" "
    "restart=\"yes\"/>";

TEST_F(ConfigurationFile, ReadsEveryListWithTheConversionRules) {
  UpdaterConfiguration configuration;
  configuration.Load(Write(
      "<servers><server url=\"http://a/\" timeoutMs=\"12abc\"/><server url=\"http://b/\" "
      "timeoutMs=\"\"/>"
      "<server url=\"http://c/\" timeoutMs=\"4294967297\"/><server url=\"http://d/\" "
      "timeoutMs=\"-2147483649\"/></servers>"
      "<packages>" +
      std::string(kPackage) +
      "<package softwareID=\"Orlimar\" softwareUpdateType=\"Application\" processName=\"Orlimar\" "
      "warningBeforeKill=\"yes\" timeToWaitBeforeKillMs=\"0\" timeToWaitAfterKillMs=\"0\" "
      "restart=\"true\"/>"
      "</packages><settings><setting name=\"TimeoutMS\" value=\"1000\"/><setting "
      "name=\"timeoutms\" "
      "value=\"5\"/><setting name=\"TimeoutMS\" value=\"2500\"/><setting name=\"HeapSizeMB\" "
      "value=\"lots\"/>"
      "</settings>"));
  ASSERT_EQ(configuration.Servers().size(), 4u);
  EXPECT_EQ(configuration.Servers()[0].timeoutMs, 12);
  EXPECT_EQ(configuration.Servers()[1].timeoutMs, 0);
  // Beyond the 32-bit range a number saturates, as _wtol's does: it never wraps to a small one.
  EXPECT_EQ(configuration.Servers()[2].timeoutMs, INT32_MAX);
  EXPECT_EQ(configuration.Servers()[3].timeoutMs, INT32_MIN);
  ASSERT_EQ(configuration.Packages().size(), 2u);
  const PackageEntry& center = configuration.Packages()[0];
  EXPECT_EQ(center.softwareUpdateType, 1u);  // "application" is not "Application"
  EXPECT_TRUE(center.warnBeforeKill);        // TRUE
  EXPECT_FALSE(center.restart);              // yes
  EXPECT_EQ(center.waitBeforeKillMs, 5000);
  EXPECT_EQ(center.waitAfterKillMs, 0);
  EXPECT_EQ(configuration.Packages()[1].softwareUpdateType, 0u);
  EXPECT_FALSE(configuration.Packages()[1].warnBeforeKill);
  // The later of two equal names wins; names are case-sensitive; a non-number reads 0.
  EXPECT_EQ(configuration.TimeoutMs(), 2500);
  EXPECT_EQ(configuration.HeapSizeMb(), 0);
}

TEST_F(ConfigurationFile, EmptySectionsLoadAndMissingSettingsKeepTheDefaults) {
  UpdaterConfiguration configuration;
  configuration.Load(Write("<servers/><packages/><settings/>"));
  EXPECT_TRUE(configuration.Servers().empty());
  EXPECT_TRUE(configuration.Packages().empty());
  EXPECT_EQ(configuration.HeapSizeMb(), 120);
  EXPECT_EQ(configuration.TimeoutMs(), 300000);
}

TEST_F(ConfigurationFile, EveryFaultHasItsReportText) {
  EXPECT_EQ(LoadError("<packages/><settings/>"),
            Report("Invalid Selection of |servers| IXMLDOMNode->selectSingleNode.", "1"));
  EXPECT_EQ(LoadError("<servers/><settings/>"),
            Report("Invalid Selection of |packages| IXMLDOMNode->selectSingleNode.", "1"));
  EXPECT_EQ(LoadError("<servers><server timeoutMs=\"1\"/></servers><packages/><settings/>"),
            Report("Failed to getNamedItem on |server, url|.", "1"));
  EXPECT_EQ(LoadError("<servers/><packages><package softwareID=\"x\"/></packages><settings/>"),
            Report("Failed to getNamedItem on |package, softwareUpdateType|.", "1"));
  EXPECT_EQ(LoadError("<servers/><packages/><settings><setting name=\"x\"/></settings>"),
            Report("Failed to getNamedItem on |setting, value|.", "1"));
  // Elements in another namespace are not the configuration's.
  EXPECT_EQ(LoadError("<servers xmlns=\"urn:other\"/><packages/><settings/>"),
            Report("Invalid Selection of |servers| IXMLDOMNode->selectSingleNode.", "1"));

  Testing::WriteTextFile(path_, "<updater><servers>");
  UpdaterConfiguration configuration;
  EXPECT_EQ(Testing::ThrownMessage<Config::CXmlConfigurationException>(
                [&] { configuration.Load(path_); }),
            "Error loading xml configuration file '" + path_ + "'.");
  EXPECT_EQ(LoadErrorOf(folder_.File("absent.xml")),
            Report("File '" + folder_.File("absent.xml") + "' is Invalid.", "0"));
}

TEST(ShippedConfiguration, LoadsWithTheThreePackages) {
  UpdaterConfiguration configuration;
  configuration.Load(QUORVANE_SHIPPED_TOLLWICK_XML);
  ASSERT_EQ(configuration.Packages().size(), 3u);
  EXPECT_EQ(configuration.Packages()[2].softwareId, "Tollwick");
  EXPECT_EQ(configuration.Servers().at(0).url,
            "https://services.quorvane.example/Services/DefaultService.svc");
}

}  // namespace
