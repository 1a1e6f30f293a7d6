// The center's service calls and the firmware lookup against the stand-in, and what travels on
// the wire.
#include "center/service_calls/center_service.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "center/service_calls/firmware_lookup_task.h"
#include "common/platform/utf16.h"
#include "common/service_client/access_token.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tls_server.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;

constexpr const char* kQuadIdentity =
    "Quorvane Quad Controller (Quad)(brake,accelerator,clutch,handbrake)|QV-Quad,ads-1262";

class CenterCalls : public testing::Test {
 protected:
  CenterCalls() { Testing::CopySampleServiceData(data_.Path()); }

  void Lookup(Device::FirmwareLookup& lookup, const std::string& identity, bool beta = false) {
    lookup.running = true;
    RetriveFirmwareParallelUpdateThread(
        lookup, identity,
        {center_, [beta] { return beta; }, log_, notifier_, [this] { ++found_; }});
  }

  Testing::TempFolder data_;
  Testing::LocalServiceProcess service_{data_.Path()};
  CenterService center_{service_.Endpoint()};
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  int found_ = 0;
};

TEST_F(CenterCalls, LookupAppendsTheRowsFirmwaresAndClearsItsFlag) {
  Device::FirmwareLookup lookup;
  Lookup(lookup, kQuadIdentity);
  EXPECT_FALSE(lookup.running);
  ASSERT_EQ(lookup.Available().size(), 1u);
  EXPECT_EQ(lookup.Available()[0].displayName, "Quad Pedal Firmware v3.4");
  EXPECT_EQ(found_, 1);

  Device::FirmwareLookup all;
  Lookup(all, "all-firmwares", true);
  EXPECT_EQ(all.Available().size(), 5u);
}

TEST_F(CenterCalls, NothingFoundIsQuietAndFailuresStillClearTheFlag) {
  Device::FirmwareLookup lookup;
  Lookup(lookup, "no such controller");
  EXPECT_TRUE(lookup.Available().empty());
  EXPECT_EQ(found_, 0);
  service_.Behave("EnumerateFirmwares=fault");
  Lookup(lookup, kQuadIdentity);
  EXPECT_FALSE(lookup.running);
  EXPECT_TRUE(notifier_.Notices().empty());

  service_.Behave("EnumerateFirmwares=badbase64");
  Lookup(lookup, kQuadIdentity);
  EXPECT_FALSE(lookup.running);
  ASSERT_EQ(notifier_.Notices().size(), 1u);
  EXPECT_EQ(notifier_.Notices()[0].text.rfind(
                "RetriveFirmwareParallelUpdateThread executed with thrown exception\n", 0),
            0u);
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].type, Diagnostics::kEventError);
}

// A server whose certificate fails is no answer, as for the updater, but its reason is logged.
TEST(CenterCertificates, AnUntrustedServerIsNoAnswerWithItsReasonInTheEventLog) {
  Testing::UntrustedTlsServer untrusted;
  ASSERT_NE(untrusted.Port(), 0);
  Diagnostics::RecordingEventLog log;
  CenterService service{untrusted.Endpoint()};
  service.eventLog = &log;
  EXPECT_FALSE(RetrieveMessagesToUsers(service));
  ASSERT_EQ(log.Entries().size(), 1u);
  EXPECT_EQ(log.Entries()[0].type, Diagnostics::kEventWarning);
  EXPECT_EQ(log.Entries()[0].text,
            "The service at '" + untrusted.Endpoint() +
                "' was not used: its certificate failed verification (SSL certificate problem: "
                "self-signed certificate)");
}

TEST(CenterWire, TheAccessTokenNeverTravelsInPlainText) {
  // A listener that keeps the request and answers with an error.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::string request;
  std::thread server([&] {
    const int connection = accept(listener, nullptr, nullptr);
    char buffer[65536];
    ssize_t received;
    while ((received = recv(connection, buffer, sizeof buffer, 0)) > 0) {
      request.append(buffer, static_cast<std::size_t>(received));
      if (request.find("</s:Envelope>") != std::string::npos) break;
    }
    const std::string answer =
        "HTTP/1.1 500 Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    send(connection, answer.data(), answer.size(), 0);
    close(connection);
  });
  const CenterService center{"http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) +
                             "/Services/DefaultService.svc"};
  EXPECT_EQ(RetrieveMessagesToUsers(center), std::nullopt);
  server.join();
  close(listener);
  ASSERT_NE(request.find("GetQuorvaneMessageToUsers"), std::string::npos);
  EXPECT_EQ(request.find(std::string(Service::kAccessToken)), std::string::npos);
  EXPECT_EQ(request.find("Xendrapol"), std::string::npos);
  EXPECT_EQ(request.find(*Platform::Utf8ToUtf16LeBytes("Xendrapol")), std::string::npos);
}

}  // namespace
