#include "tools/publish_sign.h"

#include <cstdio>
#include <cstring>

#include "tidewell/updater/key_file.h"
#include "tidewell/updater/record_signature.h"
#include "tools/publish_key_file_platform.h"

namespace {

// The updater fetches the update information into 65536 bytes.
constexpr size_t kFetchLimit = 65536;

std::string HexText(const uint8_t* bytes, size_t count)
{
    std::string text;
    char pair[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof(pair), "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

bool ReadText(const std::string& path, std::string* text)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[4096];
    size_t n;
    text->clear();
    // A key file is a few hundred bytes; anything far larger is not one.
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0 && text->size() < 65536) text->append(chunk, n);
    bool ok = !std::ferror(file);
    (void)std::fclose(file);  // read only: nothing to lose
    return ok;
}

void PutLe(std::vector<uint8_t>* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::string Fingerprint(const uint8_t* xy)
{
    EcPublicKey key;
    std::memcpy(key.xy, xy, kEcPublicKeySize);
    char text[kFingerprintSize];
    KeyFingerprint(key, text);
    return text;
}

}  // namespace

std::string PublicKeyFileText(const EcPublicKey& key)
{
    return std::string(TIDEWELL_PUBLIC_KEY_HEADER "\n") + HexText(key.xy, kEcPublicKeySize) + "\n";
}

std::string PrivateKeyFileText(const EcPrivateKey& key)
{
    return std::string(TIDEWELL_PRIVATE_KEY_HEADER "\n") + HexText(key.d, kEcCoordinateSize) + "\n" +
           HexText(key.publicKey.xy, kEcPublicKeySize) + "\n";
}

bool ReadPublicKeyFile(const std::string& path, EcPublicKey* key, std::string* problem)
{
    std::string text;
    if (!ReadText(path, &text)) {
        *problem = "cannot read the public key " + path;
        return false;
    }
    KeyFileResult result = ParsePublicKeyFile(text.data(), text.size(), key);
    if (result != kKeyFileOk) *problem = "the public key " + path + " is damaged: " + KeyFileResultText(result);
    return result == kKeyFileOk;
}

bool ReadPrivateKeyFile(const std::string& path, EcPrivateKey* key, std::string* problem)
{
    std::string text;
    if (!ReadText(path, &text)) {
        *problem = "cannot read the private key " + path;
        return false;
    }
    KeyFileResult result = ParsePrivateKeyFile(text.data(), text.size(), key);
    if (result != kKeyFileOk) *problem = "the private key " + path + " is damaged: " + KeyFileResultText(result);
    return result == kKeyFileOk;
}

bool SignRecordBytes(std::vector<uint8_t>* record, const uint8_t archiveDigest[kSha256Size], const EcPrivateKey& key,
                     std::string* problem)
{
    if (record->size() + kSignatureBlockSize > kFetchLimit) {
        *problem = "the signed record would be " + std::to_string(record->size() + kSignatureBlockSize) +
                   " bytes; the updater fetches at most " + std::to_string(kFetchLimit);
        return false;
    }
    std::vector<uint8_t> signedRecord = *record;
    PutLe(&signedRecord, kSignatureMagic, 4);
    PutLe(&signedRecord, kSignatureBlockVersion, 2);
    PutLe(&signedRecord, kSignatureBlockSize, 2);
    signedRecord.insert(signedRecord.end(), archiveDigest, archiveDigest + kSha256Size);
    signedRecord.insert(signedRecord.end(), key.publicKey.xy, key.publicKey.xy + kEcPublicKeySize);
    uint8_t digest[kSha256Size];
    uint8_t signature[kEcSignatureSize];
    if (!Sha256(signedRecord.data(), signedRecord.size(), digest) || !EcSign(key, digest, signature)) {
        *problem = "signing failed: the private key is damaged";
        return false;
    }
    signedRecord.insert(signedRecord.end(), signature, signature + kEcSignatureSize);
    SignatureBlock block;
    RecordView view{signedRecord.data(), static_cast<uint32_t>(signedRecord.size())};
    if (CheckRecordSignature(view, &key.publicKey, 1, &block) != kSignatureGood) {
        *problem = "the private key is damaged: its signature does not verify with its own public key";
        return false;
    }
    *record = signedRecord;
    return true;
}

std::string DescribeSignature(const std::vector<uint8_t>& record, const EcPublicKey* key, const std::string* archive,
                              bool* trusted)
{
    *trusted = true;
    RecordView view{record.data(), static_cast<uint32_t>(record.size())};
    SignatureBlock block;
    SignatureBlockState state = FindSignatureBlock(view, &block);
    if (state != kBlockPresent) {
        *trusted = key == nullptr && archive == nullptr;
        return state == kBlockAbsent ? "signature: none\n"
                                     : "signature: malformed (bytes after the notes that are not a signature block)\n";
    }
    std::string out = "signature: by key " + Fingerprint(block.publicKey) + "\n";
    out += "archive SHA-256: " + HexText(block.archiveDigest, kSha256Size) + "\n";
    if (key) {
        bool good = CheckRecordSignature(view, key, 1, &block) == kSignatureGood;
        out += "verifies with key " + Fingerprint(key->xy) + ": " + (good ? "yes" : "no") + "\n";
        *trusted = *trusted && good;
    }
    if (archive) {
        uint8_t digest[kSha256Size];
        bool same = Sha256(reinterpret_cast<const uint8_t*>(archive->data()), archive->size(), digest) &&
                    std::memcmp(digest, block.archiveDigest, kSha256Size) == 0;
        out += std::string("archive matches the signed SHA-256: ") + (same ? "yes" : "no") + "\n";
        *trusted = *trusted && same;
    }
    return out;
}

int RunKeygenCommand(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "tidewell-publish: keygen takes PRIVATE and PUBLIC\n");
        return 1;
    }
    EcPrivateKey key;
    if (!EcGenerate(&key)) {
        std::fprintf(stderr, "tidewell-publish: the key pair could not be made\n");
        return 2;
    }
    // An existing key is never replaced: records it signed would be orphaned.
    if (!WriteNewFile(argv[0], PrivateKeyFileText(key), true)) {
        std::fprintf(stderr, "tidewell-publish: cannot create %s (it must not exist yet)\n", argv[0]);
        return 2;
    }
    if (!WriteNewFile(argv[1], PublicKeyFileText(key.publicKey), false)) {
        std::fprintf(stderr, "tidewell-publish: cannot create %s (it must not exist yet)\n", argv[1]);
        (void)std::remove(argv[0]);  // best effort: the failure is reported either way
        return 2;
    }
    std::memset(key.d, 0, sizeof(key.d));
    std::printf("key %s: private %s, public %s\n", Fingerprint(key.publicKey.xy).c_str(), argv[0], argv[1]);
    return 0;
}
