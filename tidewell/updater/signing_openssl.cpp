// The host's implementation of the signing calls, on OpenSSL's libcrypto.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <cstring>

#include "tidewell/updater/signing.h"

namespace {

constexpr size_t kPointSize = 1 + kEcPublicKeySize;  // 04, X, Y: an uncompressed point

// An EC key on P-256 from its raw numbers; d may be null for a public key.
// OpenSSL refuses a point that is not on the curve.
EVP_PKEY* MakeKey(const EcPublicKey& publicKey, const uint8_t* d)
{
    uint8_t point[kPointSize];
    point[0] = 0x04;
    std::memcpy(point + 1, publicKey.xy, kEcPublicKeySize);
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    BIGNUM* secret = d ? BN_bin2bn(d, kEcCoordinateSize, nullptr) : nullptr;
    OSSL_PARAM* params = nullptr;
    EVP_PKEY* key = nullptr;
    if (build && OSSL_PARAM_BLD_push_utf8_string(build, OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) &&
        OSSL_PARAM_BLD_push_octet_string(build, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof(point)) &&
        (!d || (secret && OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_PRIV_KEY, secret))) &&
        (params = OSSL_PARAM_BLD_to_param(build)) != nullptr) {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
        if (context && EVP_PKEY_fromdata_init(context) > 0)
            EVP_PKEY_fromdata(context, &key, d ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params);
        EVP_PKEY_CTX_free(context);
    }
    OSSL_PARAM_free(params);
    BN_clear_free(secret);
    OSSL_PARAM_BLD_free(build);
    return key;
}

}  // namespace

bool Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Size])
{
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 && length == kSha256Size;
}

bool EcVerify(const EcPublicKey& key, const uint8_t digest[kSha256Size], const uint8_t signature[kEcSignatureSize])
{
    EVP_PKEY* pkey = MakeKey(key, nullptr);
    ECDSA_SIG* sig = ECDSA_SIG_new();
    BIGNUM* r = BN_bin2bn(signature, kEcCoordinateSize, nullptr);
    BIGNUM* s = BN_bin2bn(signature + kEcCoordinateSize, kEcCoordinateSize, nullptr);
    bool good = false;
    if (pkey && sig && r && s && ECDSA_SIG_set0(sig, r, s)) {
        r = s = nullptr;  // owned by sig now
        unsigned char* der = nullptr;
        int derLength = i2d_ECDSA_SIG(sig, &der);
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(pkey, nullptr);
        good = derLength > 0 && context && EVP_PKEY_verify_init(context) > 0 &&
               EVP_PKEY_verify(context, der, static_cast<size_t>(derLength), digest, kSha256Size) == 1;
        EVP_PKEY_CTX_free(context);
        OPENSSL_free(der);
    }
    BN_free(r);
    BN_free(s);
    ECDSA_SIG_free(sig);
    EVP_PKEY_free(pkey);
    return good;
}

bool EcSign(const EcPrivateKey& key, const uint8_t digest[kSha256Size], uint8_t signature[kEcSignatureSize])
{
    EVP_PKEY* pkey = MakeKey(key.publicKey, key.d);
    EVP_PKEY_CTX* context = pkey ? EVP_PKEY_CTX_new(pkey, nullptr) : nullptr;
    unsigned char der[80];
    size_t derLength = sizeof(der);
    bool good =
        context && EVP_PKEY_sign_init(context) > 0 && EVP_PKEY_sign(context, der, &derLength, digest, kSha256Size) == 1;
    EVP_PKEY_CTX_free(context);
    EVP_PKEY_free(pkey);
    if (!good) return false;
    const unsigned char* in = der;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(derLength));
    if (!sig) return false;
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(sig, &r, &s);
    good = BN_bn2binpad(r, signature, kEcCoordinateSize) == kEcCoordinateSize &&
           BN_bn2binpad(s, signature + kEcCoordinateSize, kEcCoordinateSize) == kEcCoordinateSize;
    ECDSA_SIG_free(sig);
    return good;
}

bool EcGenerate(EcPrivateKey* key)
{
    EVP_PKEY* pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    if (!pkey) return false;
    BIGNUM* secret = nullptr;
    uint8_t point[kPointSize];
    size_t pointLength = 0;
    bool good =
        EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_PRIV_KEY, &secret) == 1 &&
        BN_bn2binpad(secret, key->d, kEcCoordinateSize) == kEcCoordinateSize &&
        EVP_PKEY_get_octet_string_param(pkey, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof(point), &pointLength) == 1 &&
        pointLength == kPointSize && point[0] == 0x04;
    if (good) std::memcpy(key->publicKey.xy, point + 1, kEcPublicKeySize);
    BN_clear_free(secret);
    EVP_PKEY_free(pkey);
    return good;
}
