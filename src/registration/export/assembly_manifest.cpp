// A registration-free COM assembly manifest, read out of what the component
// wrote: its classes (CLSID keys served by the file itself), its type
// libraries and the interfaces it asked to be marshalled, so that an
// application can use it with nothing registered.

#include "registration/export/export_formats.h"
#include "registration/export/export_text.h"
#include "registration/export/export_xml.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cwctype>
#include <map>

namespace calvorn::registration {

namespace {

using namespace export_xml;

// One key's values and subkeys, as found below the classes root.
struct ClassesNode {
    std::wstring name; // as first written
    const CapturedKey* key = nullptr;
    std::map<std::wstring, ClassesNode> children; // by lower-case name
};

std::wstring Lower(std::wstring text) {
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}

ClassesNode ClassesTree(const CapturedRegistration& registration) {
    ClassesNode root;
    for (const auto& key : registration.keys) {
        const auto path = ClassesPath(key);
        if (!path)
            continue;
        ClassesNode* node = &root;
        std::size_t start = 0;
        while (start <= path->size() && !path->empty()) {
            const auto end = std::min(path->find(L'\\', start), path->size());
            const auto name = path->substr(start, end - start);
            node = &node->children[Lower(name)];
            if (node->name.empty())
                node->name = name;
            start = end + 1;
        }
        if (node != &root)
            node->key = &key;
    }
    return root;
}

const ClassesNode* Child(const ClassesNode& node, std::wstring_view name) {
    const auto found = node.children.find(Lower(std::wstring(name)));
    return found == node.children.end() ? nullptr : &found->second;
}

// The string value of a subkey ("InprocServer32" and its default value...).
std::wstring Text(const ClassesNode* node, std::wstring_view value = L"") {
    if (node == nullptr || node->key == nullptr)
        return {};
    const auto* found = FindValue(*node->key, value);
    if (found == nullptr ||
        (found->type != CapturedType::String && found->type != CapturedType::ExpandString))
        return {};
    return export_text::StoredString(found->data).value_or(L"");
}

// The file a server or type library entry names: quotes and arguments off.
std::wstring NamedFile(std::wstring entry) {
    if (!entry.empty() && entry.front() == L'"') {
        const auto close = entry.find(L'"', 1);
        entry = entry.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return FileNameOf(entry);
}

std::string Attribute(const char* name, std::wstring_view value) {
    if (value.empty() || !XmlCanHold(value))
        return {};
    return std::string(" ") + name + "=\"" + Escaped(value) + "\"";
}

// "1.a" as the registry keeps a type library's version is "1.10".
std::wstring DecimalVersion(const std::wstring& hex) {
    const auto dot = hex.find(L'.');
    if (dot == std::wstring::npos)
        return {};
    wchar_t* end = nullptr;
    const auto major = std::wcstoul(hex.c_str(), &end, 16);
    if (end != hex.c_str() + dot)
        return {};
    const auto minor = std::wcstoul(hex.c_str() + dot + 1, &end, 16);
    if (*end != L'\0' || dot + 1 == hex.size())
        return {};
    return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

std::wstring LibraryFlags(const std::wstring& number) {
    static constexpr std::pair<unsigned long, const wchar_t*> names[] = {
        {1, L"RESTRICTED"}, {2, L"CONTROL"}, {4, L"HIDDEN"}, {8, L"HASDISKIMAGE"}};
    const unsigned long flags = std::wcstoul(number.c_str(), nullptr, 10);
    std::wstring out;
    for (const auto& [bit, name] : names)
        if (flags & bit)
            out += (out.empty() ? L"" : L",") + std::wstring(name);
    return out;
}

// Whether a type library version's file entries (<lcid>\win32, \win64)
// name this file.
bool LibraryInFile(const ClassesNode& version, const std::wstring& fileName) {
    for (const auto& [name, lcid] : version.children) {
        if (name == L"flags" || name == L"helpdir")
            continue;
        for (const auto* platform : {L"win32", L"win64"})
            if (EqualNoCase(NamedFile(Text(Child(lcid, platform))), fileName))
                return true;
    }
    return false;
}

std::string Classes(const ClassesNode& tree, const std::wstring& fileName, std::string& skipped) {
    std::string out;
    const auto* clsids = Child(tree, L"CLSID");
    if (clsids == nullptr)
        return out;
    for (const auto& [unused, node] : clsids->children) {
        const std::wstring& clsid = node.name;
        const auto* server = Child(node, L"InprocServer32");
        if (!EqualNoCase(NamedFile(Text(server)), fileName)) {
            skipped += "  <!-- Class " + CommentText(clsid) + " is served by \"" +
                       CommentText(Text(server)) + "\", not by this file: left out. -->\n";
            continue;
        }
        out += "    <comClass" + Attribute("clsid", clsid) +
               Attribute("threadingModel", Text(server, L"ThreadingModel")) +
               Attribute("progid", Text(Child(node, L"ProgID"))) +
               Attribute("tlbid", Text(Child(node, L"TypeLib"))) +
               Attribute("description", Text(&node)) + " />\n";
    }
    return out;
}

// A manifest's help folder is relative to the assembly's own folder: the
// file's folder, where the registration wrote it, becomes "" (left out).
std::wstring HelpFolder(const std::wstring& written, const std::wstring& filePath) {
    std::wstring folder = FolderOf(filePath);
    for (const auto& form : {folder, L"\\\\?\\" + folder}) {
        if (EqualNoCase(written, form) || EqualNoCase(written, form + L"\\"))
            return {};
        if (StartsWithNoCase(written, form + L"\\"))
            return written.substr(form.size() + 1);
    }
    return written;
}

std::string Libraries(const ClassesNode& tree, const std::wstring& filePath) {
    const std::wstring fileName = FileNameOf(filePath);
    std::string out;
    const auto* libraries = Child(tree, L"TypeLib");
    if (libraries == nullptr)
        return out;
    for (const auto& [unused, library] : libraries->children) {
        for (const auto& [versionName, version] : library.children) {
            if (!LibraryInFile(version, fileName))
                continue;
            const std::wstring& tlbid = library.name;
            out += "    <typelib" + Attribute("tlbid", tlbid) +
                   Attribute("version", DecimalVersion(versionName)) +
                   Attribute("helpdir", HelpFolder(Text(Child(version, L"HELPDIR")), filePath)) +
                   Attribute("flags", LibraryFlags(Text(Child(version, L"FLAGS")))) + " />\n";
        }
    }
    return out;
}

std::string Interface(const ClassesNode& node) {
    return "  <comInterfaceExternalProxyStub" + Attribute("name", Text(&node)) +
           Attribute("iid", node.name) +
           Attribute("proxyStubClsid32", Text(Child(node, L"ProxyStubClsid32"))) +
           Attribute("tlbid", Text(Child(node, L"TypeLib"))) +
           Attribute("numMethods", Text(Child(node, L"NumMethods"))) +
           Attribute("baseInterface", Text(Child(node, L"BaseInterface"))) + " />\n";
}

std::wstring VersionText(const std::array<std::uint16_t, 4>& version) {
    return std::to_wstring(version[0]) + L"." + std::to_wstring(version[1]) + L"." +
           std::to_wstring(version[2]) + L"." + std::to_wstring(version[3]);
}

} // namespace

std::string WriteAssemblyManifest(const std::vector<ExportedFile>& files, const ExportOptions&) {
    std::string body;
    std::string skipped;
    std::map<std::wstring, std::string> interfaces; // one element per interface
    for (const auto& file : files) {
        const auto tree = ClassesTree(file.registration);
        const auto fileName = FileNameOf(file.registration.file);
        body += "  <file" + Attribute("name", fileName) + ">\n" + Classes(tree, fileName, skipped) +
                Libraries(tree, file.registration.file) + "  </file>\n";
        if (const auto* all = Child(tree, L"Interface"))
            for (const auto& [iid, node] : all->children)
                interfaces[iid] = Interface(node);
    }
    std::wstring name = L"none";
    std::wstring version = L"1.0.0.0";
    const char* architecture = "x86";
    if (!files.empty()) {
        name = FileNameOf(files.front().registration.file);
        if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0)
            name.resize(dot);
        version = VersionText(files.front().version);
        if (files.front().registration.machine == CapturedMachine::X64)
            architecture = "amd64";
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    out += "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n";
    out += "  <assemblyIdentity type=\"win32\"" + Attribute("name", name) +
           Attribute("version", version) + " processorArchitecture=\"" + architecture + "\" />\n";
    out += body;
    for (const auto& [iid, element] : interfaces)
        out += element;
    out += skipped;
    out += "</assembly>\n";
    return out;
}

} // namespace calvorn::registration
