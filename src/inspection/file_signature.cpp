#include "inspection/file_signature.h"

#include "inspection/image_file.h"
#include "inspection/pe_image.h"
#include "inspection/time_stamp_token.h"
#include "platform/file_system_redirection.h"
#include "platform/proc_address.h"

#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

#include <softpub.h>

#include <cstring>

namespace calvorn::inspection {

namespace {

// Bound on first use: runs that never check a signature never load the
// trust provider.
struct TrustCalls {
    decltype(&::WinVerifyTrust) verify = nullptr;
    decltype(&::WTHelperProvDataFromStateData) providerData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) signer = nullptr;
    decltype(&::WTHelperGetProvCertFromChain) certificate = nullptr;
    decltype(&::CertGetNameStringW) name = nullptr;
    decltype(&::CertVerifyCertificateChainPolicy) policy = nullptr;
    decltype(&::CryptDecodeObject) decode = nullptr;

    bool Complete() const {
        return verify && providerData && signer && certificate && name && policy && decode;
    }
};

const TrustCalls& Calls() {
    static const TrustCalls calls = [] {
        using platform::SystemProc;
        TrustCalls c;
        c.verify = SystemProc<decltype(::WinVerifyTrust)>(L"wintrust.dll", "WinVerifyTrust");
        c.providerData = SystemProc<decltype(::WTHelperProvDataFromStateData)>(
            L"wintrust.dll", "WTHelperProvDataFromStateData");
        c.signer = SystemProc<decltype(::WTHelperGetProvSignerFromChain)>(
            L"wintrust.dll", "WTHelperGetProvSignerFromChain");
        c.certificate = SystemProc<decltype(::WTHelperGetProvCertFromChain)>(
            L"wintrust.dll", "WTHelperGetProvCertFromChain");
        c.name = SystemProc<decltype(::CertGetNameStringW)>(L"crypt32.dll", "CertGetNameStringW");
        c.policy = SystemProc<decltype(::CertVerifyCertificateChainPolicy)>(
            L"crypt32.dll", "CertVerifyCertificateChainPolicy");
        c.decode = SystemProc<decltype(::CryptDecodeObject)>(L"crypt32.dll", "CryptDecodeObject");
        return c;
    }();
    return calls;
}

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The provider's verdicts that speak of the certificates, not of the bytes:
// the signature matches the file, but this machine does not trust who made it.
bool IsDistrustOfTheChain(LONG verdict) {
    switch (static_cast<HRESULT>(verdict)) {
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING:
    case CERT_E_ROLE:
    case CERT_E_PATHLENCONST:
    case CERT_E_CRITICAL:
    case CERT_E_PURPOSE:
    case CERT_E_ISSUERCHAINING:
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case CERT_E_REVOKED:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_REVOCATION_FAILURE:
    case CERT_E_WRONG_USAGE:
    case CERT_E_UNTRUSTEDCA:
    case TRUST_E_EXPLICIT_DISTRUST:
    case TRUST_E_BASIC_CONSTRAINTS:
    case TRUST_E_FINANCIAL_CRITERIA:
    case TRUST_E_SUBJECT_NOT_TRUSTED:
        return true;
    default:
        return false;
    }
}

// Verdicts that say the file could not be read at the time, not that its
// signature is wrong.
std::uint32_t ReadFailureIn(LONG verdict) {
    switch (static_cast<HRESULT>(verdict)) {
    case E_OUTOFMEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    case HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION):
    case HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION):
    case HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED):
    case HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY):
        return HRESULT_CODE(verdict);
    default:
        return 0;
    }
}

// Closes the provider's state of one verification, however it ended.
class VerificationState {
  public:
    VerificationState(const TrustCalls& calls, WINTRUST_DATA& data, GUID& action)
        : calls_(calls), data_(data), action_(action) {}
    VerificationState(const VerificationState&) = delete;
    VerificationState& operator=(const VerificationState&) = delete;
    ~VerificationState() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        calls_.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }

  private:
    const TrustCalls& calls_;
    WINTRUST_DATA& data_;
    GUID& action_;
};

// Every certificate of the signer's chain without a complaint, and the
// chain to a trusted root. The provider's verdict alone is not enough:
// Wine's answers yes for a chain that ends at an unknown root and tells it
// only on the certificates.
bool ChainIsTrusted(const TrustCalls& calls, CRYPT_PROVIDER_SGNR& signer) {
    if (signer.dwError != 0 || signer.csCertChain == 0)
        return false;
    for (DWORD i = 0; i < signer.csCertChain; ++i) {
        const CRYPT_PROVIDER_CERT* certificate = calls.certificate(&signer, i);
        if (!certificate || certificate->dwError != 0)
            return false;
    }
    if (!signer.pChainContext)
        return true;
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    return calls.policy(CERT_CHAIN_POLICY_BASE, signer.pChainContext, &para, &status) &&
           status.dwError == 0;
}

// A certificate of the chain whose own signature does not hold was changed
// after it was issued: its subject may be anyone's name. Wine's provider
// answers yes for such a chain too and tells it only on the certificate.
bool ChainIsDamaged(const TrustCalls& calls, CRYPT_PROVIDER_SGNR& signer) {
    for (DWORD i = 0; i < signer.csCertChain; ++i) {
        const CRYPT_PROVIDER_CERT* certificate = calls.certificate(&signer, i);
        if (certificate && certificate->dwError == static_cast<DWORD>(TRUST_E_CERT_SIGNATURE))
            return true;
    }
    return signer.pChainContext &&
           (signer.pChainContext->TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_SIGNATURE_VALID);
}

std::wstring SubjectName(const TrustCalls& calls, PCCERT_CONTEXT certificate) {
    const DWORD need =
        calls.name(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (need <= 1)
        return {};
    std::wstring name(need, L'\0');
    const DWORD got =
        calls.name(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), need);
    name.resize(got > 0 && got <= need ? got - 1 : 0);
    return name;
}

const CRYPT_ATTRIBUTE* FindAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) {
    for (DWORD i = 0; i < attributes.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = attributes.rgAttr[i];
        if (attribute.pszObjId && std::strcmp(attribute.pszObjId, oid) == 0 &&
            attribute.cValue > 0 && attribute.rgValue)
            return &attribute;
    }
    return nullptr;
}

std::optional<std::uint64_t> SigningTimeAttribute(const TrustCalls& calls,
                                                  const CRYPT_ATTRIBUTES& attributes) {
    const CRYPT_ATTRIBUTE* attribute = FindAttribute(attributes, szOID_RSA_signingTime);
    if (!attribute)
        return std::nullopt;
    FILETIME time{};
    DWORD size = sizeof time;
    if (!calls.decode(kEncoding, szOID_RSA_signingTime, attribute->rgValue[0].pbData,
                      attribute->rgValue[0].cbData, 0, &time, &size))
        return std::nullopt;
    return Ticks(time);
}

// An RFC 3161 time stamp that the provider did not make a counter-signer of
// (Wine's does not) stays among the signer's unsigned attributes.
std::optional<std::uint64_t> TimeStampAttributeTime(const CRYPT_ATTRIBUTES& attributes) {
    const CRYPT_ATTRIBUTE* attribute = FindAttribute(attributes, szOID_RFC3161_counterSign);
    if (!attribute)
        return std::nullopt;
    return TimeStampTokenTime(attribute->rgValue[0].pbData, attribute->rgValue[0].cbData);
}

// The counter-signature's time when there is one: it is vouched for by a
// time-stamping authority, the signer's own attribute only by the signer.
std::optional<std::uint64_t> SigningTime(const TrustCalls& calls,
                                         const CRYPT_PROVIDER_SGNR& signer) {
    for (DWORD i = 0; i < signer.csCounterSigners && signer.pasCounterSigners; ++i) {
        const CRYPT_PROVIDER_SGNR& counter = signer.pasCounterSigners[i];
        if (counter.psSigner)
            if (auto time = SigningTimeAttribute(calls, counter.psSigner->AuthAttrs))
                return time;
        if (counter.sftVerifyAsOf.dwHighDateTime || counter.sftVerifyAsOf.dwLowDateTime)
            return Ticks(counter.sftVerifyAsOf);
    }
    if (!signer.psSigner)
        return std::nullopt;
    if (auto time = TimeStampAttributeTime(signer.psSigner->UnauthAttrs))
        return time;
    return SigningTimeAttribute(calls, signer.psSigner->AuthAttrs);
}

FileSignature Verify(const TrustCalls& calls, const std::wstring& path, HANDLE file) {
    FileSignature result;
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    // The provider reads the file already open, not whatever the name
    // points at by then.
    fileInfo.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG verdict = calls.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    VerificationState closeAtEnd(calls, data, action);

    if (verdict != 0 && !IsDistrustOfTheChain(verdict)) {
        result.readError = ReadFailureIn(verdict);
        // A security directory is there, so "no signature" means one that
        // cannot be read.
        result.state = SignatureState::Invalid;
        return result;
    }
    CRYPT_PROVIDER_DATA* provider = calls.providerData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider ? calls.signer(provider, 0, FALSE, 0) : nullptr;
    if (signer && ChainIsDamaged(calls, *signer)) {
        result.state = SignatureState::Invalid;
        return result;
    }
    const CRYPT_PROVIDER_CERT* certificate = signer ? calls.certificate(signer, 0) : nullptr;
    const bool trusted = verdict == 0 && signer && ChainIsTrusted(calls, *signer);
    result.state = trusted ? SignatureState::Valid : SignatureState::Untrusted;
    if (certificate && certificate->pCert)
        result.signer = SubjectName(calls, certificate->pCert);
    if (signer)
        result.signedTime = SigningTime(calls, *signer);
    return result;
}

} // namespace

FileSignature CheckSignature(const std::wstring& path) {
    FileSignature result;
    const TrustCalls& calls = Calls();
    if (!calls.Complete()) {
        result.readError = ERROR_PROC_NOT_FOUND;
        return result;
    }
    std::optional<ImageFile> image;
    std::uint32_t openError = 0;
    {
        // Only the open: the provider loads DLLs of its own, and those must
        // come from the system folder of this program's bitness.
        platform::FileSystemRedirectionOff seeTheNamedFile;
        image = ImageFile::Open(path, &openError);
    }
    if (!image) {
        result.readError = openError ? openError : ERROR_INVALID_FUNCTION;
        return result;
    }
    FileReader& reader = image->reader();
    const PeHeadersResult pe = ReadPeHeaders(reader);
    const PeDataDirectory security = pe.read == PeHeadersRead::Read
                                         ? pe.headers.Directory(reader, PeDirectory::Security)
                                         : PeDataDirectory{};
    // Only a PE image with a security directory carries an embedded signature.
    const bool claimed = security.rva != 0 && security.size != 0;
    // Its first entry: length, revision, type. Authenticode is only ever
    // PKCS #7 signed data; Wine's provider faults on an entry of another
    // type, which would end the whole report, so none is handed on.
    const auto length = claimed ? reader.Read32(security.rva) : std::nullopt;
    const auto type = claimed ? reader.Read16(security.rva + 6) : std::nullopt;
    if (image->ReadFailure()) {
        result.readError = image->ReadFailure();
        return result;
    }
    if (!claimed)
        return result;
    if (!reader.Contains(security.rva, security.size) || !length || *length < 8 ||
        *length > security.size || type != WIN_CERT_TYPE_PKCS_SIGNED_DATA) {
        result.state = SignatureState::Invalid;
        return result;
    }
    return Verify(calls, path, image->Handle());
}

} // namespace calvorn::inspection
