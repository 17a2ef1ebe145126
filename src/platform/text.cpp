#include "platform/text.h"

#include <windows.h>

#include <olectl.h>

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

std::wstring FillInserts(std::wstring_view text, std::wstring_view insert) {
    std::wstring out;
    bool removed = false; // an insert went without a file name to fill it
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const wchar_t next = text[++i];
        if (next >= L'1' && next <= L'9') {
            // "%12" and "%1!s!" are one insert each.
            unsigned number = static_cast<unsigned>(next - L'0');
            if (i + 1 < text.size() && text[i + 1] >= L'0' && text[i + 1] <= L'9')
                number = number * 10 + static_cast<unsigned>(text[++i] - L'0');
            if (i + 1 < text.size() && text[i + 1] == L'!') {
                const size_t close = text.find(L'!', i + 2);
                i = close == std::wstring_view::npos ? text.size() - 1 : close;
            }
            if (number == 1 && !insert.empty())
                out += insert;
            else
                removed = true;
        } else if (next == L'n' || next == L'r' || next == L'b' || next == L't') {
            out.push_back(L' ');
        } else if (next == L'0') {
            break; // the end of the text, without its line end
        } else {
            out.push_back(next); // "%%", "%.", "%!" and the like stand for the character
        }
    }
    if (removed) {
        // What the missing insert leaves: a doubled blank, or a blank before
        // the closing punctuation ("format for ." becomes "format for.").
        std::wstring tidy;
        for (wchar_t c : out) {
            if ((c == L' ' || c == L'.' || c == L',' || c == L':' || c == L';') && !tidy.empty() &&
                tidy.back() == L' ')
                tidy.pop_back();
            tidy.push_back(c);
        }
        out = std::move(tidy);
        if (!out.empty() && out.front() == L' ')
            out.erase(0, 1);
    }
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L' '))
        out.pop_back();
    return out;
}

std::wstring SystemMessage(unsigned long code, std::wstring_view insert) {
    wchar_t* buffer = nullptr;
    // The inserts are never handed to the system: it would read arguments
    // that are not there. They are filled or taken out here.
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n && buffer)
        text = FillInserts(std::wstring_view(buffer, n), insert);
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

std::wstring_view CodeName(long code) {
    struct Named {
        HRESULT code;
        const wchar_t* name;
    };
    // The codes that registration, COM activation and type libraries give
    // most often; the system has no text for several of them on some
    // systems.
#define CALVORN_NAMED(code)                                                                        \
    { code, L## #code }
    static constexpr Named kNames[] = {
        CALVORN_NAMED(E_NOTIMPL),
        CALVORN_NAMED(E_NOINTERFACE),
        CALVORN_NAMED(E_POINTER),
        CALVORN_NAMED(E_FAIL),
        CALVORN_NAMED(E_UNEXPECTED),
        CALVORN_NAMED(E_ACCESSDENIED),
        CALVORN_NAMED(E_OUTOFMEMORY),
        CALVORN_NAMED(E_INVALIDARG),
        CALVORN_NAMED(CLASS_E_NOAGGREGATION),
        CALVORN_NAMED(CLASS_E_CLASSNOTAVAILABLE),
        CALVORN_NAMED(REGDB_E_READREGDB),
        CALVORN_NAMED(REGDB_E_WRITEREGDB),
        CALVORN_NAMED(REGDB_E_INVALIDVALUE),
        CALVORN_NAMED(REGDB_E_CLASSNOTREG),
        CALVORN_NAMED(REGDB_E_IIDNOTREG),
        CALVORN_NAMED(SELFREG_E_TYPELIB),
        CALVORN_NAMED(SELFREG_E_CLASS),
        CALVORN_NAMED(MK_E_SYNTAX),
        CALVORN_NAMED(CO_E_NOTINITIALIZED),
        CALVORN_NAMED(CO_E_ALREADYINITIALIZED),
        CALVORN_NAMED(CO_E_CLASSSTRING),
        CALVORN_NAMED(CO_E_APPNOTFOUND),
        CALVORN_NAMED(CO_E_ERRORINDLL),
        CALVORN_NAMED(CO_E_WRONGOSFORAPP),
        CALVORN_NAMED(CO_E_OBJNOTCONNECTED),
        CALVORN_NAMED(CO_E_SERVER_EXEC_FAILURE),
        CALVORN_NAMED(TYPE_E_INVDATAREAD),
        CALVORN_NAMED(TYPE_E_UNSUPFORMAT),
        CALVORN_NAMED(TYPE_E_REGISTRYACCESS),
        CALVORN_NAMED(TYPE_E_LIBNOTREGISTERED),
        CALVORN_NAMED(TYPE_E_INVALIDSTATE),
        CALVORN_NAMED(TYPE_E_ELEMENTNOTFOUND),
        CALVORN_NAMED(TYPE_E_DLLFUNCTIONNOTFOUND),
        CALVORN_NAMED(TYPE_E_TYPEMISMATCH),
        CALVORN_NAMED(TYPE_E_IOERROR),
        CALVORN_NAMED(TYPE_E_CANTLOADLIBRARY),
        CALVORN_NAMED(STG_E_FILENOTFOUND),
    };
#undef CALVORN_NAMED
    for (const Named& named : kNames)
        if (named.code == code)
            return named.name;
    return {};
}

std::wstring HexCode(long code) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    std::wstring text = hex;
    const std::wstring_view name = CodeName(code);
    if (!name.empty() && SystemMessage(static_cast<unsigned long>(code)).empty())
        text += L" (" + std::wstring(name) + L")";
    return text;
}

} // namespace calvorn::platform
