// Signature and key files from a download folder, and trusted comments, on arbitrary text: parsing
// never fails in any other way than refusing, and a parsed signature never verifies bytes the fixed
// key did not sign.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/signing/update_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Signing;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string reason;
  ParsePublicKey(text, reason);
  if (const auto claim = ReadSignedClaim(text, reason);
      claim && !claim->fileName.empty() && CheckSignedClaim(SignedClaimText(*claim), *claim)) {
    std::abort();  // a claim read back from its own text must match itself
  }
  auto signature = ParseSignature(text, reason);
  if (!signature) {
    return 0;
  }
  // The publishing key shipped with the updater: nobody outside has its secret half.
  static const auto key =
      ParsePublicKey("RWR8369tEM+XUtRz3lHvQWIkesUi/ZJ9xXisS7CTkY9Eejlg7CEretOI", reason);
  signature->keyId = key->keyId;  // past the key id check, into the Ed25519 checks
  SignatureCheck check(*key, std::move(*signature), {"quorvane_1.0.0.1_amd64.deb", {1, 0, 0, 1}});
  check.Update(text);
  if (!check.Finish()) {
    std::abort();
  }
  return 0;
}
