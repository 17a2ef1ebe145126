#pragma once
// Whether a file carries an embedded signature that holds, who made it and
// when. Plain data, free of platform headers, so that the report logic that
// writes it builds natively as well.

#include <cstdint>
#include <optional>
#include <string>

namespace calvorn::inspection {

enum class SignatureState {
    Unsigned,  // no embedded signature
    Valid,     // intact, and its chain ends at a root this machine trusts
    Invalid,   // the file's bytes or the signature itself are not what was signed
    Untrusted, // intact, but its chain is not trusted here (unknown root, expired, ...)
};

struct FileSignature {
    SignatureState state = SignatureState::Unsigned;
    // The subject of the signing certificate. Only for an intact signature:
    // a broken one proves nothing about who made it.
    std::wstring signer;
    // 100-nanosecond intervals since 1 January 1601 UTC: the time stamp's
    // when the signature has one, else the signer's own signing time.
    std::optional<std::uint64_t> signedTime;
    // The system error when the file could not be opened or read; the rest
    // then says nothing.
    std::uint32_t readError = 0;
};

// The word the reports use for a state.
inline const char* SignatureWord(SignatureState state) {
    switch (state) {
    case SignatureState::Valid:
        return "signed-valid";
    case SignatureState::Invalid:
        return "signed-invalid";
    case SignatureState::Untrusted:
        return "signed-untrusted";
    case SignatureState::Unsigned:
        break;
    }
    return "unsigned";
}

// Asks the platform's trust provider about the signature embedded in the
// file (catalog signatures are not looked at), offline: no revocation check
// and nothing fetched from the network.
FileSignature CheckSignature(const std::wstring& path);

} // namespace calvorn::inspection
