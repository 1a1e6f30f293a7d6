// What a signature says it signs. The publisher signs a trusted comment that names the file and
// its version, "file:NAME version:A.B.C.D" (other words may stand around them; minisign's -t), so
// a valid signature of one file cannot be passed off for another file or another version.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvane::Signing {

using Version = std::array<std::uint32_t, 4>;

struct SignedClaim {
  std::string fileName;
  Version version{};
  bool operator==(const SignedClaim&) const = default;
};

// "A.B.C.D"
std::string VersionText(const Version& version);
// Exactly four dot-separated decimal numbers of at most 32 bits each; none otherwise.
std::optional<Version> ParseVersionText(std::string_view text);

// The claim of a trusted comment; none, with the reason, when it names no file or no version,
// or names either twice.
std::optional<SignedClaim> ReadSignedClaim(std::string_view trustedComment, std::string& reason);

// Empty when the trusted comment claims exactly `expected`, else why not.
std::optional<std::string> CheckSignedClaim(std::string_view trustedComment,
                                            const SignedClaim& expected);

// The trusted comment a publisher signs for a file: "file:NAME version:A.B.C.D".
std::string SignedClaimText(const SignedClaim& claim);

}  // namespace Quorvane::Signing
