// The publisher's key files: short ASCII texts, so that a public key can be
// read, compared and pasted anywhere.
//
//   public:   "Tidewell public key (ECDSA P-256)"
//             128 hexadecimal digits: X then Y, big-endian
//   private:  "Tidewell private key (ECDSA P-256)"
//             64 hexadecimal digits: the secret number d, big-endian
//             128 hexadecimal digits: the public key, as above
//
// Lines end in LF or CR LF; the last line end may be missing.
#pragma once

#include <cstddef>

#include "tidewell/updater/signing.h"

#define TIDEWELL_PUBLIC_KEY_HEADER "Tidewell public key (ECDSA P-256)"
#define TIDEWELL_PRIVATE_KEY_HEADER "Tidewell private key (ECDSA P-256)"

enum KeyFileResult {
    kKeyFileOk = 0,
    kKeyFileNotAKey = 1,    // the first line is neither header
    kKeyFileWrongKind = 2,  // a public key where a private one is wanted, or the reverse
    kKeyFileBadDigits = 3,  // a line of the wrong length or with a non-hexadecimal character
    kKeyFileTrailing = 4    // lines missing, or more text after the key
};

KeyFileResult ParsePublicKeyFile(const char* text, size_t size, EcPublicKey* key);
KeyFileResult ParsePrivateKeyFile(const char* text, size_t size, EcPrivateKey* key);
const char* KeyFileResultText(KeyFileResult result);
