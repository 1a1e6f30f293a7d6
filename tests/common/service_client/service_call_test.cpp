#include "common/service_client/service_call.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Service;
using Quorvane::Testing::LocalServiceProcess;
using Quorvane::Testing::TempFolder;
using Clock = std::chrono::steady_clock;

// What the operations answer is the stand-in's (tried through the center's calls); here, how a
// call fails.
class ServiceCallTest : public testing::Test {
 protected:
  bool Call(Operation operation, std::vector<ServiceValue> inputs, ServiceResult& result,
            CallSettings settings = {}) {
    return ServiceCall(service_.Endpoint(), settings, operation, inputs, result);
  }

  TempFolder data_;
  LocalServiceProcess service_{data_.Path()};
};

TEST_F(ServiceCallTest, EveryFailureReturnsFalseQuicklyAndLeavesTheOutputAlone) {
  const std::vector<ServiceValue> payload{std::string("x")};
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
  EXPECT_FALSE(
      Call(Operation::ExecuteCRM, payload, result, {1048576, std::chrono::milliseconds(300)}));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));

  // An answer larger than the heap is refused.
  service_.Behave("ExecuteCRM=normal");
  const std::vector<ServiceValue> large{std::string(200000, 'x')};
  EXPECT_TRUE(Call(Operation::ExecuteCRM, large, result));
  result.text = "untouched";
  EXPECT_FALSE(Call(Operation::ExecuteCRM, large, result, {100000, std::chrono::seconds(10)}));
  EXPECT_EQ(result.text, "untouched");
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
  const std::string refused = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) +
                              "/Services/DefaultService.svc";

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
  overlong.resize(1024, 'x');
  EXPECT_FALSE(ServiceCall(overlong, {}, Operation::ExecuteCRM, payload, result));
  overlong.resize(1023);
  EXPECT_TRUE(ServiceCall(overlong, {}, Operation::ExecuteCRM, payload, result));
  EXPECT_FALSE(ServiceCall("ftp://127.0.0.1/x", {}, Operation::ExecuteCRM, payload, result));
}

TEST(ServiceCallThreads, ConcurrentCallsShareNothing) {
  TempFolder data;
  LocalServiceProcess service(data.Path());
  std::vector<std::thread> threads;
  std::atomic<int> correct{0};
  for (int thread = 0; thread < 8; ++thread) {
    threads.emplace_back([&, thread] {
      for (int call = 0; call < 10; ++call) {
        const std::string text =
            "thread " + std::to_string(thread) + " call " + std::to_string(call);
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
