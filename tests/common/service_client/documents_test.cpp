#include <gtest/gtest.h>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/payload_documents.h"

namespace {

using namespace Quorvane::Service;
using Halvex::Exceptions::HvxArgumentException;

FirmwareEntry QuadEntry() {
  FirmwareEntry entry;
  entry.id = "qv-quad-3.4";
  entry.name = "QV-Quad";
  entry.friendlyName = "Quad \"Pedal\" & <Firmware>";
  entry.fileName = "qv-quad-3.4.bin";
  entry.extraFileInformation = "v3.4";
  entry.displayName = "never sent";
  entry.versionMajor = 3;
  entry.versionMinor = 4;
  entry.versionBuild = 0;
  entry.versionRevision = 4294967295u;
  return entry;
}

TEST(FirmwareRequestDocument, OneElementWithNineAttributesInOrderAndNoDisplayName) {
  EXPECT_EQ(BuildFirmwareDownloadRequest(QuadEntry()),
            "<firmware id=\"qv-quad-3.4\" name=\"QV-Quad\" "
            "friendlyName=\"Quad &quot;Pedal&quot; &amp; &lt;Firmware>\" "
            "fileName=\"qv-quad-3.4.bin\" versionMajor=\"3\" versionMinor=\"4\" versionBuild=\"0\" "
            "versionRevision=\"4294967295\" extraFileInformation=\"v3.4\"/>");
}

TEST(FirmwareListDocument, FirmwareChildrenInOrderOthersIgnored) {
  const auto entries = ParseFirmwareList(
      "<list><firmware id=\"a\" friendlyName=\"A\" extraFileInformation=\"beta\" "
      "versionMajor=\"2\" "
      "versionMinor=\"x\" versionBuild=\" 7\" versionRevision=\"-1\"/><other id=\"skip\"/>"
      "<firmware id=\"b\" friendlyName=\"B\"/></list>");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, "a");
  EXPECT_EQ(entries[0].displayName, "A beta");
  EXPECT_EQ(entries[0].versionMajor, 2u);
  EXPECT_EQ(entries[0].versionMinor, 0u);  // not a number
  EXPECT_EQ(entries[0].versionBuild, 7u);
  EXPECT_EQ(entries[0].versionRevision, 0u);  // a negative version is no version
  // Without versions and extra information: 0.0.0.0 and the friendly name with one blank.
  EXPECT_EQ(entries[1].displayName, "B ");
  EXPECT_EQ(entries[1].versionMajor + entries[1].versionMinor + entries[1].versionBuild +
                entries[1].versionRevision,
            0u);
  EXPECT_TRUE(ParseFirmwareList("<firmwares/>").empty());
}

TEST(FirmwareListDocument, RequestDocumentParsesBackToTheSameEntry) {
  FirmwareEntry expected = QuadEntry();
  expected.displayName = expected.friendlyName + " v3.4";
  EXPECT_EQ(ParseFirmwareEntry(BuildFirmwareDownloadRequest(QuadEntry())), expected);
}

TEST(FirmwareListDocument, TextThatDoesNotLoadRaisesWithTheParameterName) {
  for (const char* broken : {"", "<firmwares>", "not xml", "<a></b>"}) {
    try {
      ParseFirmwareList(broken);
      ADD_FAILURE() << "accepted " << broken;
    } catch (const HvxArgumentException& error) {
      EXPECT_EQ(error.Message(), "Error loading xml configuration file from param");
      EXPECT_EQ(error.ParameterName(), "files[0]");
    }
  }
}

TEST(ErrorLogDocument, TreeWithTextAndBase64DataItems) {
  ErrorLogRecord record;
  record.logName = "Kestrane.exe";
  record.textItems = {{"AVRDUDE OUTPUT", "line 1\nline <2>"}, {"CUpdateFirmwareDlg", ""}};
  record.dataItems = {{"image", std::string("\x00\x01", 2)}};
  EXPECT_EQ(BuildErrorLogDocument(record),
            "<errorLog><errorLogItems><errorLogItem token=\"\" logName=\"Kestrane.exe\" "
            "createdTimeStamp=\"\"><textItems><textItem name=\"AVRDUDE OUTPUT\"><text>line 1\n"
            "line &lt;2&gt;</text></textItem><textItem name=\"CUpdateFirmwareDlg\"><text></text>"
            "</textItem></textItems><dataItems><dataItem name=\"image\"><data>AAE=\r\n</data>"
            "</dataItem></dataItems></errorLogItem></errorLogItems></errorLog>");
  EXPECT_EQ(BuildErrorLogDocument(ErrorLogRecord{}),
            "<errorLog><errorLogItems><errorLogItem token=\"\" logName=\"\" createdTimeStamp=\"\">"
            "<textItems/><dataItems/></errorLogItem></errorLogItems></errorLog>");
}

TEST(FeedbackRequestDocument, BodyIsBase64AndResponseBodyIsPlain) {
  FeedbackItem item;
  item.pk = 5000000000;
  item.title = "Clutch <bite>";
  item.body = "Hi";
  item.created = ParseTimeStamp("2026-12-06T19:00:01");
  item.responseBody = "plain reply";
  EXPECT_EQ(BuildFeedbackRequest(item, "{12345678-9ABC-cdef-0123-456789ABCDEF}"),
            "<items userId=\"{12345678-9ABC-cdef-0123-456789ABCDEF}\"><item><pk>5000000000</pk>"
            "<title>Clutch &lt;bite&gt;</title><body>SABpAA==\r\n</body>"
            "<createdTimeStamp>2026-12-06T19:00:01</createdTimeStamp>"
            "<respondedTimeStamp>1900-01-00T00:00:00</respondedTimeStamp>"
            "<responseBody>plain reply</responseBody></item></items>");
}

TEST(ServiceAnswers, FeedbackResponseNeedsBothFields) {
  const auto fields = ReadFeedbackResponse(
      "<x><item><responseBody>SABpAA==</responseBody><respondedTimeStamp>2026-12-01T10:00:00"
      "</respondedTimeStamp></item></x>");
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->responseBody, "SABpAA==");
  EXPECT_EQ(fields->respondedTimeStamp, "2026-12-01T10:00:00");
  EXPECT_FALSE(ReadFeedbackResponse("<x><item><responseBody>SABpAA==</responseBody></item></x>"));
  EXPECT_FALSE(ReadFeedbackResponse("<x><item>"));
}

TEST(ServiceAnswers, MessageListSkipsItemsWithMissingFields) {
  const auto entries = ReadMessageList(
      "<items><item><pk>9000000000</pk><responseBody>SABpAA==</responseBody><title>T</title>"
      "<createdTimeStamp>2026-11-02T09:00:00</createdTimeStamp></item>"
      "<item><pk>2</pk><title>no "
      "body</title><createdTimeStamp>x</createdTimeStamp></item></items>");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].pk, 9000000000);
  EXPECT_EQ((*entries)[0].title, "T");
  EXPECT_FALSE(ReadMessageList("<items>"));
}

}  // namespace
