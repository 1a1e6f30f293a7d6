#include "tests/support/signing_key.h"

#include <filesystem>
#include <stdexcept>

#include "common/platform/process.h"
#include "common/update_install/update_installation.h"

namespace Quorvane::Testing {
namespace {

void RunMinisign(std::vector<std::string> arguments, const std::string& log) {
  std::error_code error;
  auto run = Platform::Process::Start({"minisign", std::move(arguments), "", log}, error);
  if (!run || run->Wait() != 0) {
    throw std::runtime_error("minisign failed: " + ReadTextFile(log));
  }
}

}  // namespace

SigningKey::SigningKey()
    : publicKey_(folder_.File("update.pub")), secretKey_(folder_.File("update.key")) {
  // -W: no password, so signing asks nothing.
  RunMinisign({"-G", "-W", "-p", publicKey_, "-s", secretKey_}, folder_.File("minisign.log"));
}

void SigningKey::Sign(const std::string& file, const std::string& version) const {
  SignWith(file, file + ".minisig",
           "file:" + file.substr(file.rfind('/') + 1) + " version:" + version);
}

void SigningKey::SignWith(const std::string& file, const std::string& signature,
                          const std::string& trustedComment,
                          const std::vector<std::string>& options) const {
  std::vector<std::string> arguments{"-S", "-s",      secretKey_, "-m",          file,
                                     "-x", signature, "-t",       trustedComment};
  arguments.insert(arguments.end(), options.begin(), options.end());
  RunMinisign(std::move(arguments), folder_.File("minisign.log"));
}

void SigningKey::TrustIn(const std::string& installRoot) const {
  const std::string path = Update::UpdateKeyPath(installRoot);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file(publicKey_, path, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace Quorvane::Testing
