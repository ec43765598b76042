// Digest of a whole file through the system's CNG, read in pieces.
#pragma once

#include <stddef.h>
#include <stdint.h>

// algorithm is a CNG algorithm name (BCRYPT_SHA256_ALGORITHM...); digest
// receives digestSize bytes. False when the file cannot be read or hashed.
bool HashFileWithCng(const char* path, const wchar_t* algorithm, uint8_t* digest, size_t digestSize);
