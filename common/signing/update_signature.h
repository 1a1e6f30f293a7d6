// Signatures of downloaded updates, in minisign's format: an Ed25519 signature of the file's
// BLAKE2b-512 hash (the prehashed form, so a file of any size is checked as it streams by) and a
// trusted comment bound to that signature by a second one. The publisher signs with the minisign
// tool; the programs only verify, against the public key installed with the updater.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvane::Signing {

// The public key updates are verified with, installed beside the updater.
inline constexpr const char* kUpdateKeyFileName = "quorvane-update.pub";
// A download's signature travels beside it as "<file name>.minisig".
inline constexpr std::string_view kSignatureSuffix = ".minisig";
// Signature files are a few hundred bytes; anything far larger is not one.
inline constexpr std::size_t kMaxSignatureFileSize = 4096;

bool IsSignatureName(std::string_view fileName);

using KeyId = std::array<std::uint8_t, 8>;

struct PublicKey {
  KeyId keyId{};
  std::array<std::uint8_t, 32> key{};
};

struct Signature {
  KeyId keyId{};
  std::array<std::uint8_t, 64> fileSignature{};
  std::string trustedComment;
  std::array<std::uint8_t, 64> globalSignature{};
};

// The key id as minisign prints it (sixteen upper-case hex digits).
std::string KeyIdText(const KeyId& keyId);

// A public key file ("untrusted comment: ..." then the Base64 key line), or the key line alone.
// Empty optional with the reason when it is not one.
std::optional<PublicKey> ParsePublicKey(std::string_view text, std::string& reason);

// A signature file: untrusted comment, signature line, trusted comment, global signature. Only
// the prehashed form is taken. Empty optional with the reason when it is not one.
std::optional<Signature> ParseSignature(std::string_view text, std::string& reason);

// Checks a file's bytes as they arrive, in pieces of any size.
class SignatureCheck {
 public:
  SignatureCheck(const PublicKey& key, Signature signature);
  SignatureCheck(const SignatureCheck&) = delete;
  SignatureCheck& operator=(const SignatureCheck&) = delete;
  ~SignatureCheck();

  void Update(std::string_view bytes);
  // After the last piece: empty when the signature and its trusted comment verify, else why not.
  std::optional<std::string> Finish();

 private:
  struct HashState;
  PublicKey key_;
  Signature signature_;
  std::unique_ptr<HashState> hash_;
};

// Verifies the bytes of an open file (read from its current position to its end) against a
// signature text. Empty when they verify, else the reason.
std::optional<std::string> VerifyDescriptor(int fd, std::string_view signatureText, const PublicKey& key);

// Reads a small file whole (a key or a signature), refusing links and anything that is not a
// regular file or is larger than `limit`. Empty optional with the reason otherwise.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit, std::string& reason);

// Verifies "<path>" against "<path>.minisig" with the key file at `keyPath`, opening neither
// through a link. Empty when they verify, else the reason.
std::optional<std::string> VerifyFileSignature(const std::string& path, const std::string& keyPath);

}  // namespace Quorvane::Signing
