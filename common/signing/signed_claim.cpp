#include "common/signing/signed_claim.h"

#include <vector>

namespace Quorvane::Signing {
namespace {

constexpr std::string_view kFileWord = "file:";
constexpr std::string_view kVersionWord = "version:";

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    const auto end = text.find_first_of(" \t", start);
    words.push_back(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    at = end == std::string_view::npos ? text.size() : end;
  }
  return words;
}

}  // namespace

std::string VersionText(const Version& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

std::optional<Version> ParseVersionText(std::string_view text) {
  Version version{};
  std::size_t part = 0;
  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at == text.size() || text[at] == '.') {
      if (digits == 0 || part == version.size()) return std::nullopt;
      version[part++] = static_cast<std::uint32_t>(value);
      value = 0;
      digits = 0;
      continue;
    }
    if (text[at] < '0' || text[at] > '9' || ++digits > 10) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  if (part != version.size()) return std::nullopt;
  return version;
}

std::optional<SignedClaim> ReadSignedClaim(std::string_view trustedComment, std::string& reason) {
  std::optional<std::string_view> file;
  std::optional<std::string_view> version;
  for (const auto word : Words(trustedComment)) {
    const bool isFile = word.starts_with(kFileWord);
    if (!isFile && !word.starts_with(kVersionWord)) continue;
    auto& slot = isFile ? file : version;
    if (slot) {
      reason = std::string("its trusted comment names ") + (isFile ? "the file" : "the version") +
               " twice";
      return std::nullopt;
    }
    slot = word.substr((isFile ? kFileWord : kVersionWord).size());
  }
  if (!file || file->empty() || !version) {
    reason =
        "its trusted comment does not name the file and version it signs (\"file:NAME "
        "version:A.B.C.D\")";
    return std::nullopt;
  }
  const auto parsed = ParseVersionText(*version);
  if (!parsed) {
    reason = "its trusted comment names no version of the form A.B.C.D";
    return std::nullopt;
  }
  return SignedClaim{std::string(*file), *parsed};
}

std::optional<std::string> CheckSignedClaim(std::string_view trustedComment,
                                            const SignedClaim& expected) {
  std::string reason;
  const auto claim = ReadSignedClaim(trustedComment, reason);
  if (!claim) {
    return reason;
  }
  if (claim->fileName != expected.fileName) {
    return "its signature was made for the file '" + claim->fileName + "', not '" +
           expected.fileName + "'";
  }
  if (claim->version != expected.version) {
    return "its signature was made for version " + VersionText(claim->version) +
           ", not the offered " + VersionText(expected.version);
  }
  return std::nullopt;
}

std::string SignedClaimText(const SignedClaim& claim) {
  return "file:" + claim.fileName + " version:" + VersionText(claim.version);
}

}  // namespace Quorvane::Signing
