// Signatures made by the real minisign tool, verified by the programs' own reader.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "common/platform/unique_fd.h"
#include "common/signing/update_signature.h"
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
    for (int line = 0; line < 20000; ++line) content += "pedal firmware line " + std::to_string(line) + "\n";
    WriteTextFile(file_, content);
    key_.Sign(file_);
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
    SignatureCheck check(Key(key_), *signature);
    const std::string content = ReadTextFile(file_);
    for (std::size_t at = 0; at < content.size(); at += piece) check.Update(std::string_view(content).substr(at, piece));
    return check.Finish();
  }

  Testing::TempFolder folder_;
  Testing::SigningKey key_;
  std::string file_ = folder_.File("quorvane_1.1.0_amd64.deb");
};

TEST_F(Signatures, AMinisignSignatureVerifiesWhateverPiecesTheBytesComeIn) {
  for (const std::size_t piece : {std::size_t{1}, std::size_t{4095}, std::size_t{1} << 20}) {
    EXPECT_EQ(VerifyInPieces(piece), std::nullopt) << piece;
  }
  EXPECT_EQ(VerifyFileSignature(file_, key_.PublicKeyPath()), std::nullopt);
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
  EXPECT_EQ(VerifyFileSignature(file_, key_.PublicKeyPath()), "its content does not match its signature");
  WriteTextFile(file_, original);

  Testing::SigningKey stranger;
  EXPECT_NE(VerifyFileSignature(file_, stranger.PublicKeyPath()).value_or("").find("it was signed with another key ("),
            std::string::npos);

  std::string signature = ReadTextFile(file_ + ".minisig");
  const auto comment = signature.find("\ntrusted comment: ") + 18;
  signature.insert(comment, "x");
  WriteTextFile(file_ + ".minisig", signature);
  EXPECT_EQ(VerifyFileSignature(file_, key_.PublicKeyPath()), "the trusted comment of its signature does not verify");
}

TEST_F(Signatures, MissingLinkedLegacyAndMalformedSignaturesAreRefused) {
  std::filesystem::rename(file_ + ".minisig", folder_.File("elsewhere.minisig"));
  EXPECT_EQ(VerifyFileSignature(file_, key_.PublicKeyPath()), "its signature is missing");
  std::filesystem::create_symlink(folder_.File("elsewhere.minisig"), file_ + ".minisig");
  EXPECT_NE(VerifyFileSignature(file_, key_.PublicKeyPath()).value_or("").find("is a link"), std::string::npos);
  std::filesystem::remove(file_ + ".minisig");
  std::filesystem::rename(folder_.File("elsewhere.minisig"), file_ + ".minisig");
  std::filesystem::rename(file_, folder_.File("real.deb"));
  std::filesystem::create_symlink(folder_.File("real.deb"), file_);
  EXPECT_EQ(VerifyFileSignature(file_, key_.PublicKeyPath()), "it is a link");
  std::filesystem::remove(file_);
  std::filesystem::rename(folder_.File("real.deb"), file_);

  key_.Sign(file_, folder_.File("legacy.minisig"), "-l");
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
        lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3].substr(4) + "\n", std::string(5000, 'a')}) {
    EXPECT_FALSE(ParseSignature(malformed, reason)) << malformed;
  }
  // CR LF line ends, as a signature copied through another system may have, are the same file.
  std::string crlf;
  for (const auto& line : lines) crlf += line + "\r\n";
  EXPECT_TRUE(ParseSignature(crlf, reason));
  EXPECT_FALSE(ParsePublicKey("untrusted comment: x\nRWQ=\n", reason));
}

}  // namespace
