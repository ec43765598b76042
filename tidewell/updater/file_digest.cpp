#include "tidewell/updater/file_digest.h"

#include <windows.h>

#include <bcrypt.h>

#include "common/file_hash.h"

bool Sha256File(const char* path, uint8_t digest[kSha256Size])
{
    return HashFileWithCng(path, BCRYPT_SHA256_ALGORITHM, digest, kSha256Size);
}
