#include "tests/support/tls_server.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace Quorvane::Testing {

UntrustedTlsServer::UntrustedTlsServer() {
  std::error_code error;
  auto request = Platform::Process::Start(
      {"openssl",
       {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", folder_.File("key.pem"), "-out",
        folder_.File("cert.pem"), "-days", "2", "-subj", "/CN=127.0.0.1"},
       "",
       folder_.File("req.log")},
      error);
  if (!request || request->Wait() != 0) {
    throw std::runtime_error("openssl made no certificate: " +
                             ReadTextFile(folder_.File("req.log")));
  }
  server_ = Platform::Process::Start({"openssl",
                                      {"s_server", "-cert", folder_.File("cert.pem"), "-key",
                                       folder_.File("key.pem"), "-accept", "127.0.0.1:0", "-www"},
                                      "",
                                      folder_.File("server.log")},
                                     error);
  for (int wait = 0; server_ && wait < 500 && port_ == 0; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string log = ReadTextFile(folder_.File("server.log"));
    if (const auto at = log.find("ACCEPT 127.0.0.1:"); at != std::string::npos) {
      port_ = std::atoi(log.c_str() + at + 17);
    }
  }
}

UntrustedTlsServer::~UntrustedTlsServer() {
  if (server_) {
    server_->Signal(SIGTERM);
    server_->Wait();
  }
}

std::string UntrustedTlsServer::Endpoint() const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/Services/DefaultService.svc";
}

}  // namespace Quorvane::Testing
