#include "tidewell/updater/publisher_keys.h"

#include <cstring>

#include "tidewell/resources/resource.h"
#include "tidewell/updater/file_digest.h"
#include "tidewell/updater/key_file.h"
#include "tidewell/updater/record_signature.h"
#include "tidewell/updater/version_compare.h"

namespace {

// A built-in key that does not parse is not "no key": every record is
// refused rather than taken unchecked.
void LoadBuiltInKey(UpdaterContext* context)
{
    HRSRC found = FindResourceA(context->instance, MAKEINTRESOURCEA(IDR_PUBLIC_KEY), MAKEINTRESOURCEA(10));
    if (!found) return;
    HGLOBAL loaded = LoadResource(context->instance, found);
    const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    DWORD size = SizeofResource(context->instance, found);
    EcPublicKey key;
    if (!text || ParsePublicKeyFile(text, size, &key) != kKeyFileOk) {
        context->publicKeyDamaged = 1;
        return;
    }
    context->publisherKeys[context->publisherKeyCount++] = key;
}

void LoadInstalledSigner(UpdaterContext* context)
{
    SignatureBlock block;
    if (FindSignatureBlock(InstalledRecord(*context), &block) != kBlockPresent) return;
    EcPublicKey key;
    std::memcpy(key.xy, block.publicKey, kEcPublicKeySize);
    for (uint32_t i = 0; i < context->publisherKeyCount; ++i)
        if (std::memcmp(context->publisherKeys[i].xy, key.xy, kEcPublicKeySize) == 0) return;
    context->publisherKeys[context->publisherKeyCount++] = key;
}

}  // namespace

void LoadPublisherKeys(UpdaterContext* context)
{
    context->publisherKeyCount = 0;
    context->publicKeyDamaged = 0;
    LoadBuiltInKey(context);
    LoadInstalledSigner(context);
}

int JudgeFetchedRecord(UpdaterContext* context, int32_t comparison)
{
    if (!HoldsPublisherKey(*context)) return 0;
    if (context->publicKeyDamaged) return IDS_PUBLIC_KEY_DAMAGED;
    SignatureBlock block;
    switch (CheckRecordSignature(FetchedRecord(*context), context->publisherKeys, context->publisherKeyCount, &block)) {
    case kSignatureGood: break;
    case kSignatureMissing: return IDS_RECORD_UNSIGNED;
    case kSignatureOtherKey: return IDS_RECORD_OTHER_KEY;
    case kSignatureMalformed:
    case kSignatureBad: return IDS_RECORD_SIGNATURE_BAD;
    }
    // A genuine old record must not take an install back to a version with
    // known faults.
    if (comparison == kCompareOlderVersion) return IDS_OLDER_NOT_OFFERED;
    std::memcpy(context->signedArchiveDigest, block.archiveDigest, kSha256Size);
    return 0;
}

bool ArchiveIsTheSignedOne(const UpdaterContext& context, const char* path)
{
    if (!HoldsPublisherKey(context)) return true;
    uint8_t digest[kSha256Size];
    return Sha256File(path, digest) && std::memcmp(digest, context.signedArchiveDigest, kSha256Size) == 0;
}
