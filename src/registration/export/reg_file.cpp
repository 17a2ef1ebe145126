// The registry editor's import format, written as the editor itself writes
// it: UTF-16 LE with a byte-order mark, CRLF line ends, hex data wrapped
// before 80 columns. Pure text work, so that it builds and is tested natively.

#include "registration/export/export_formats.h"
#include "registration/export/export_text.h"

#include <cwchar>

namespace calvorn::registration {

namespace {

// The editor's lines stay within 80 columns, the "\" that continues a hex
// line included.
constexpr std::size_t kLineLimit = 80;

class RegText {
  public:
    void Line(std::wstring_view text) {
        text_ += text;
        text_ += L"\r\n";
    }
    std::wstring& Text() { return text_; }

  private:
    std::wstring text_;
};

// A name or string in quotes: \\ and \", and a line end as \r or \n, which
// the editor reads back; a raw line end would end the line, and the import
// would lose the rest of the key.
std::wstring Quoted(std::wstring_view text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'\r' || c == L'\n') {
            out += c == L'\r' ? L"\\r" : L"\\n";
            continue;
        }
        if (c == L'\\' || c == L'"')
            out += L'\\';
        out += c;
    }
    out += L'"';
    return out;
}

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

// The file's path in a comment line: a comment ends at the line's end too.
std::wstring CommentText(std::wstring text) {
    for (wchar_t& c : text)
        if (IsControl(c))
            c = L'?';
    return text;
}

// A key line is "[<path>]" and the importer takes the line's last "]" as its
// end, so any "]" inside is read back; only a line break (or another
// control character) could end the line early and start one of the
// component's choosing.
void RefuseUnheld(const CapturedKey& key, const std::wstring& fullPath, bool escapedLineEnds) {
    const wchar_t* const reason = L"a control character in its name cannot be written to a .reg "
                                  L"file (a line break would start a line of its own on import)";
    if (!RegFileHolds(key.path))
        throw UnwritableName(fullPath, reason);
    for (const CapturedValue& value : key.values) {
        const bool held = escapedLineEnds ? value.name.find(L'\0') == std::wstring::npos
                                          : RegFileHolds(value.name);
        if (!held)
            throw UnwritableName(fullPath + L" value \"" + value.name + L"\"", reason);
    }
}

std::wstring ValueName(const CapturedValue& value) {
    return value.name.empty() ? std::wstring(L"@") : Quoted(value.name);
}

// "hex(2):41,00,..." wrapped as the editor wraps it: a line that would pass
// the limit ends in ",\" and the next one starts with two spaces.
void HexValue(RegText& out, const std::wstring& prefix, const std::vector<std::uint8_t>& data) {
    std::wstring line = prefix;
    for (std::size_t i = 0; i < data.size(); ++i) {
        wchar_t byte[4];
        std::swprintf(byte, 4, L"%02x", data[i]);
        line += byte;
        if (i + 1 == data.size())
            break;
        line += L',';
        // Room for the next "xx," and the "\" after it.
        if (line.size() + 4 > kLineLimit) {
            line += L'\\';
            out.Line(line);
            line = L"  ";
        }
    }
    out.Line(line);
}

std::wstring HexPrefix(CapturedType type) {
    if (type == CapturedType::Binary)
        return L"hex:";
    wchar_t prefix[16];
    std::swprintf(prefix, 16, L"hex(%x):", static_cast<unsigned>(type));
    return prefix;
}

void WriteValue(RegText& out, const CapturedValue& value) {
    const std::wstring name = ValueName(value) + L"=";
    if (value.type == CapturedType::String) {
        // A line break has no escape in the format, and a string that is not
        // whole UTF-16 would not come back as stored: both go as hex(1).
        // The other control characters go as hex too: editors differ on them.
        if (const auto text = export_text::PlainString(value.data); text && RegFileHolds(*text)) {
            out.Line(name + Quoted(*text));
            return;
        }
    }
    if (value.type == CapturedType::Dword && value.data.size() == 4) {
        wchar_t number[16];
        std::swprintf(number, 16, L"dword:%08x", export_text::LittleEndian(value.data));
        out.Line(name + number);
        return;
    }
    HexValue(out, name + HexPrefix(value.type), value.data);
}

std::wstring_view MachineName(CapturedMachine machine) {
    return machine == CapturedMachine::X64 ? L"x64" : L"x86";
}

std::wstring_view ViewSwitch(CapturedMachine machine) {
    return machine == CapturedMachine::X64 ? L"/reg:64" : L"/reg:32";
}

} // namespace

bool RegFileHolds(std::wstring_view name) {
    for (wchar_t c : name)
        if (IsControl(c))
            return false;
    return true;
}

std::string WriteRegFile(const std::vector<ExportedFile>& files, const ExportOptions& options) {
    RegText out;
    out.Line(L"Windows Registry Editor Version 5.00");
    for (const ExportedFile& file : files) {
        const CapturedRegistration& registration = file.registration;
        out.Line(L"");
        out.Line(L"; " + CommentText(registration.file) + L" (" +
                 std::wstring(MachineName(registration.machine)) + L")");
        out.Line(L"; Import into the " +
                 std::wstring(registration.machine == CapturedMachine::X64 ? L"64" : L"32") +
                 L"-bit registry view: reg import <this file> " +
                 std::wstring(ViewSwitch(registration.machine)));
        for (const CapturedKey& key : registration.keys) {
            const std::wstring path = export_text::FullKeyPath(key, options.perUser);
            RefuseUnheld(key, path, options.escapedLineEnds);
            out.Line(L"");
            out.Line(L"[" + path + L"]");
            for (const CapturedValue& value : key.values)
                WriteValue(out, value);
        }
    }
    out.Line(L"");
    return export_text::Utf16LittleEndianWithMark(out.Text());
}

} // namespace calvorn::registration
