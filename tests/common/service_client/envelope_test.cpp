// Requests compared byte for byte with texts written here by hand, and answers written by hand
// for every result kind: the stand-in service shares the envelope code, so these keep a fault on
// both sides from hiding.
#include <gtest/gtest.h>

#include "common/service_client/soap_envelope.h"
#include "tools/local-service/soap_server_envelope.h"

namespace {

using namespace Quorvane::Service;

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
    "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>";
constexpr const char* kTail = "</s:Body></s:Envelope>";

std::string Envelope(const std::string& content) { return kHead + content + kTail; }
// The contract's element `name` around `inner` (empty: an empty element), in an envelope.
std::string Contract(const std::string& name, const std::string& inner = "") {
  const std::string open = "<" + name + " xmlns=\"http://schemas.quorvane.example/2016/IQuorvane\"";
  return Envelope(inner.empty() ? open + "/>" : open + ">" + inner + "</" + name + ">");
}

TEST(RequestEnvelope, ByteForByteWithMarkupEscapedAndArraysInTheArraysNamespace) {
  const struct {
    Operation operation;
    std::vector<ServiceValue> inputs;
    std::string expected;
  } cases[] = {
      {Operation::EnumerateFirmwares,
       {std::string("Quorvane HX Controller (HX)(brake)|QV-HX,hx"), true},
       Contract("EnumerateFirmwares",
                "<id>Quorvane HX Controller (HX)(brake)|QV-HX,hx</id><isBeta>true</isBeta>")},
      {Operation::RegisterUserFeedback,
       {std::string("AbC+/=\r\nx<&>")},
       Contract("RegisterUserFeedback",
                "<userFeedback>AbC+/=&#xD;\nx&lt;&amp;&gt;</userFeedback>")},
      {Operation::GetQuorvaneMessageToUsers,
       {std::string()},
       Contract("GetQuorvaneMessageToUsers", "<token></token>")},
      {Operation::Execute,
       {std::vector<std::string>{"a", ""}},
       Contract("Execute",
                "<payload xmlns:a=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\">"
                "<a:string>a</a:string><a:string></a:string></payload>")},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildRequestEnvelope(c.operation, c.inputs), c.expected);
  const std::vector<ServiceValue> text{std::string()};
  EXPECT_THROW(BuildRequestEnvelope(Operation::Execute, text), std::invalid_argument);
  EXPECT_THROW(BuildRequestEnvelope(Operation::CheckForUpdateEx, text), std::invalid_argument);
}

ResponseStatus Parse(Operation operation, std::string body, ServiceResult& result) {
  return ParseResponseEnvelope(operation, body, result);
}

// Nil, absent and empty results read as empty text and 0, whatever an earlier answer left; other
// prefixes and declarations than ours are read by namespace, not by prefix.
TEST(ResponseEnvelope, TextAndNumberResultsWithNilAbsentAndEmptyAnswers) {
  const std::string nil =
      "<?xml version=\"1.0\"?><soap:Envelope "
      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:x=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Header/><soap:Body>"
      "<q:DownloadFirmwareResponse xmlns:q=\"http://schemas.quorvane.example/2016/IQuorvane\">"
      "<q:DownloadFirmwareResult x:nil=\"true\"/></q:DownloadFirmwareResponse></soap:Body>"
      "</soap:Envelope>";
  const struct {
    Operation operation;
    std::string body, text;
    long long number;
  } cases[] = {
      {Operation::DownloadFirmware,
       Contract("DownloadFirmwareResponse",
                "<DownloadFirmwareResult>QUJD&#xD;\n</DownloadFirmwareResult>"),
       "QUJD\r\n", 0},
      {Operation::DownloadFirmware, nil, "", 0},
      {Operation::DownloadFirmware, Contract("DownloadFirmwareResponse"), "", 0},
      {Operation::RegisterUserFeedback,
       Contract("RegisterUserFeedbackResponse",
                "<RegisterUserFeedbackResult>9000000000</RegisterUserFeedbackResult>"),
       "", 9000000000},
      {Operation::RegisterUserFeedback, Contract("RegisterUserFeedbackResponse"), "", 0},
      // Any of the schema's white space around a number: carriage returns too.
      {Operation::RegisterUserFeedback,
       Contract("RegisterUserFeedbackResponse",
                "<RegisterUserFeedbackResult>&#xD;\t42 &#xD;</RegisterUserFeedbackResult>"),
       "", 42},
      {Operation::RegisterErrorLogEntry, Contract("RegisterErrorLogEntryResponse"), "", 0},
  };
  for (const auto& c : cases) {
    ServiceResult result;
    result.text = "stale";
    result.number = -1;
    ASSERT_EQ(Parse(c.operation, c.body, result), ResponseStatus::Ok) << c.body;
    EXPECT_EQ(result.text, c.text) << c.body;
    EXPECT_EQ(result.number, c.number) << c.body;
  }
}

// Written exactly as a WCF basicHttpBinding service answers: no declaration, the "s:" envelope,
// the arrays and schema-instance namespaces declared on the result element.
constexpr const char* kWcfCheckForUpdateExAnswer =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
    "<CheckForUpdateExResponse xmlns=\"http://schemas.quorvane.example/2016/IQuorvane\">"
    "<CheckForUpdateExResult xmlns:a=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\" "
    "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">"
    "<a:string>&lt;checkForUpdateResponse softwareUpdateType=\"0\" responseType=\"1\" "
    "softwareID=\"Kestrane\"&gt;&lt;version major=\"1\" minor=\"2\" build=\"0\" revision=\"0\"/&gt;"
    "&lt;/checkForUpdateResponse&gt;</a:string>"
    "<a:string i:nil=\"true\"/>"
    "<a:string>QUJD</a:string>"
    "</CheckForUpdateExResult></CheckForUpdateExResponse></s:Body></s:Envelope>";

TEST(ResponseEnvelope, ArrayOfStringAsAWcfServiceWritesIt) {
  ServiceResult result;
  ASSERT_EQ(Parse(Operation::CheckForUpdateEx, kWcfCheckForUpdateExAnswer, result),
            ResponseStatus::Ok);
  ASSERT_EQ(result.strings.size(), 3u);
  EXPECT_EQ(
      result.strings[0],
      "<checkForUpdateResponse softwareUpdateType=\"0\" responseType=\"1\" softwareID=\"Kestrane\">"
      "<version major=\"1\" minor=\"2\" build=\"0\" revision=\"0\"/></checkForUpdateResponse>");
  EXPECT_EQ(result.strings[1], "");
  EXPECT_EQ(result.strings[2], "QUJD");
}

TEST(ResponseEnvelope, ArrayItemsAreReadByNamespaceWhereverTheirPrefixIsDeclared) {
  // The prefixes declared on the envelope, two levels above the items.
  const std::string onTheEnvelope =
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:arr=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Body>"
      "<GetParallelFirmwareResponse xmlns=\"http://schemas.quorvane.example/2016/IQuorvane\">"
      "<GetParallelFirmwareResult><arr:string>7</arr:string><arr:string xsi:nil=\"1\"/>"
      "</GetParallelFirmwareResult></GetParallelFirmwareResponse></soap:Body></soap:Envelope>";
  ServiceResult result;
  ASSERT_EQ(Parse(Operation::GetParallelFirmware, onTheEnvelope, result), ResponseStatus::Ok);
  EXPECT_EQ(result.strings, (std::vector<std::string>{"7", ""}));
}

TEST(ResponseEnvelope, FaultsAndMalformedAnswersLeaveTheResultUntouched) {
  ServiceResult result;
  result.text = "kept";
  EXPECT_EQ(Parse(Operation::ExecuteCRM,
                  Envelope("<s:Fault><faultcode>s:Server</faultcode><faultstring>no</faultstring>"
                           "</s:Fault>"),
                  result),
            ResponseStatus::Fault);
  const std::string wrongNamespace = Envelope(
      "<ExecuteCRMResponse "
      "xmlns=\"urn:other\"><ExecuteCRMResult>x</ExecuteCRMResult></ExecuteCRMResponse>");
  for (const std::string& malformed :
       {std::string("<html>busy</html>"), std::string("<s:Envelope"), wrongNamespace,
        Contract("DownloadFirmwareResponse"),
        Contract("RegisterUserFeedbackResponse",
                 "<RegisterUserFeedbackResult>12x</RegisterUserFeedbackResult>")}) {
    const Operation operation = malformed.find("RegisterUserFeedback") != std::string::npos
                                    ? Operation::RegisterUserFeedback
                                    : Operation::ExecuteCRM;
    EXPECT_EQ(Parse(operation, malformed, result), ResponseStatus::Malformed) << malformed;
  }
  EXPECT_EQ(result.text, "kept");
}

TEST(ServerEnvelopes, RequestsParseBackAndResponsesParseOnTheClientSide) {
  const std::vector<ServiceValue> inputs{std::string("payload <x>\r\n"), true};
  const auto request =
      ParseRequestEnvelope(BuildRequestEnvelope(Operation::CheckForUpdateEx, inputs));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->operation, Operation::CheckForUpdateEx);
  EXPECT_EQ(request->inputs, inputs);

  ServiceResult sent;
  sent.strings = {"a\r\nb", "", "<c>"};
  std::string body = BuildResponseEnvelope(Operation::GetParallelFirmwareEx, sent);
  ServiceResult received;
  ASSERT_EQ(ParseResponseEnvelope(Operation::GetParallelFirmwareEx, body, received),
            ResponseStatus::Ok);
  EXPECT_EQ(received.strings, sent.strings);

  EXPECT_FALSE(ParseRequestEnvelope("<s:Envelope/>"));
  EXPECT_FALSE(ParseRequestEnvelope(Contract("Unknown")));
  // A flag with white space around it, as the schema allows.
  const auto spaced = ParseRequestEnvelope(
      Contract("EnumerateFirmwares", "<id>x</id><isBeta> true&#xD;\n</isBeta>"));
  ASSERT_TRUE(spaced);
  EXPECT_EQ(std::get<bool>(spaced->inputs.at(1)), true);
}

}  // namespace
