// Signatures made by the real minisign tool, verified by the programs' own reader.
#include "common/signing/update_signature.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/platform/unique_fd.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Signing;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

class Signatures : public testing::Test {
 protected:
  Signatures() {
    std::string content;
    for (int line = 0; line < 20000; ++line)
      content += "pedal firmware line " + std::to_string(line) + "\n";
    WriteTextFile(file_, content);
    key_.Sign(file_, "1.1.0.0");
  }

  PublicKey Key(const Testing::SigningKey& key) {
    std::string reason;
    auto parsed = ParsePublicKey(ReadTextFile(key.PublicKeyPath()), reason);
    EXPECT_TRUE(parsed) << reason;
    return parsed.value_or(PublicKey{});
  }

  std::optional<std::string> VerifyInPieces(std::size_t piece) {
    std::string reason;
    auto signature = ParseSignature(ReadTextFile(file_ + ".minisig"), reason);
    EXPECT_TRUE(signature) << reason;
    SignatureCheck check(Key(key_), *signature, kClaim);
    const std::string content = ReadTextFile(file_);
    for (std::size_t at = 0; at < content.size(); at += piece)
      check.Update(std::string_view(content).substr(at, piece));
    return check.Finish();
  }

  std::optional<std::string> Verify() {
    return VerifyFileSignature(file_, key_.PublicKeyPath(), kClaim);
  }

  inline static const SignedClaim kClaim{"quorvane_1.1.0_amd64.deb", {1, 1, 0, 0}};
  Testing::TempFolder folder_;
  Testing::SigningKey key_;
  std::string file_ = folder_.File("quorvane_1.1.0_amd64.deb");
};

TEST_F(Signatures, AMinisignSignatureVerifiesWhateverPiecesTheBytesComeIn) {
  for (const std::size_t piece : {std::size_t{1}, std::size_t{4095}, std::size_t{1} << 20}) {
    EXPECT_EQ(VerifyInPieces(piece), std::nullopt) << piece;
  }
  EXPECT_EQ(Verify(), std::nullopt);
  // The public key's line alone is a key too, as minisign's -P takes it.
  std::string reason;
  const std::string keyFile = ReadTextFile(key_.PublicKeyPath());
  const auto line = ParsePublicKey(keyFile.substr(keyFile.find('\n') + 1), reason);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->key, Key(key_).key);
}

TEST_F(Signatures, ChangedBytesAnotherKeyAndAnAlteredTrustedCommentAreRefused) {
  const std::string original = ReadTextFile(file_);
  WriteTextFile(file_, original.substr(0, original.size() - 1) + "!");
  EXPECT_EQ(Verify(), "its content does not match its signature");
  WriteTextFile(file_, original);

  Testing::SigningKey stranger;
  EXPECT_NE(VerifyFileSignature(file_, stranger.PublicKeyPath(), kClaim)
                .value_or("")
                .find("it was signed with another key ("),
            std::string::npos);

  std::string signature = ReadTextFile(file_ + ".minisig");
  const auto comment = signature.find("\ntrusted comment: ") + 18;
  signature.insert(comment, "x");
  WriteTextFile(file_ + ".minisig", signature);
  EXPECT_EQ(Verify(), "the trusted comment of its signature does not verify");
}

// A valid signature of one file is no signature of another file or another version: the trusted
// comment names both, and the words around them do not matter.
TEST_F(Signatures, TheTrustedCommentMustNameThisFileAndThisVersion) {
  const auto signedAs = [&](const std::string& comment) {
    key_.SignWith(file_, file_ + ".minisig", comment);
    return Verify();
  };
  EXPECT_EQ(
      signedAs("timestamp:1765180000 file:quorvane_1.1.0_amd64.deb version:1.1.0.0 by the maker"),
      std::nullopt);
  EXPECT_EQ(signedAs("file:Tollwick version:1.1.0.0"),
            "its signature was made for the file 'Tollwick', not 'quorvane_1.1.0_amd64.deb'");
  EXPECT_EQ(signedAs("file:quorvane_1.1.0_amd64.deb version:1.0.0.2"),
            "its signature was made for version 1.0.0.2, not the offered 1.1.0.0");
  for (const char* unbound :
       {"timestamp:1765180000\tfile:quorvane_1.1.0_amd64.deb",
        "file:quorvane_1.1.0_amd64.deb version:1.1.0",
        "file:quorvane_1.1.0_amd64.deb version:1.1.0.0.0",
        "file:quorvane_1.1.0_amd64.deb version:1.1.0.4294967296",
        "file:quorvane_1.1.0_amd64.deb version:1.1.0.0 file:quorvane_1.0.0_amd64.deb",
        "file: version:1.1.0.0"}) {
    EXPECT_NE(signedAs(unbound), std::nullopt) << unbound;
  }
  // What minisign writes when no comment is given: a time stamp and the file name, no version.
  EXPECT_NE(signedAs("timestamp:1765180000\tfile:quorvane_1.1.0_amd64.deb\thashed")
                .value_or("")
                .find("does not name"),
            std::string::npos);
}

TEST_F(Signatures, MissingLinkedLegacyAndMalformedSignaturesAreRefused) {
  std::filesystem::rename(file_ + ".minisig", folder_.File("elsewhere.minisig"));
  EXPECT_EQ(Verify(), "its signature is missing");
  std::filesystem::create_symlink(folder_.File("elsewhere.minisig"), file_ + ".minisig");
  EXPECT_NE(Verify().value_or("").find("is a link"), std::string::npos);
  std::filesystem::remove(file_ + ".minisig");
  std::filesystem::rename(folder_.File("elsewhere.minisig"), file_ + ".minisig");
  std::filesystem::rename(file_, folder_.File("real.deb"));
  std::filesystem::create_symlink(folder_.File("real.deb"), file_);
  EXPECT_EQ(Verify(), "it is a link");
  std::filesystem::remove(file_);
  std::filesystem::rename(folder_.File("real.deb"), file_);

  key_.SignWith(file_, folder_.File("legacy.minisig"),
                "file:quorvane_1.1.0_amd64.deb version:1.1.0.0", {"-l"});
  std::string reason;
  EXPECT_FALSE(ParseSignature(ReadTextFile(folder_.File("legacy.minisig")), reason));
  EXPECT_NE(reason.find("legacy form"), std::string::npos);

  const std::string good = ReadTextFile(file_ + ".minisig");
  const auto lines = [&] {
    std::vector<std::string> split;
    for (std::size_t at = 0; at < good.size();) {
      const auto end = good.find('\n', at);
      split.push_back(good.substr(at, end - at));
      at = end + 1;
    }
    return split;
  }();
  ASSERT_EQ(lines.size(), 4u);
  for (const std::string& malformed :
       {std::string(), lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n",
        lines[0] + "\n" + lines[1].substr(0, 20) + "\n" + lines[2] + "\n" + lines[3] + "\n",
        lines[0] + "\n" + lines[1] + "=\n" + lines[2] + "\n" + lines[3] + "\n",
        lines[0] + "\n" + lines[1] + "\n" + lines[2].substr(1) + "\n" + lines[3] + "\n",
        lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3].substr(4) + "\n",
        std::string(5000, 'a')}) {
    EXPECT_FALSE(ParseSignature(malformed, reason)) << malformed;
  }
  // CR LF line ends, as a signature copied through another system may have, are the same file.
  std::string crlf;
  for (const auto& line : lines) crlf += line + "\r\n";
  EXPECT_TRUE(ParseSignature(crlf, reason));
  EXPECT_FALSE(ParsePublicKey("untrusted comment: x\nRWQ=\n", reason));
}

}  // namespace
