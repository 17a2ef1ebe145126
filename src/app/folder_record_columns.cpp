// What each column of the machine-readable folder report says: the usage
// text and the README list them from here.

#include "app/folder_records.h"

namespace calvorn::app {

namespace {

constexpr ColumnHelp kHelps[] = {
    {"path", "the file's full name", "C:\\Apps\\grid32.ocx"},
    {"company_name", "CompanyName of the version resource", "Contoso Ltd."},
    {"file_description", "FileDescription", "Contoso Grid Control"},
    {"internal_name", "InternalName", "grid32"},
    {"legal_copyright", "LegalCopyright", "(c) 2009 Contoso Ltd."},
    {"legal_trademarks", "LegalTrademarks", ""},
    {"original_filename", "OriginalFilename", "grid32.ocx"},
    {"product_name", "ProductName", "Contoso Grid"},
    {"product_version", "ProductVersion (the string)", "4.2"},
    {"comments", "Comments", ""},
    {"fixed_file_version", "the file version number", "4.2.0.118"},
    {"fixed_product_version", "the product version number", "4.2.0.0"},
    {"type", "the file type in words", "DLL"},
    {"subtype", "the driver or font kind in words", ""},
    {"os", "the operating system in words", "NT-Win32"},
    {"flags", "the version flags in words", "PreRel Private"},
    {"size", "the size in bytes", "245760"},
    {"last_write_utc", "the last write, UTC", "2009-06-30T10:15:00Z"},
    {"error", "why the file could not be read; empty when it was", ""},
    {"machine", "x86, x64, arm64, 16-bit, not-a-module, or another PE machine's number", "x86"},
    {"dotnet", "true when the file has a CLR header (a .NET assembly)", "false"},
    {"file_version_string", "FileVersion, the text people quote", "4.2 build 118"},
    {"private_build", "PrivateBuild", ""},
    {"special_build", "SpecialBuild", ""},
    {"language", "language and code page of the string table the strings came from", "0409 04B0"},
    {"file_flags_hex", "the version flags' number, 8 hex digits", "0000000A"},
    {"file_os_hex", "the operating system's number", "00040004"},
    {"file_type_hex", "the file type's number", "00000002"},
    {"file_subtype_hex", "the subtype's number", "00000000"},
    {"link_time_utc",
     "when it was linked (PE header), UTC; empty when the stamp is not a time: before "
     "1993, after the file's last write, or a reproducible build",
     "2009-06-29T22:41:07Z"},
    {"sha256", "SHA-256 of the file's bytes",
     "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"},
    {"md5", "MD5 (with -hash md5)", "098f6bcd4621d373cade4e832627b4f6"},
    {"sha1", "SHA-1 (with -hash sha1)", "a94a8fe5ccb19ba61c4c0873d391e987982fbbd3"},
    {"self_registering", "exports DllRegisterServer, or the version resource says OLESelfRegister",
     "true"},
    {"typelib_id", "the GUID of the type library it holds",
     "{0ECD9B60-23AA-11D0-B351-00A0C9055D8E}"},
    {"typelib_version", "the type library's version", "1.0"},
    {"typelib_name", "the type library's name", "ContosoGridLib"},
    {"registration",
     "registered, registered-elsewhere, partly-registered or not-registered (as -check, from the "
     "type library); empty without one",
     "registered"},
    {"signature", "with -sig: signed-valid, signed-untrusted, signed-invalid or unsigned",
     "signed-valid"},
    {"signer", "with -sig: the signing certificate's subject", "Contoso Ltd."},
    {"signed_utc", "with -sig: the time stamp's time, else the signer's own",
     "2009-06-30T10:20:00Z"},
};

} // namespace

std::span<const ColumnHelp> ColumnHelps() {
    return kHelps;
}

std::wstring ColumnsUsage() {
    std::string text = "Columns of -format csv (keys of jsonl), in order:\r\n";
    for (const ColumnHelp& help : kHelps) {
        const std::string column = help.column;
        text += "  " + column + std::string(column.size() < 22 ? 22 - column.size() : 1, ' ') +
                help.meaning + "\r\n";
    }
    text += "Example row (with -hash md5,sha1 -sig):\r\n";
    std::string row;
    for (const ColumnHelp& help : kHelps) {
        if (!row.empty())
            row += ',';
        const std::string example = help.example;
        row += example.find(',') == std::string::npos ? example : '"' + example + '"';
    }
    text += row + "\r\n";
    return std::wstring(text.begin(), text.end());
}

} // namespace calvorn::app
