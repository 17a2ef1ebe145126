#include "platform/text.h"

#include <windows.h>

#include <cstdio>

namespace calvorn::platform {
namespace {

std::wstring ToWide(UINT codePage, std::string_view in) {
    if (in.empty())
        return {};
    int n = ::MultiByteToWideChar(codePage, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, in.data(), static_cast<int>(in.size()), out.data(), n);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view in) {
    if (in.empty())
        return {};
    int n = ::WideCharToMultiByte(codePage, 0, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                  nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, in.data(), static_cast<int>(in.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

} // namespace

std::wstring Widen(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}
std::string NarrowAnsi(std::wstring_view wide) {
    return FromWide(CP_ACP, wide);
}
std::wstring WidenAnsi(std::string_view ansi) {
    return ToWide(CP_ACP, ansi);
}

std::wstring SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer) {
        text.assign(buffer, n);
        while (!text.empty() &&
               (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
            text.pop_back();
    }
    if (buffer)
        ::LocalFree(buffer);
    return text;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    DWORD need = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (need == 0)
        return {};
    std::wstring value(need, L'\0');
    DWORD got = ::GetEnvironmentVariableW(name, value.data(), need);
    value.resize(got < need ? got : 0);
    return value;
}

std::wstring ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path;
}

std::wstring HexCode(long code) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return hex;
}

} // namespace calvorn::platform
