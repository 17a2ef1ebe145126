#include "platform/content_hashes.h"

#include "platform/error_record.h"
#include "platform/proc_address.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace calvorn::platform {

namespace {

// bcrypt.dll is bound when first needed: the window never hashes.
struct Provider {
    decltype(::BCryptOpenAlgorithmProvider)* open = nullptr;
    decltype(::BCryptCreateHash)* create = nullptr;
    decltype(::BCryptHashData)* hashData = nullptr;
    decltype(::BCryptFinishHash)* finish = nullptr;
    decltype(::BCryptDestroyHash)* destroy = nullptr;
    decltype(::BCryptGetProperty)* property = nullptr;
    // One algorithm handle per kind for the whole process: opening one costs
    // more than hashing a small file, and a handle serves every thread.
    std::array<BCRYPT_ALG_HANDLE, 3> algorithms{};
    std::array<DWORD, 3> lengths{};
    std::array<NTSTATUS, 3> openStatus{};
};

constexpr const wchar_t* kAlgorithms[] = {BCRYPT_MD5_ALGORITHM, BCRYPT_SHA1_ALGORITHM,
                                          BCRYPT_SHA256_ALGORITHM};

const Provider& TheProvider() {
    static const Provider provider = [] {
        Provider p;
        const wchar_t* dll = L"bcrypt.dll";
        p.open =
            SystemProc<decltype(::BCryptOpenAlgorithmProvider)>(dll, "BCryptOpenAlgorithmProvider");
        p.create = SystemProc<decltype(::BCryptCreateHash)>(dll, "BCryptCreateHash");
        p.hashData = SystemProc<decltype(::BCryptHashData)>(dll, "BCryptHashData");
        p.finish = SystemProc<decltype(::BCryptFinishHash)>(dll, "BCryptFinishHash");
        p.destroy = SystemProc<decltype(::BCryptDestroyHash)>(dll, "BCryptDestroyHash");
        p.property = SystemProc<decltype(::BCryptGetProperty)>(dll, "BCryptGetProperty");
        if (!p.open || !p.create || !p.hashData || !p.finish || !p.destroy || !p.property) {
            p.open = nullptr;
            return p;
        }
        for (std::size_t k = 0; k < p.algorithms.size(); ++k) {
            p.openStatus[k] = p.open(&p.algorithms[k], kAlgorithms[k], nullptr, 0);
            ULONG got = 0;
            if (p.openStatus[k] >= 0)
                p.openStatus[k] =
                    p.property(p.algorithms[k], BCRYPT_HASH_LENGTH,
                               reinterpret_cast<PUCHAR>(&p.lengths[k]), sizeof(DWORD), &got, 0);
        }
        return p;
    }();
    return provider;
}

[[noreturn]] void Fail(NTSTATUS status) {
    // The provider speaks NTSTATUS; the user reads it as an HRESULT.
    throw Failure(HResultError(HRESULT_FROM_NT(status), L"BCrypt"));
}

class CngHashes final : public IContentHashes {
  public:
    explicit CngHashes(const HashChoice& choice) : provider_(TheProvider()) {
        if (!provider_.open)
            throw Failure(Win32Error(ERROR_PROC_NOT_FOUND, L"bcrypt.dll"));
        const bool chosen[] = {choice.md5, choice.sha1, choice.sha256};
        for (std::size_t k = 0; k < hashes_.size(); ++k) {
            if (!chosen[k])
                continue;
            if (provider_.openStatus[k] < 0)
                Fail(provider_.openStatus[k]);
            const NTSTATUS status =
                provider_.create(provider_.algorithms[k], &hashes_[k], nullptr, 0, nullptr, 0, 0);
            if (status < 0)
                Fail(status);
        }
    }
    ~CngHashes() override {
        for (BCRYPT_HASH_HANDLE hash : hashes_)
            if (hash)
                provider_.destroy(hash);
    }
    CngHashes(const CngHashes&) = delete;
    CngHashes& operator=(const CngHashes&) = delete;

    void Add(std::span<const std::uint8_t> bytes) override {
        for (BCRYPT_HASH_HANDLE hash : hashes_) {
            if (!hash)
                continue;
            // One call takes at most 4 GB.
            for (std::size_t at = 0; at < bytes.size();) {
                const ULONG part =
                    static_cast<ULONG>(std::min<std::size_t>(bytes.size() - at, 0x40000000u));
                const NTSTATUS status =
                    provider_.hashData(hash, const_cast<PUCHAR>(bytes.data() + at), part, 0);
                if (status < 0)
                    Fail(status);
                at += part;
            }
        }
    }

    std::string Finish(HashKind kind) override {
        const auto k = static_cast<std::size_t>(kind);
        if (!hashes_[k])
            return {};
        std::vector<std::uint8_t> digest(provider_.lengths[k]);
        const NTSTATUS status =
            provider_.finish(hashes_[k], digest.data(), static_cast<ULONG>(digest.size()), 0);
        provider_.destroy(std::exchange(hashes_[k], nullptr));
        if (status < 0)
            Fail(status);
        return HexDigits(digest);
    }

  private:
    const Provider& provider_;
    std::array<BCRYPT_HASH_HANDLE, 3> hashes_{};
};

} // namespace

std::unique_ptr<IContentHashes> StartHashes(const HashChoice& choice) {
    return std::make_unique<CngHashes>(choice);
}

std::string HexDigits(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

} // namespace calvorn::platform
