// Prints the sixteen fields of every file of a folder as tab-separated UTF-8
// lines (file name first), for the cross-check against another parser.
#include "files/folder_listing.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "inspection/version_fields.h"

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    std::string utf8 = calvorn::platform::Narrow(text);
    // Tabs and line breaks inside values would break the format.
    for (char& c : utf8)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return utf8;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dump_versions FOLDER\n");
        return 2;
    }
    calvorn::inspection::VersionFields info;
    for (const std::wstring& path :
         calvorn::files::ListFiles(calvorn::platform::JoinPath(argv[1], L"*"), false)) {
        info.SelectFile(path);
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        std::string line = Utf8(name);
        for (const std::wstring* field :
             {&info.CompanyName, &info.FileDescription, &info.InternalName, &info.LegalCopyright,
              &info.LegalTrademarks, &info.OriginalFileName, &info.ProductName,
              &info.ProductVersion, &info.Comments, &info.StrucVerEx, &info.FileVerEx,
              &info.ProdVerEx, &info.FileFlagsEx, &info.FileOSEx, &info.FileTypeEx,
              &info.FileSubTypeEx}) {
            line += '\t';
            line += Utf8(*field);
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}
