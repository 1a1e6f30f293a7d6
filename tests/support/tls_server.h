// A TLS server whose self-signed certificate nobody trusts, made for one test by openssl.
#pragma once

#include <optional>
#include <string>

#include "common/platform/process.h"
#include "tests/support/temp_folder.h"

namespace Quorvane::Testing {

class UntrustedTlsServer {
 public:
  UntrustedTlsServer();
  UntrustedTlsServer(const UntrustedTlsServer&) = delete;
  UntrustedTlsServer& operator=(const UntrustedTlsServer&) = delete;
  ~UntrustedTlsServer();

  // The service path on it; 0 as the port when it did not start.
  std::string Endpoint() const;
  int Port() const { return port_; }

 private:
  TempFolder folder_;
  std::optional<Platform::Process> server_;
  int port_ = 0;
};

}  // namespace Quorvane::Testing
