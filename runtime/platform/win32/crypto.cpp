#include "platform/win32/crypto.h"

#include <windows.h>

#include <bcrypt.h>
#include <ntsecapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <type_traits>

#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

constexpr std::uint32_t kStatusProcNotFound = 0xC000007A;  // STATUS_PROCEDURE_NOT_FOUND
constexpr HResult kTrustNoSignature = static_cast<HResult>(0x800B0100);  // TRUST_E_NOSIGNATURE

// An exported function, or null with the error as the thread's last error: one out-of-line
// lookup rather than a typed result at every call.
[[gnu::noinline]] FARPROC address(SystemLibrary& library, const char* name) {
    auto found = library.function<std::remove_pointer_t<FARPROC>>(name);
    if (!found) {
        SetLastError(found.error());
        return nullptr;
    }
    return *found;
}

template <class Function>
Function* find(SystemLibrary& library, const char* name) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(address(library, name)));
}

class BcryptHash final : public Hash {
public:
    BcryptHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE hash) : algorithm_(algorithm), hash_(hash) {}
    BcryptHash(const BcryptHash&) = delete;
    BcryptHash& operator=(const BcryptHash&) = delete;
    ~BcryptHash() override {
        if (auto destroy = find<decltype(BCryptDestroyHash)>(bcrypt(), "BCryptDestroyHash")) (*destroy)(hash_);
        if (auto close = find<decltype(BCryptCloseAlgorithmProvider)>(bcrypt(), "BCryptCloseAlgorithmProvider"))
            (*close)(algorithm_, 0);
    }

    void add(std::span<const std::uint8_t> bytes) override {
        auto hash_data = find<decltype(BCryptHashData)>(bcrypt(), "BCryptHashData");
        while (hash_data && !bytes.empty()) {
            const ULONG count = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
            if ((*hash_data)(hash_, const_cast<PUCHAR>(bytes.data()), count, 0) < 0) failed_ = true;
            bytes = bytes.subspan(count);
        }
        if (!hash_data) failed_ = true;
    }

    Sha256 finish() override {
        Sha256 digest{};
        auto finish_hash = find<decltype(BCryptFinishHash)>(bcrypt(), "BCryptFinishHash");
        // A hash that couldn't be computed is all zeros, which no feed's hash equals by chance.
        if (failed_ || !finish_hash || (*finish_hash)(hash_, digest.data(), digest.size(), 0) < 0) return Sha256{};
        return digest;
    }

private:
    BCRYPT_ALG_HANDLE algorithm_;
    BCRYPT_HASH_HANDLE hash_;
    bool failed_ = false;
};

// The signer certificate's subject as an X.500 text ("CN=Example Ltd, O=Example Ltd, C=GB").
std::string subject_of(const CRYPT_PROVIDER_DATA* data) {
    auto signer_from_chain = find<decltype(WTHelperGetProvSignerFromChain)>(wintrust(), "WTHelperGetProvSignerFromChain");
    auto cert_from_chain = find<decltype(WTHelperGetProvCertFromChain)>(wintrust(), "WTHelperGetProvCertFromChain");
    auto name_to_text = find<decltype(CertNameToStrW)>(crypt32(), "CertNameToStrW");
    if (!signer_from_chain || !cert_from_chain || !name_to_text || data == nullptr) return {};
    CRYPT_PROVIDER_SGNR* signer = (*signer_from_chain)(const_cast<CRYPT_PROVIDER_DATA*>(data), 0, FALSE, 0);
    if (signer == nullptr) return {};
    CRYPT_PROVIDER_CERT* certificate = (*cert_from_chain)(signer, 0);
    if (certificate == nullptr || certificate->pCert == nullptr) return {};
    CERT_NAME_BLOB* name = &certificate->pCert->pCertInfo->Subject;
    const DWORD kind = CERT_X500_NAME_STR;
    const DWORD length = (*name_to_text)(X509_ASN_ENCODING, name, kind, nullptr, 0);
    if (length <= 1) return {};
    std::u16string buffer;
    buffer.resize(length);
    (*name_to_text)(X509_ASN_ENCODING, name, kind, wide_buffer(buffer), length);
    return to_utf8(wide_view(wide_buffer(buffer)));
}

}  // namespace

Expected<std::unique_ptr<Hash>, std::uint32_t> Win32Crypto::sha256() {
    auto open = find<decltype(BCryptOpenAlgorithmProvider)>(bcrypt(), "BCryptOpenAlgorithmProvider");
    auto create = find<decltype(BCryptCreateHash)>(bcrypt(), "BCryptCreateHash");
    auto close = find<decltype(BCryptCloseAlgorithmProvider)>(bcrypt(), "BCryptCloseAlgorithmProvider");
    if (!open || !create || !close) return unexpected(kStatusProcNotFound);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (const NTSTATUS status = (*open)(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0); status < 0)
        return unexpected(static_cast<std::uint32_t>(status));
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (const NTSTATUS status = (*create)(algorithm, &hash, nullptr, 0, nullptr, 0, 0); status < 0) {
        (*close)(algorithm, 0);
        return unexpected(static_cast<std::uint32_t>(status));
    }
    return std::unique_ptr<Hash>(std::make_unique<BcryptHash>(algorithm, hash));
}

ErrorCode Win32Crypto::random(std::span<std::uint8_t> into) {
    // RtlGenRandom, from advapi32, which the registry calls have loaded already: the system's
    // generator, as BCryptGenRandom's preferred one is, without loading bcrypt.dll into a first
    // install for four bytes.
    if (!SystemFunction036(into.data(), static_cast<ULONG>(into.size()))) return ERROR_GEN_FAILURE;
    return 0;
}

Signature Win32Crypto::signature(const Path& file, HeldFile* held) {
    auto verify = find<decltype(WinVerifyTrust)>(wintrust(), "WinVerifyTrust");
    // Not looked up when the first isn't there, so the last error stays the first's.
    auto state_data = verify == nullptr ? nullptr : find<decltype(WTHelperProvDataFromStateData)>(wintrust(), "WTHelperProvDataFromStateData");
    if (!verify || !state_data) return Signature{Signature::State::invalid, {}, static_cast<HResult>(HRESULT_FROM_WIN32(GetLastError()))};

    WINTRUST_FILE_INFO file_info{};
    file_info.cbStruct = sizeof file_info;
    file_info.pcwszFilePath = wide(file);
    if (held != nullptr) file_info.hFile = reinterpret_cast<HANDLE>(held->handle());
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // Revocation is looked up in the system's cache only: no unbounded network wait here.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const auto window = static_cast<HWND>(INVALID_HANDLE_VALUE);  // no user interface
    const LONG result = (*verify)(window, &action, &data);

    Signature signature;
    if (result == 0) {
        signature.state = Signature::State::valid;
        signature.subject = subject_of((*state_data)(data.hWVTStateData));
        // A signature whose signer can't be named can't be compared with another.
        if (signature.subject.empty()) signature.state = Signature::State::invalid;
    } else if (result == kTrustNoSignature) {
        signature.state = Signature::State::none;
    } else {
        signature.state = Signature::State::invalid;
    }
    signature.code = result;
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    (*verify)(window, &action, &data);
    return signature;
}

}  // namespace plinth::platform::win32
