#pragma once
// One move-only owner per kind of Win32 handle. Each kind names its own
// "no handle" value and its release call.

#include <windows.h>

#include <utility>

namespace calvorn::platform {

template <typename Traits> class UniqueHandleOf {
  public:
    using handle_type = typename Traits::handle_type;

    UniqueHandleOf() noexcept = default;
    explicit UniqueHandleOf(handle_type h) noexcept : h_(h) {}
    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
    UniqueHandleOf(UniqueHandleOf&& other) noexcept : h_(other.release()) {}
    UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueHandleOf() { reset(); }

    handle_type get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
    handle_type release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(handle_type h = Traits::invalid()) noexcept {
        handle_type old = std::exchange(h_, h);
        if (old != Traits::invalid())
            Traits::close(old);
    }
    // For calls that hand a handle back through an out-parameter.
    handle_type* put() noexcept {
        reset();
        return &h_;
    }

  private:
    handle_type h_ = Traits::invalid();
};

struct KernelHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() noexcept { return nullptr; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using handle_type = HANDLE;
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { ::FindClose(h); }
};
struct HKeyTraits {
    using handle_type = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct HModuleTraits {
    using handle_type = HMODULE;
    static HMODULE invalid() noexcept { return nullptr; }
    static void close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct MappedViewTraits {
    using handle_type = const void*;
    static const void* invalid() noexcept { return nullptr; }
    static void close(const void* p) noexcept { ::UnmapViewOfFile(p); }
};

using UniqueHandle = UniqueHandleOf<KernelHandleTraits>;
using UniqueFile = UniqueHandleOf<FileHandleTraits>;
using UniqueFind = UniqueHandleOf<FindHandleTraits>;
using UniqueHKey = UniqueHandleOf<HKeyTraits>;
using UniqueHModule = UniqueHandleOf<HModuleTraits>;
using UniqueMappedView = UniqueHandleOf<MappedViewTraits>;

} // namespace calvorn::platform
