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

#include "common/signing/signed_claim.h"

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

// The hash a signature signs (BLAKE2b-512), taken of a file's bytes as they pass, in pieces of
// any size.
class FileDigest {
 public:
  using Value = std::array<std::uint8_t, 64>;
  FileDigest();
  FileDigest(FileDigest&&) noexcept;
  FileDigest& operator=(FileDigest&&) noexcept;
  ~FileDigest();

  void Update(std::string_view bytes);
  // After the last piece.
  Value Finish();

 private:
  struct HashState;
  std::unique_ptr<HashState> hash_;
};

// Empty when the signature of the digest and its trusted comment verify with the key, else why not.
std::optional<std::string> VerifyDigest(const FileDigest::Value& digest, const Signature& signature,
                                        const PublicKey& key);

// The same, and the trusted comment must claim exactly `expected` (the file's name and version).
std::optional<std::string> VerifyDigestFor(const FileDigest::Value& digest,
                                           const Signature& signature, const PublicKey& key,
                                           const SignedClaim& expected);

// Checks a file's bytes as they arrive, in pieces of any size.
class SignatureCheck {
 public:
  SignatureCheck(const PublicKey& key, Signature signature, SignedClaim expected);

  void Update(std::string_view bytes) { digest_.Update(bytes); }
  // After the last piece: empty when the signature and its trusted comment verify and the comment
  // claims the expected file and version, else why not.
  std::optional<std::string> Finish() {
    return VerifyDigestFor(digest_.Finish(), signature_, key_, expected_);
  }

 private:
  PublicKey key_;
  Signature signature_;
  SignedClaim expected_;
  FileDigest digest_;
};

// Verifies the bytes of an open file (read from its current position to its end) against a
// signature text. Empty when they verify, else the reason.
std::optional<std::string> VerifyDescriptor(int fd, std::string_view signatureText,
                                            const PublicKey& key, const SignedClaim& expected);

// Verifies bytes held in memory (a firmware image) against a signature text and the key file at
// `keyPath`. Empty when they verify, else the reason.
std::optional<std::string> VerifyBytes(std::string_view bytes, std::string_view signatureText,
                                       const std::string& keyPath, const SignedClaim& expected);

// Reads a small file whole (a key or a signature), refusing links and anything that is not a
// regular file or is larger than `limit`. Empty optional with the reason otherwise.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit,
                                         std::string& reason);

// Verifies "<path>" against "<path>.minisig" with the key file at `keyPath`, opening neither
// through a link. Empty when they verify, else the reason.
std::optional<std::string> VerifyFileSignature(const std::string& path, const std::string& keyPath,
                                               const SignedClaim& expected);

// The same for a file whose digest was taken while it was written: only the signature and the
// key are read.
std::optional<std::string> VerifyFileDigest(const std::string& path,
                                            const FileDigest::Value& digest,
                                            const std::string& keyPath,
                                            const SignedClaim& expected);

}  // namespace Quorvane::Signing
