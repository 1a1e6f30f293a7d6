#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>

#include <chrono>
#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "common/service/access_token.h"
#include "common/service/base64.h"
#include "common/service/field_encoding.h"
#include "common/service/payload_documents.h"
#include "common/service/scramble.h"
#include "common/service/service_call.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Service;
using Quorvane::Testing::LocalServiceProcess;
using Quorvane::Testing::TempFolder;
using Clock = std::chrono::steady_clock;

constexpr const char* kQuadIdentity =
    "Quorvane Quad Controller (Quad)(brake,accelerator,clutch,handbrake)|QV-Quad,ads-1262";

class ServiceCallTest : public testing::Test {
 protected:
  ServiceCallTest() { Quorvane::Testing::CopySampleServiceData(data_.Path()); }

  bool Call(Operation operation, std::vector<ServiceValue> inputs, ServiceResult& result,
            CallSettings settings = {}) {
    return ServiceCall(service_.Endpoint(), settings, operation, inputs, result);
  }

  TempFolder data_;
  LocalServiceProcess service_{data_.Path()};
};

TEST_F(ServiceCallTest, EnumerateAndDownloadFirmwareFromTheCatalogue) {
  ServiceResult list;
  ASSERT_TRUE(Call(Operation::EnumerateFirmwares, {std::string(kQuadIdentity), false}, list));
  const auto entries = ParseFirmwareList(DecodeServiceText(list.text));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].id, "qv-quad-3.4");
  EXPECT_EQ(entries[0].versionMinor, 4u);

  ServiceResult image;
  ASSERT_TRUE(Call(Operation::DownloadFirmware, {BuildFirmwareDownloadRequest(entries[0])}, image));
  EXPECT_EQ(DecodeServiceBytes(image.text),
            Quorvane::Testing::ReadTextFile(data_.File("firmware/qv-quad-3.4.bin")));

  // Beta entries only when asked for; an unknown identity gets nothing at all.
  const std::string single = "Quorvane Single Controller (Single)(brake)|QV-Single,ads-1256";
  ASSERT_TRUE(Call(Operation::EnumerateFirmwares, {single, false}, list));
  EXPECT_EQ(ParseFirmwareList(DecodeServiceText(list.text)).size(), 1u);
  ASSERT_TRUE(Call(Operation::EnumerateFirmwares, {single, true}, list));
  EXPECT_EQ(ParseFirmwareList(DecodeServiceText(list.text)).size(), 2u);
  ASSERT_TRUE(Call(Operation::EnumerateFirmwares, {std::string("unknown"), true}, list));
  EXPECT_EQ(list.text, "");
}

TEST_F(ServiceCallTest, FeedbackGetsIncreasingNumbersAndTheOperatorsReply) {
  FeedbackItem item;
  item.title = "Clutch";
  item.body = "Bite point drifts";
  ServiceResult first;
  ServiceResult second;
  const std::string request = EncodeServiceText(BuildFeedbackRequest(item, "{user}"));
  ASSERT_TRUE(Call(Operation::RegisterUserFeedback, {request}, first));
  ASSERT_TRUE(Call(Operation::RegisterUserFeedback, {request}, second));
  EXPECT_GT(first.number, 0);
  EXPECT_EQ(second.number, first.number + 1);

  item.pk = first.number;
  const std::string asked = EncodeServiceText(BuildFeedbackRequest(item, "{user}"));
  ServiceResult reply;
  ASSERT_TRUE(Call(Operation::GetUserFeedbackResponse, {asked}, reply));
  EXPECT_EQ(reply.text, "");  // no reply yet

  std::filesystem::create_directories(data_.File("feedback/replies"));
  Quorvane::Testing::WriteTextFile(
      data_.File("feedback/replies/" + std::to_string(first.number) + ".xml"),
      "<reply respondedTimeStamp=\"2026-12-06T10:00:00\">Fixed in 3.4</reply>");
  ASSERT_TRUE(Call(Operation::GetUserFeedbackResponse, {asked}, reply));
  const auto fields = ReadFeedbackResponse(DecodeServiceText(reply.text));
  ASSERT_TRUE(fields);
  EXPECT_EQ(Base64DecodeText(fields->responseBody), "Fixed in 3.4");
  EXPECT_EQ(fields->respondedTimeStamp, "2026-12-06T10:00:00");
}

TEST_F(ServiceCallTest, MessagesNeedTheEncodedTokenAndErrorLogsAreStored) {
  ServiceResult messages;
  ASSERT_TRUE(Call(Operation::GetQuorvaneMessageToUsers, {EncodeServiceText(kAccessToken)}, messages));
  const auto entries = ReadMessageList(DecodeServiceText(messages.text));
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 2u);
  EXPECT_EQ((*entries)[1].title, "Quad firmware 3.4 released");
  EXPECT_FALSE(Call(Operation::GetQuorvaneMessageToUsers, {std::string(kAccessToken)}, messages));

  ErrorLogRecord record;
  record.logName = "Kestrane.exe";
  record.textItems = {{"AVRDUDE OUTPUT", "avrdude: done.\n:1"}};
  ServiceResult none;
  ASSERT_TRUE(Call(Operation::RegisterErrorLogEntry, {EncodeServiceText(BuildErrorLogDocument(record))},
                   none));
  EXPECT_EQ(Quorvane::Testing::ReadTextFile(data_.File("errorlogs/1.xml")), BuildErrorLogDocument(record));
}

TEST_F(ServiceCallTest, EveryFailureReturnsFalseQuicklyAndLeavesTheOutputAlone) {
  const std::vector<ServiceValue> payload{std::string("x")};
  struct Case {
    const char* behaviour;
  };
  for (const char* behaviour : {"ExecuteCRM=fault", "ExecuteCRM=fault200", "ExecuteCRM=status:404",
                                "ExecuteCRM=status:503", "ExecuteCRM=drop"}) {
    service_.Behave(behaviour);
    ServiceResult result;
    result.text = "untouched";
    const auto start = Clock::now();
    EXPECT_FALSE(Call(Operation::ExecuteCRM, payload, result)) << behaviour;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << behaviour;
    EXPECT_EQ(result.text, "untouched") << behaviour;
  }

  // Past the time-out: the call gives up at its limit, not at the answer.
  service_.Behave("ExecuteCRM=slow:3000");
  ServiceResult result;
  const auto start = Clock::now();
  EXPECT_FALSE(Call(Operation::ExecuteCRM, payload, result, {1048576, std::chrono::milliseconds(300)}));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));

  // An answer larger than the heap is refused.
  service_.Behave("ExecuteCRM=normal");
  const std::vector<ServiceValue> large{std::string(200000, 'x')};
  EXPECT_TRUE(Call(Operation::ExecuteCRM, large, result));
  result.text = "untouched";
  EXPECT_FALSE(Call(Operation::ExecuteCRM, large, result, {100000, std::chrono::seconds(10)}));
  EXPECT_EQ(result.text, "untouched");
}

TEST_F(ServiceCallTest, NilAndEmptyResultsReadAsEmptyText) {
  for (const char* behaviour : {"DownloadFirmware=nil", "DownloadFirmware=empty"}) {
    service_.Behave(behaviour);
    ServiceResult result;
    result.text = "stale";
    EXPECT_TRUE(Call(Operation::DownloadFirmware, {std::string("<firmware/>")}, result));
    EXPECT_EQ(result.text, "");
  }
}

TEST(ServiceCallEndpoints, RefusedPortWrongPathAndOverlongEndpointFail) {
  // A port nobody listens on: bind one, learn its number, close it.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  close(probe);
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/Services/DefaultService.svc";

  ServiceResult result;
  const std::vector<ServiceValue> payload{std::string("x")};
  const auto start = Clock::now();
  EXPECT_FALSE(ServiceCall(refused, {}, Operation::ExecuteCRM, payload, result));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));

  TempFolder data;
  LocalServiceProcess service(data.Path());
  const std::string wrongPath = "http://127.0.0.1:" + std::to_string(service.Port()) + "/missing";
  EXPECT_FALSE(ServiceCall(wrongPath, {}, Operation::ExecuteCRM, payload, result));
  std::string overlong = service.Endpoint() + "?";
  overlong.resize(kMaxEndpointLength, 'x');
  EXPECT_FALSE(ServiceCall(overlong, {}, Operation::ExecuteCRM, payload, result));
  overlong.resize(kMaxEndpointLength - 1);
  EXPECT_TRUE(ServiceCall(overlong, {}, Operation::ExecuteCRM, payload, result));
  EXPECT_FALSE(ServiceCall("ftp://127.0.0.1/x", {}, Operation::ExecuteCRM, payload, result));
}

TEST(ServiceCallThreads, ConcurrentCallsShareNothing) {
  TempFolder data;
  Quorvane::Testing::CopySampleServiceData(data.Path());
  LocalServiceProcess service(data.Path());
  std::vector<std::thread> threads;
  std::atomic<int> correct{0};
  for (int thread = 0; thread < 8; ++thread) {
    threads.emplace_back([&, thread] {
      for (int call = 0; call < 10; ++call) {
        const std::string text = "thread " + std::to_string(thread) + " call " + std::to_string(call);
        ServiceResult result;
        const std::vector<ServiceValue> payload{text};
        if (ServiceCall(service.Endpoint(), {}, Operation::ExecuteCRM, payload, result) &&
            result.text == text) {
          ++correct;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(correct, 80);
}

}  // namespace
