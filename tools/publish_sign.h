// The publisher's keys and signatures for tidewell-publish: key files,
// signing a record, and the signature part of "show".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tidewell/updater/signing.h"

std::string PublicKeyFileText(const EcPublicKey& key);
std::string PrivateKeyFileText(const EcPrivateKey& key);

// Reads a key file; on failure *problem says why, naming the file.
bool ReadPublicKeyFile(const std::string& path, EcPublicKey* key, std::string* problem);
bool ReadPrivateKeyFile(const std::string& path, EcPrivateKey* key, std::string* problem);

// Appends the signature block to the record's bytes: the archive's SHA-256
// (zero when the record names none) and the signature over both. The
// signature is checked with the key's public half before it is kept, so a
// damaged private key file signs nothing.
bool SignRecordBytes(std::vector<uint8_t>* record, const uint8_t archiveDigest[kSha256Size], const EcPrivateKey& key,
                     std::string* problem);

// The "signature" lines of show. With a key: whether the signature
// verifies with it; with an archive's bytes: whether they are the signed
// ones. *trusted is false when a given key or archive does not match.
std::string DescribeSignature(const std::vector<uint8_t>& record, const EcPublicKey* key, const std::string* archive,
                              bool* trusted);

int RunKeygenCommand(int argc, char** argv);
