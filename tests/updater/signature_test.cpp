// Publisher signatures of update records, natively (libcrypto) and under
// Wine (CNG): the judging of every hostile change, a signature made by the
// other implementation, the key files and tidewell-publish's keygen, write
// --sign and show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/support/testenv.h"
#include "tests/support/tool_run.h"
#include "tests/updater/record_bytes.h"
#include "tidewell/updater/key_file.h"
#include "tidewell/updater/record_signature.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RecordView View(const RecordBytes& bytes)
{
    return RecordView{bytes.data(), static_cast<uint32_t>(bytes.size())};
}

// The block laid out with literal offsets: magic, version 1, size 168, the
// archive digest, the key, and the signature over everything before it.
RecordBytes Signed(RecordBytes record, const EcPrivateKey& key, uint8_t archiveByte = 0x5A)
{
    size_t at = record.size();
    record.resize(at + 104, 0);
    PutText(record, at, "TWSG");
    PutLe(record, at + 4, 1, 2);
    PutLe(record, at + 6, 168, 2);
    std::memset(record.data() + at + 8, archiveByte, 32);
    std::memcpy(record.data() + at + 40, key.publicKey.xy, 64);
    uint8_t digest[32];
    uint8_t signature[64];
    EXPECT_TRUE(Sha256(record.data(), record.size(), digest));
    EXPECT_TRUE(EcSign(key, digest, signature));
    record.insert(record.end(), signature, signature + 64);
    return record;
}

SignatureVerdict Judge(const RecordBytes& record, std::initializer_list<EcPublicKey> keys)
{
    SignatureBlock block;
    return CheckRecordSignature(View(record), keys.begin(), keys.size(), &block);
}

TEST(RecordSignature, RoundTripAndEveryHostileChangeRefused)
{
    EcPrivateKey mine, other;
    ASSERT_TRUE(EcGenerate(&mine));
    ASSERT_TRUE(EcGenerate(&other));
    RecordBytes plain = Record2(0x01000001, 0x11, 0x08, "http://127.0.0.1/a.lzh", "signed notes");
    RecordBytes record = Signed(plain, mine);
    ASSERT_EQ(plain.size() + 168, record.size());

    SignatureBlock block;
    EXPECT_EQ(kSignatureGood, CheckRecordSignature(View(record), &mine.publicKey, 1, &block));
    EXPECT_EQ(plain.size(), block.offset);
    EXPECT_EQ(0x5A, block.archiveDigest[0]);
    EXPECT_EQ(0x5A, block.archiveDigest[31]);
    EXPECT_EQ(kSignatureGood, Judge(record, {other.publicKey, mine.publicKey}));
    EXPECT_EQ(kSignatureOtherKey, Judge(record, {other.publicKey}));
    EXPECT_EQ(kSignatureMissing, Judge(plain, {mine.publicKey}));

    // Any one byte changed, anywhere, in the record or in its block.
    for (size_t i = 0; i < record.size(); ++i) {
        RecordBytes changed = record;
        changed[i] ^= 0x01;
        EXPECT_NE(kSignatureGood, Judge(changed, {mine.publicKey})) << "byte " << i;
    }
    // A signature cut short, a block of the wrong length, a byte after it.
    for (size_t cut : {1, 32, 64, 167}) {
        RecordBytes shorter(record.begin(), record.end() - cut);
        EXPECT_EQ(kSignatureMalformed, Judge(shorter, {mine.publicKey})) << cut;
    }
    RecordBytes sizeField = record;
    PutLe(sizeField, plain.size() + 6, 167, 2);
    EXPECT_EQ(kSignatureMalformed, Judge(sizeField, {mine.publicKey}));
    RecordBytes longer = record;
    longer.push_back(0);
    EXPECT_EQ(kSignatureMalformed, Judge(longer, {mine.publicKey}));
    // Another key's signature under this key's name, and another key's own
    // block with another archive digest.
    RecordBytes forged = Signed(plain, other);
    std::memcpy(forged.data() + plain.size() + 40, mine.publicKey.xy, 64);
    EXPECT_EQ(kSignatureBad, Judge(forged, {mine.publicKey}));
    EXPECT_EQ(kSignatureOtherKey, Judge(Signed(plain, other, 0x11), {mine.publicKey}));
    // Format 1 carries no block.
    EXPECT_EQ(kSignatureMissing, Judge(Record1(0x01000001), {mine.publicKey}));
}

// Made by tidewell-publish on the host with libcrypto: CNG must take it as
// it is, and libcrypto too.
TEST(RecordSignature, VerifiesASignatureMadeByTheHostTool)
{
    std::string bytes = Read(SourcePath("tests/updater/openssl-signed.qvn"));
    std::string keyText = Read(SourcePath("tests/updater/test-publisher.pub"));
    ASSERT_EQ(538u, bytes.size());
    EcPublicKey key;
    ASSERT_EQ(kKeyFileOk, ParsePublicKeyFile(keyText.data(), keyText.size(), &key));
    RecordBytes record(bytes.begin(), bytes.end());
    EXPECT_EQ(kSignatureGood, Judge(record, {key}));
    record[12] ^= 0x02;  // the version
    EXPECT_EQ(kSignatureBad, Judge(record, {key}));
    char fingerprint[kFingerprintSize];
    KeyFingerprint(key, fingerprint);
    EXPECT_STREQ("fd5978055f744038", fingerprint);
}

TEST(KeyFiles, ParsedAndEachDamageNamed)
{
    std::string pub = Read(SourcePath("tests/updater/test-publisher.pub"));
    std::string priv = Read(SourcePath("tests/updater/test-publisher.key"));
    EcPublicKey publicKey;
    EcPrivateKey privateKey;
    ASSERT_EQ(kKeyFileOk, ParsePublicKeyFile(pub.data(), pub.size(), &publicKey));
    ASSERT_EQ(kKeyFileOk, ParsePrivateKeyFile(priv.data(), priv.size(), &privateKey));
    EXPECT_EQ(0, std::memcmp(publicKey.xy, privateKey.publicKey.xy, 64));
    EXPECT_EQ(0x33, privateKey.d[0]);
    EXPECT_EQ(0x06, privateKey.d[31]);
    // CR LF line ends and a missing last line end are the same key.
    std::string crlf = pub.substr(0, pub.find('\n')) + "\r\n" + pub.substr(pub.find('\n') + 1, 128);
    EcPublicKey again;
    EXPECT_EQ(kKeyFileOk, ParsePublicKeyFile(crlf.data(), crlf.size(), &again));
    EXPECT_EQ(0, std::memcmp(publicKey.xy, again.xy, 64));

    struct Damage {
        std::string text;
        KeyFileResult result;
    } const kPublic[] = {{"", kKeyFileNotAKey},
                         {"x" + pub, kKeyFileNotAKey},
                         {priv, kKeyFileWrongKind},
                         {pub.substr(0, pub.size() - 2) + "\n", kKeyFileBadDigits},
                         {pub.substr(0, 40) + "g" + pub.substr(41), kKeyFileBadDigits},
                         {pub + "extra\n", kKeyFileTrailing}};
    for (const Damage& damage : kPublic)
        EXPECT_EQ(damage.result, ParsePublicKeyFile(damage.text.data(), damage.text.size(), &again)) << damage.text;
    EcPrivateKey other;
    EXPECT_EQ(kKeyFileWrongKind, ParsePrivateKeyFile(pub.data(), pub.size(), &other));
    std::string twoLines = priv.substr(0, priv.rfind('\n', priv.size() - 2) + 1);
    EXPECT_EQ(kKeyFileTrailing, ParsePrivateKeyFile(twoLines.data(), twoLines.size(), &other));
}

class SigningTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ToolBinary("tidewell-publish"))) GTEST_SKIP() << "tidewell-publish is not built";
        dir_ = ScratchDir("signing") + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    std::string Path(const char* name) const { return dir_ + "/" + name; }
    std::string File(const char* name, const std::string& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    ToolRun Publish(const std::string& arguments) { return RunTool(ToolBinary("tidewell-publish"), arguments); }
    ToolRun Write(const std::string& record, const std::string& key, const std::string& archive)
    {
        return Publish("write " + Quote(record) + " --id 0123456789abcdef0123456789abcdef --version 1.2.3.4" +
                       " --product Marrowby --program marrowby.exe --info-url http://127.0.0.1/r.qvn" +
                       " --archive-url http://127.0.0.1/a.lzh --archive " + Quote(archive) + " --sign " + Quote(key));
    }

    std::string dir_;
};

TEST_F(SigningTool, KeygenWriteSignShowAndRefusals)
{
    ToolRun made = Publish("keygen " + Quote(Path("p.key")) + " " + Quote(Path("p.pub")));
    ASSERT_EQ(0, made.status) << made.output;
    ASSERT_EQ(0, Publish("keygen " + Quote(Path("o.key")) + " " + Quote(Path("o.pub"))).status);
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(0, stat(Path("p.key").c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
#endif
    // An existing key is never overwritten.
    std::string key = Read(Path("p.key"));
    EXPECT_EQ(2, Publish("keygen " + Quote(Path("p.key")) + " " + Quote(Path("n.pub"))).status);
    EXPECT_EQ(key, Read(Path("p.key")));

    std::string archive(70000, 'a');
    for (size_t i = 0; i < archive.size(); ++i) archive[i] = static_cast<char>(i * 31 + (i >> 9));
    std::string archivePath = File("a.lzh", archive);
    ToolRun written = Write(Path("r.qvn"), Path("p.key"), archivePath);
    ASSERT_EQ(0, written.status) << written.output;
    std::string record = Read(Path("r.qvn"));

    ToolRun shown =
        Publish("show " + Quote(Path("r.qvn")) + " --key " + Quote(Path("p.pub")) + " --archive " + Quote(archivePath));
    EXPECT_EQ(0, shown.status) << shown.output;
    std::string fingerprint = made.output.substr(4, 16);  // "key <fingerprint>: ..."
    EXPECT_NE(std::string::npos, shown.output.find("signature: by key " + fingerprint)) << shown.output;
    EXPECT_NE(std::string::npos, shown.output.find("verifies with key " + fingerprint + ": yes")) << shown.output;
    EXPECT_NE(std::string::npos, shown.output.find("archive matches the signed SHA-256: yes")) << shown.output;

    // Another key, a changed record, a changed archive: each said and refused.
    ToolRun otherKey = Publish("show " + Quote(Path("r.qvn")) + " --key " + Quote(Path("o.pub")));
    EXPECT_EQ(3, otherKey.status);
    EXPECT_NE(std::string::npos, otherKey.output.find(": no")) << otherKey.output;
    std::string changed = record;
    changed[100] ^= 0x20;
    File("changed.qvn", changed);
    EXPECT_EQ(3, Publish("show " + Quote(Path("changed.qvn")) + " --key " + Quote(Path("p.pub"))).status);
    std::string otherArchive = archive;
    otherArchive[archive.size() / 2] ^= 0x01;
    File("b.lzh", otherArchive);
    ToolRun archiveShown = Publish("show " + Quote(Path("r.qvn")) + " --key " + Quote(Path("p.pub")) + " --archive " +
                                   Quote(Path("b.lzh")));
    EXPECT_EQ(3, archiveShown.status);
    EXPECT_NE(std::string::npos, archiveShown.output.find("archive matches the signed SHA-256: no"));
    File("unsigned.qvn", record.substr(0, record.size() - 168));
    ToolRun unsignedShown = Publish("show " + Quote(Path("unsigned.qvn")) + " --key " + Quote(Path("p.pub")));
    EXPECT_EQ(3, unsignedShown.status);
    EXPECT_NE(std::string::npos, unsignedShown.output.find("signature: none"));

    // Damaged key files: refused with a message, nothing written.
    std::string priv = Read(Path("p.key"));
    std::string badDigit = priv;
    badDigit[priv.find('\n') + 5] = 'z';
    std::string otherHalf = priv;  // a valid number that is not this key's secret
    char& digit = otherHalf[priv.find('\n') + 5];
    digit = digit == '0' ? '1' : '0';
    for (const std::string& bad : {badDigit, otherHalf, Read(Path("p.pub"))}) {
        File("bad.key", bad);
        ToolRun refused = Write(Path("bad.qvn"), Path("bad.key"), archivePath);
        EXPECT_EQ(2, refused.status) << refused.output;
        EXPECT_NE(std::string::npos, refused.output.find("damaged")) << refused.output;
        EXPECT_FALSE(fs::exists(Path("bad.qvn")));
    }
    File("bad.pub", Read(Path("p.pub")).substr(0, 60));
    ToolRun badPublic = Publish("show " + Quote(Path("r.qvn")) + " --key " + Quote(Path("bad.pub")));
    EXPECT_EQ(2, badPublic.status);
    EXPECT_NE(std::string::npos, badPublic.output.find("damaged")) << badPublic.output;
}

}  // namespace
