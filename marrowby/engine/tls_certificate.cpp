// The server's certificate, checked explicitly: its chain is built against
// the system's trusted roots and verified with the SSL policy for the host
// name. Both the chain's own trust status and the policy's verdict must be
// clean: some systems' SSL policy lets a chain that ends short of any
// trusted root pass, while its trust status still says so.
#include "marrowby/engine/tls_session.h"

#include <string.h>
#include <wincrypt.h>
#include <schannel.h>

#include "marrowby/engine/job_failure.h"

namespace {

int32_t FailureOfPolicyError(DWORD error)
{
    switch (error) {
    case 0: return JobFailureNone;
    case (DWORD)CERT_E_CN_NO_MATCH: return JobFailureCertificateName;
    case (DWORD)CERT_E_EXPIRED: return JobFailureCertificateExpired;
    case (DWORD)CERT_E_UNTRUSTEDROOT:
    case (DWORD)CERT_E_CHAINING:
    case (DWORD)CERT_E_UNTRUSTEDCA:
    case (DWORD)TRUST_E_CERT_SIGNATURE: return JobFailureCertificateUntrusted;
    default: return JobFailureCertificateInvalid;
    }
}

int32_t FailureOfTrustStatus(DWORD status)
{
    if (status == CERT_TRUST_NO_ERROR) return JobFailureNone;
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return JobFailureCertificateExpired;
    const DWORD untrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                            CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC;
    if (status & untrusted) return JobFailureCertificateUntrusted;
    return JobFailureCertificateInvalid;
}

PCCERT_CHAIN_CONTEXT BuildServerChain(PCCERT_CONTEXT certificate)
{
    LPSTR serverAuth[] = {(LPSTR)szOID_PKIX_KP_SERVER_AUTH};
    CERT_CHAIN_PARA para;
    memset(&para, 0, sizeof para);
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    // The server's intermediates come with its certificate's own store.
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, 0, nullptr, &chain))
        return nullptr;
    return chain;
}

DWORD SslPolicyError(PCCERT_CHAIN_CONTEXT chain, const char* host)
{
    WCHAR serverName[kUrlHostMax + 1];
    if (MultiByteToWideChar(CP_ACP, 0, host, -1, serverName, kUrlHostMax + 1) == 0) return (DWORD)CERT_E_CN_NO_MATCH;
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl;
    memset(&ssl, 0, sizeof ssl);
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = serverName;
    CERT_CHAIN_POLICY_PARA policy;
    memset(&policy, 0, sizeof policy);
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status;
    memset(&status, 0, sizeof status);
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) return (DWORD)TRUST_E_FAIL;
    return status.dwError;
}

}  // namespace

int32_t CheckServerCertificate(TlsSession& session)
{
    if (!session.established) return JobFailureTlsHandshake;
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesA(&session.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
        certificate == nullptr)
        return JobFailureCertificateInvalid;
    int32_t failure = JobFailureCertificateInvalid;
    PCCERT_CHAIN_CONTEXT chain = BuildServerChain(certificate);
    if (chain != nullptr) {
        failure = FailureOfPolicyError(SslPolicyError(chain, session.host));
        if (failure == JobFailureNone) failure = FailureOfTrustStatus(chain->TrustStatus.dwErrorStatus);
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(certificate);
    return failure;
}
