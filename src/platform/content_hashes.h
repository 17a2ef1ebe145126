#pragma once
// Digests of a file's bytes, fed as they are read, so that a file is hashed
// from the same reads that inspect it. The system's cryptography provider
// computes them; this header keeps its headers away from the callers.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace calvorn::platform {

enum class HashKind { Md5, Sha1, Sha256 };

// Which digests a run computes.
struct HashChoice {
    bool md5 = false;
    bool sha1 = false;
    bool sha256 = true;
    bool Any() const { return md5 || sha1 || sha256; }
};

// The digests of one stream of bytes.
class IContentHashes {
  public:
    virtual ~IContentHashes() = default;
    // Throws a platform::Failure when the provider fails.
    virtual void Add(std::span<const std::uint8_t> bytes) = 0;
    // Lower-case hex of each digest chosen; "" for one not chosen. Ends the
    // stream: nothing may be added after it.
    virtual std::string Finish(HashKind kind) = 0;
};

// Throws a platform::Failure when the provider or an algorithm is missing.
std::unique_ptr<IContentHashes> StartHashes(const HashChoice& choice);

// Lower-case hex of the bytes.
std::string HexDigits(std::span<const std::uint8_t> bytes);

} // namespace calvorn::platform
