// trust_test_root: makes the test certificate authority a trusted root of
// the Wine prefix it runs in (the machine's "Root" store), replacing any
// earlier certificate with the same subject, so that a new authority made
// for each test run does not pile up in the prefix.
//
//   trust_test_root CERT.der
//
// Exit status 0 when the certificate is in the store, 1 otherwise.
#include <stdio.h>
#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace {

bool ReadWholeFile(const char* path, std::vector<BYTE>& bytes)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    BYTE chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return !bytes.empty();
}

void RemoveSameSubject(HCERTSTORE store, PCCERT_CONTEXT certificate)
{
    for (;;) {
        PCCERT_CONTEXT old = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                                        &certificate->pCertInfo->Subject, nullptr);
        if (old == nullptr) return;
        if (!CertDeleteCertificateFromStore(old)) return;  // frees old either way
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<BYTE> der;
    if (argc != 2 || !ReadWholeFile(argv[1], der)) {
        fprintf(stderr, "usage: trust_test_root CERT.der\n");
        return 1;
    }
    PCCERT_CONTEXT certificate = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), (DWORD)der.size());
    if (certificate == nullptr) {
        fprintf(stderr, "trust_test_root: %s is not a DER certificate\n", argv[1]);
        return 1;
    }
    // The machine's "Root" store as it lies in the registry: Wine's system
    // store of that name also holds the host's roots in memory and keeps
    // changes to them from reaching the registry.
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    bool added = false;
    if (store != nullptr) {
        RemoveSameSubject(store, certificate);
        added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), (DWORD)der.size(),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
        CertCloseStore(store, 0);
    }
    CertFreeCertificateContext(certificate);
    if (!added) {
        fprintf(stderr, "trust_test_root: cannot add the certificate (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
