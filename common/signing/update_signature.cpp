#include "common/signing/update_signature.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/platform/unique_fd.h"

namespace Quorvane::Signing {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kMaxCommentSize = 1024;
constexpr std::size_t kReadPiece = 1 << 20;

void InitialiseSodiumOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (sodium_init() < 0) {
      throw std::runtime_error("libsodium cannot be initialised");
    }
  });
}

// The lines of a small text, without their line ends (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

// Standard Base64 of exactly `size` bytes, or nothing.
std::optional<std::vector<std::uint8_t>> DecodeExactly(std::string_view text, std::size_t size) {
  std::vector<std::uint8_t> bytes(size + 3);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || length != size) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

template <std::size_t N>
void CopyInto(std::array<std::uint8_t, N>& target, const std::uint8_t* source) {
  std::memcpy(target.data(), source, N);
}

}  // namespace

bool IsSignatureName(std::string_view fileName) {
  return fileName.size() > kSignatureSuffix.size() && fileName.ends_with(kSignatureSuffix);
}

std::string KeyIdText(const KeyId& keyId) {
  // minisign prints the id as a little-endian 64-bit number.
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (auto byte = keyId.rbegin(); byte != keyId.rend(); ++byte) {
    text += kDigits[*byte >> 4];
    text += kDigits[*byte & 0xF];
  }
  return text;
}

std::optional<PublicKey> ParsePublicKey(std::string_view text, std::string& reason) {
  auto lines = Lines(text);
  if (!lines.empty() && lines.front().starts_with(kUntrustedPrefix)) {
    lines.erase(lines.begin());
  }
  while (!lines.empty() && lines.back().empty()) {
    lines.pop_back();
  }
  const auto bytes = lines.size() == 1 ? DecodeExactly(lines.front(), 42) : std::nullopt;
  if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
    reason = "the public key is not a minisign Ed25519 key";
    return std::nullopt;
  }
  PublicKey key;
  CopyInto(key.keyId, bytes->data() + 2);
  CopyInto(key.key, bytes->data() + 10);
  return key;
}

std::optional<Signature> ParseSignature(std::string_view text, std::string& reason) {
  auto lines = Lines(text);
  while (!lines.empty() && lines.back().empty()) {
    lines.pop_back();
  }
  if (lines.size() != 4 || !lines[0].starts_with(kUntrustedPrefix) ||
      !lines[2].starts_with(kTrustedPrefix)) {
    reason = "the signature file is malformed";
    return std::nullopt;
  }
  const auto signatureBytes = DecodeExactly(lines[1], 74);
  const auto globalBytes = DecodeExactly(lines[3], 64);
  const std::string_view trusted = lines[2].substr(kTrustedPrefix.size());
  if (!signatureBytes || !globalBytes || trusted.size() > kMaxCommentSize) {
    reason = "the signature file is malformed";
    return std::nullopt;
  }
  if ((*signatureBytes)[0] != 'E' || (*signatureBytes)[1] != 'D') {
    reason = (*signatureBytes)[0] == 'E' && (*signatureBytes)[1] == 'd'
                 ? "the signature is in the legacy form, which is not accepted (sign with a "
                   "current minisign)"
                 : "the signature's algorithm is unknown";
    return std::nullopt;
  }
  Signature signature;
  CopyInto(signature.keyId, signatureBytes->data() + 2);
  CopyInto(signature.fileSignature, signatureBytes->data() + 10);
  signature.trustedComment = std::string(trusted);
  CopyInto(signature.globalSignature, globalBytes->data());
  return signature;
}

struct FileDigest::HashState {
  crypto_generichash_state state;
};

FileDigest::FileDigest() : hash_(std::make_unique<HashState>()) {
  InitialiseSodiumOnce();
  crypto_generichash_init(&hash_->state, nullptr, 0, crypto_generichash_BYTES_MAX);
}

FileDigest::FileDigest(FileDigest&&) noexcept = default;
FileDigest& FileDigest::operator=(FileDigest&&) noexcept = default;
FileDigest::~FileDigest() = default;

void FileDigest::Update(std::string_view bytes) {
  crypto_generichash_update(&hash_->state, reinterpret_cast<const unsigned char*>(bytes.data()),
                            bytes.size());
}

FileDigest::Value FileDigest::Finish() {
  Value digest{};
  crypto_generichash_final(&hash_->state, digest.data(), digest.size());
  return digest;
}

std::optional<std::string> VerifyDigest(const FileDigest::Value& digest, const Signature& signature,
                                        const PublicKey& key) {
  if (signature.keyId != key.keyId) {
    return "it was signed with another key (" + KeyIdText(signature.keyId) + ", not the trusted " +
           KeyIdText(key.keyId) + ")";
  }
  if (crypto_sign_verify_detached(signature.fileSignature.data(), digest.data(), digest.size(),
                                  key.key.data()) != 0) {
    return std::string("its content does not match its signature");
  }
  std::vector<std::uint8_t> global(signature.fileSignature.begin(), signature.fileSignature.end());
  global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
  if (crypto_sign_verify_detached(signature.globalSignature.data(), global.data(), global.size(),
                                  key.key.data()) != 0) {
    return std::string("the trusted comment of its signature does not verify");
  }
  return std::nullopt;
}

std::optional<std::string> VerifyDigestFor(const FileDigest::Value& digest,
                                           const Signature& signature, const PublicKey& key,
                                           const SignedClaim& expected) {
  if (auto failure = VerifyDigest(digest, signature, key)) {
    return failure;
  }
  return CheckSignedClaim(signature.trustedComment, expected);
}

SignatureCheck::SignatureCheck(const PublicKey& key, Signature signature, SignedClaim expected)
    : key_(key), signature_(std::move(signature)), expected_(std::move(expected)) {}

std::optional<std::string> VerifyDescriptor(int fd, std::string_view signatureText,
                                            const PublicKey& key, const SignedClaim& expected) {
  std::string reason;
  auto signature = ParseSignature(signatureText, reason);
  if (!signature) {
    return reason;
  }
  SignatureCheck check(key, std::move(*signature), expected);
  std::vector<char> piece(kReadPiece);
  for (;;) {
    const ssize_t got = read(fd, piece.data(), piece.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return std::string("it cannot be read: ") + std::strerror(errno);
    }
    if (got == 0) {
      break;
    }
    check.Update(std::string_view(piece.data(), static_cast<std::size_t>(got)));
  }
  return check.Finish();
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit,
                                         std::string& reason) {
  Platform::UniqueFd fd(
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat status {};
  if (!fd.Valid() || fstat(fd.Get(), &status) != 0) {
    reason = errno == ELOOP ? "'" + path + "' is a link"
                            : "'" + path + "' cannot be opened: " + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode) || static_cast<std::size_t>(status.st_size) > limit) {
    reason = "'" + path + "' is not a small regular file";
    return std::nullopt;
  }
  std::string content(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t got = read(fd.Get(), content.data() + done, content.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      reason = "'" + path + "' cannot be read";
      return std::nullopt;
    }
    done += static_cast<std::size_t>(got);
  }
  return content;
}

namespace {

std::optional<PublicKey> ReadTrustedKey(const std::string& keyPath, std::string& reason) {
  const auto keyText = ReadSmallFile(keyPath, kMaxSignatureFileSize, reason);
  const auto key = keyText ? ParsePublicKey(*keyText, reason) : std::nullopt;
  if (!key) {
    reason = "the trusted key cannot be used: " + reason;
  }
  return key;
}

// The trusted key and the text of the signature beside the file; else why they cannot be had.
std::optional<std::pair<PublicKey, std::string>> KeyAndSignatureText(const std::string& path,
                                                                     const std::string& keyPath,
                                                                     std::string& reason) {
  const auto key = ReadTrustedKey(keyPath, reason);
  if (!key) {
    return std::nullopt;
  }
  const std::string signaturePath = path + std::string(kSignatureSuffix);
  struct stat status {};
  if (lstat(signaturePath.c_str(), &status) != 0 && errno == ENOENT) {
    reason = "its signature is missing";
    return std::nullopt;
  }
  auto signatureText = ReadSmallFile(signaturePath, kMaxSignatureFileSize, reason);
  if (!signatureText) {
    return std::nullopt;
  }
  return std::make_pair(*key, std::move(*signatureText));
}

}  // namespace

std::optional<std::string> VerifyBytes(std::string_view bytes, std::string_view signatureText,
                                       const std::string& keyPath, const SignedClaim& expected) {
  std::string reason;
  const auto key = ReadTrustedKey(keyPath, reason);
  if (!key) {
    return reason;
  }
  auto signature = ParseSignature(signatureText, reason);
  if (!signature) {
    return reason;
  }
  SignatureCheck check(*key, std::move(*signature), expected);
  check.Update(bytes);
  return check.Finish();
}

std::optional<std::string> VerifyFileSignature(const std::string& path, const std::string& keyPath,
                                               const SignedClaim& expected) {
  std::string reason;
  const auto keyAndSignature = KeyAndSignatureText(path, keyPath, reason);
  if (!keyAndSignature) {
    return reason;
  }
  struct stat status {};
  Platform::UniqueFd fd(
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.Valid() || fstat(fd.Get(), &status) != 0) {
    return errno == ELOOP ? std::string("it is a link")
                          : std::string("it cannot be opened: ") + std::strerror(errno);
  }
  if (!S_ISREG(status.st_mode)) {
    return std::string("it is not a regular file");
  }
  return VerifyDescriptor(fd.Get(), keyAndSignature->second, keyAndSignature->first, expected);
}

std::optional<std::string> VerifyFileDigest(const std::string& path,
                                            const FileDigest::Value& digest,
                                            const std::string& keyPath,
                                            const SignedClaim& expected) {
  std::string reason;
  const auto keyAndSignature = KeyAndSignatureText(path, keyPath, reason);
  if (!keyAndSignature) {
    return reason;
  }
  const auto signature = ParseSignature(keyAndSignature->second, reason);
  if (!signature) {
    return reason;
  }
  return VerifyDigestFor(digest, *signature, keyAndSignature->first, expected);
}

}  // namespace Quorvane::Signing
