// A minisign key pair made by the real minisign tool for one test, and signatures made with it,
// as the publisher of updates makes them.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace Quorvane::Testing {

class SigningKey {
 public:
  SigningKey();

  const std::string& PublicKeyPath() const { return publicKey_; }
  const std::string& SecretKeyPath() const { return secretKey_; }
  // Writes "<file>.minisig" with the trusted comment a publisher signs: "file:NAME
  // version:VERSION", NAME the file's own name.
  void Sign(const std::string& file, const std::string& version) const;
  // Writes `signature` with the given trusted comment; extra minisign options may follow.
  void SignWith(const std::string& file, const std::string& signature,
                const std::string& trustedComment,
                const std::vector<std::string>& options = {}) const;
  // Puts the public key where the updater of an install tree trusts it.
  void TrustIn(const std::string& installRoot) const;

 private:
  TempFolder folder_;
  std::string publicKey_;
  std::string secretKey_;
};

}  // namespace Quorvane::Testing
