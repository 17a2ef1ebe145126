// WiX fragments of a captured registration: one component per file, its
// registry as RegistryKey/RegistryValue elements, and the file's own path and
// folder written as references, so that the package writes wherever the
// file is installed. WiX 3 and 4 differ only in namespace and a few names.

#include "registration/export/export_formats.h"
#include "registration/export/export_text.h"
#include "registration/export/export_xml.h"

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace calvorn::registration {

namespace {

using namespace export_xml;
using export_text::TypeName;

struct Dialect {
    const char* ns;
    const char* componentExtra; // the component's GUID and bitness
    const char* createKey;      // a key written with no value
    bool multiStringValueAsAttribute;
};

Dialect DialectOf(ExportFormat format, bool x64) {
    if (format == ExportFormat::Wxs3)
        return {"http://schemas.microsoft.com/wix/2006/wi",
                x64 ? " Guid=\"*\" Win64=\"yes\"" : " Guid=\"*\"", " Action=\"create\"", false};
    return {"http://wixtoolset.org/schemas/v4/wxs", x64 ? " Bitness=\"always64\"" : "",
            " ForceCreateOnInstall=\"yes\"", true};
}

// A WiX id: a letter or "_" first, then letters, digits, "_" and ".".
std::string IdPart(std::wstring_view text, std::size_t limit) {
    std::string id;
    for (const wchar_t c : text) {
        if (id.size() == limit)
            break;
        const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                           (c >= L'0' && c <= L'9') || c == L'_' || c == L'.';
        id.push_back(plain ? static_cast<char>(c) : '_');
    }
    return id;
}

const char* RootName(CapturedRoot root) {
    switch (root) {
    case CapturedRoot::ClassesRoot:
        return "HKCR";
    case CapturedRoot::LocalMachine:
        return "HKLM";
    case CapturedRoot::CurrentUser:
        return "HKCU";
    case CapturedRoot::Users:
        return "HKU";
    }
    return "HKCR";
}

// Writes one file's registration, with its path and folder as references.
class ComponentWriter {
  public:
    ComponentWriter(const ExportedFile& file, const ExportOptions& options, const Dialect& dialect)
        : file_(file), options_(options), dialect_(dialect) {
        const auto& path = file.registration.file;
        const std::string tag = IdPart(FileNameOf(path), 40) + "_" + StableHash(path).substr(0, 8);
        componentId_ = "cmp_" + tag;
        fileId_ = "fil_" + tag;
        AddForms(path, fileForms_);
        AddForms(file.shortPath, fileForms_);
        AddForms(FolderOf(path), folderForms_);
        AddForms(FolderOf(file.shortPath), folderForms_);
    }

    const std::string& ComponentId() const { return componentId_; }

    std::string Write() const {
        const auto& path = file_.registration.file;
        std::string out =
            "      <Component Id=\"" + componentId_ + "\"" + dialect_.componentExtra + ">\n";
        out += "        <File Id=\"" + fileId_ + "\" Name=\"" + Escaped(FileNameOf(path)) +
               "\" Source=\"" + Escaped(path) + "\" KeyPath=\"yes\" />\n";
        for (const auto& key : file_.registration.keys)
            out += Key(key);
        out += "      </Component>\n";
        return out;
    }

  private:
    static void AddForms(const std::wstring& path, std::vector<std::wstring>& forms) {
        if (path.empty())
            return;
        forms.push_back(path);
        forms.push_back(L"\\\\?\\" + path);
        // Longest first, so that "\\?\C:\x" is not taken as "C:\x" after "\\?\".
        std::sort(forms.begin(), forms.end(),
                  [](const auto& a, const auto& b) { return a.size() > b.size(); });
    }

    // A form matches where a path can start and end: not inside a longer name.
    static std::size_t MatchAt(std::wstring_view text, std::size_t at,
                               const std::vector<std::wstring>& forms, std::wstring_view ends) {
        if (at > 0 &&
            (std::iswalnum(static_cast<std::wint_t>(text[at - 1])) || text[at - 1] == L'\\'))
            return 0;
        for (const auto& form : forms) {
            if (!StartsWithNoCase(text.substr(at), form))
                continue;
            const std::size_t end = at + form.size();
            if (end == text.size() || ends.find(text[end]) != std::wstring_view::npos)
                return form.size();
        }
        return 0;
    }

    // The text as a formatted string: the file and its folder as references,
    // and every other "[" and "]" escaped so that the installer keeps it.
    std::string Formatted(std::wstring_view text) const {
        std::wstring out;
        for (std::size_t i = 0; i < text.size();) {
            if (const auto n = MatchAt(text, i, fileForms_, L"\"',; )\t")) {
                out += L"[#" + std::wstring(fileId_.begin(), fileId_.end()) + L"]";
                i += n;
            } else if (const auto m = MatchAt(text, i, folderForms_, L"\\/\"',;")) {
                // The folder property ends in its separator already.
                out += L"[" + options_.directoryId + L"]";
                i += m;
                if (i < text.size() && (text[i] == L'\\' || text[i] == L'/'))
                    ++i;
            } else {
                if (text[i] == L'[')
                    out += L"[\\[]";
                else if (text[i] == L']')
                    out += L"[\\]]";
                else
                    out.push_back(text[i]);
                ++i;
            }
        }
        return Escaped(out);
    }

    std::string ValueId(const CapturedKey& key, std::wstring_view name) const {
        std::wstring whole = file_.registration.file + L"|" + std::wstring(RootNameWide(key)) +
                             L"\\" + key.path + L"|" + std::wstring(name);
        return "reg_" + StableHash(whole);
    }
    static std::wstring RootNameWide(const CapturedKey& key) {
        const char* name = RootName(key.root);
        return std::wstring(name, name + std::strlen(name));
    }

    std::string Key(const CapturedKey& captured) const {
        CapturedKey key = captured;
        if (options_.perUser && key.root == CapturedRoot::ClassesRoot) {
            key.root = CapturedRoot::CurrentUser;
            key.path = L"Software\\Classes\\" + key.path;
        }
        if (!XmlCanHold(key.path))
            return "        <!-- A key WiX cannot name (characters XML cannot carry): " +
                   CommentText(key.path) + " -->\n";
        const std::string open = "        <RegistryKey Root=\"" + std::string(RootName(key.root)) +
                                 "\" Key=\"" + Formatted(key.path) + "\"";
        std::string body;
        bool written = false;
        for (const auto& value : key.values) {
            std::string element = Value(key, value);
            written = written || element.find("<RegistryValue") != std::string::npos;
            body += element;
        }
        // A key with nothing in it is created for its own sake; one with
        // subkeys is created by writing them (and is often a shared key
        // such as CLSID, which must never be taken as the component's own).
        if (!written && HasSubkeys(captured) && body.empty())
            return {};
        if (!written)
            return open + " Id=\"" + ValueId(key, L"\\") + "\"" + dialect_.createKey +
                   (body.empty() ? " />\n" : ">\n" + body + "        </RegistryKey>\n");
        return open + ">\n" + body + "        </RegistryKey>\n";
    }

    bool HasSubkeys(const CapturedKey& parent) const {
        for (const auto& key : file_.registration.keys)
            if (key.root == parent.root && key.path.size() > parent.path.size() &&
                key.path[parent.path.size()] == L'\\' && StartsWithNoCase(key.path, parent.path))
                return true;
        return false;
    }

    std::string Unwritable(const CapturedValue& value, std::string_view why) const {
        return "          <!-- Not written (" + std::string(why) + "): " + TypeName(value.type) +
               " value \"" + CommentText(value.name) + "\", data " + Hex(value.data) + " -->\n";
    }

    std::string Value(const CapturedKey& key, const CapturedValue& value) const {
        if (!XmlCanHold(value.name))
            return Unwritable(value, "a name XML cannot carry");
        std::string head = "          <RegistryValue Id=\"" + ValueId(key, value.name) + "\"";
        if (!value.name.empty())
            head += " Name=\"" + Formatted(value.name) + "\"";
        switch (value.type) {
        case CapturedType::String:
        case CapturedType::ExpandString: {
            const auto text = export_text::StoredString(value.data);
            if (!text || !XmlCanHold(*text))
                return Unwritable(value, "text WiX cannot carry");
            if (text->empty())
                return Unwritable(value, "an empty string, which WiX does not write");
            const char* type = value.type == CapturedType::String ? "string" : "expandable";
            return head + " Type=\"" + type + "\" Value=\"" + Formatted(*text) + "\" />\n";
        }
        case CapturedType::Dword: {
            if (value.data.size() != 4)
                return Unwritable(value, "not four bytes");
            const auto number = static_cast<std::uint32_t>(export_text::LittleEndian(value.data));
            // The installer reads the number as a signed 32-bit one.
            const auto text = std::to_string(static_cast<std::int32_t>(number));
            return head + " Type=\"integer\" Value=\"" + text + "\" />\n";
        }
        case CapturedType::Binary:
            if (value.data.empty())
                return Unwritable(value, "no bytes, which WiX does not write");
            return head + " Type=\"binary\" Value=\"" + Hex(value.data) + "\" />\n";
        case CapturedType::MultiString: {
            const auto strings = export_text::MultiStrings(value.data);
            if (!strings || strings->empty())
                return Unwritable(value, "no strings, which WiX does not write");
            // Strings after an empty one would be lost: the list ends there.
            std::size_t units = 1;
            for (const auto& text : *strings)
                units += text.size() + 1;
            if (value.data.size() != units * 2 && value.data.size() != (units - 1) * 2)
                return Unwritable(value, "an empty string inside the list");
            std::string out = head + " Type=\"multiString\">\n";
            for (const auto& text : *strings) {
                if (!XmlCanHold(text))
                    return Unwritable(value, "a string WiX cannot carry");
                out += dialect_.multiStringValueAsAttribute
                           ? "            <MultiStringValue Value=\"" + Formatted(text) + "\" />\n"
                           : "            <MultiStringValue>" + Formatted(text) +
                                 "</MultiStringValue>\n";
            }
            return out + "          </RegistryValue>\n";
        }
        default:
            return Unwritable(value, "a type WiX has no form for");
        }
    }

    const ExportedFile& file_;
    const ExportOptions& options_;
    const Dialect& dialect_;
    std::string componentId_;
    std::string fileId_;
    std::vector<std::wstring> fileForms_;
    std::vector<std::wstring> folderForms_;
};

} // namespace

std::string WriteWixFragment(const std::vector<ExportedFile>& files, const ExportOptions& options,
                             ExportFormat format) {
    const std::string directory = Escaped(options.directoryId);
    std::string components;
    std::string references;
    std::wstring everyPath;
    for (const auto& file : files) {
        const bool x64 = file.registration.machine == CapturedMachine::X64;
        const Dialect dialect = DialectOf(format, x64);
        const ComponentWriter writer(file, options, dialect);
        components += writer.Write();
        references += "      <ComponentRef Id=\"" + writer.ComponentId() + "\" />\n";
        everyPath += file.registration.file + L"|";
    }
    std::wstring firstName = files.empty() ? L"none" : FileNameOf(files.front().registration.file);
    if (const auto dot = firstName.rfind(L'.'); dot != std::wstring::npos && dot > 0)
        firstName.resize(dot);
    std::string group = "grp_" + IdPart(firstName, 40);
    if (files.size() > 1)
        group.append("_").append(StableHash(everyPath), 0, 8);

    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    out += "<!-- What the files below write when they register, captured by Calvorn.\n";
    out +=
        "     Reference the group from a product: <ComponentGroupRef Id=\"" + group + "\" /> -->\n";
    out += "<Wix xmlns=\"" + std::string(DialectOf(format, false).ns) + "\">\n";
    out += "  <Fragment>\n";
    out += "    <DirectoryRef Id=\"" + directory + "\">\n" + components + "    </DirectoryRef>\n";
    out += "    <ComponentGroup Id=\"" + group + "\">\n" + references + "    </ComponentGroup>\n";
    out += "  </Fragment>\n</Wix>\n";
    return out;
}

} // namespace calvorn::registration
