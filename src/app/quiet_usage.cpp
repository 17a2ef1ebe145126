#include "app/command_line.h"

#include "app/exit_codes.h"

namespace calvorn::app {

std::wstring QuietUsage() {
    std::wstring text =
        L"calvorn -q -r \"file\" [\"file\" ...] [-user] [-wait SECONDS]\r\n"
        L"                                           register (wildcards allowed)\r\n"
        L"calvorn -q -u \"file\" [\"file\" ...] [-user] [-wait SECONDS]\r\n"
        L"                                           unregister\r\n"
        L"calvorn -q -e \"file\" [\"file\" ...] [-format reg|wxs|wxs3|manifest|json]\r\n"
        L"              [-out \"path\"|-] [-user] [-wait SECONDS]\r\n"
        L"                                           export the registration without\r\n"
        L"                                           registering (DLL and OCX only)\r\n"
        L"calvorn -q -f \"folder\" [-format text|csv|jsonl] [-out \"path\"|-] [-sub] [-sig]\r\n"
        L"              [-types all|\".cpl .ax ...\"] [-hash md5,sha1,sha256] [-bom]\r\n"
        L"                                           folder report\r\n"
        L"calvorn -q -check \"file\" [\"file\" ...] [-format text|csv|jsonl] [-out \"path\"|-]\r\n"
        L"                                           is each file registered, and to it?\r\n"
        L"calvorn -q -scan [-fix] [-format text|csv|jsonl] [-out \"path\"|-]\r\n"
        L"                                           broken COM registrations of this computer\r\n"
        L"calvorn -q -restore \"backup.reg\"           put back what -fix removed\r\n"
        L"calvorn -q -s                              install the Explorer verbs\r\n"
        L"calvorn -q -?                              this text\r\n"
        L"\r\n"
        L"-user    register or unregister for the current user only; with -e, write\r\n"
        L"         the keys the current user's registration would have\r\n"
        L"-wait    how long a component may run, in seconds (1 to 3600; 10 if not given)\r\n"
        L"-format  -f, -scan, -check: text (the default), csv or jsonl\r\n"
        L"         -e: reg (the default, for the registry editor), wxs (WiX 4), wxs3,\r\n"
        L"         manifest (registration-free COM) or json (one JSON object per line)\r\n"
        L"-out     the report or export file; - writes to standard output; -e writes\r\n"
        L"         <first file's name>.reg (.wxs, .manifest, .jsonl) in the current folder\r\n"
        L"         if not given; -check writes to standard output if not given\r\n"
        L"-sub     include subfolders\r\n"
        L"-sig     with csv or jsonl: add the columns signature (signed-valid, signed-invalid,\r\n"
        L"         signed-untrusted or unsigned), signer (the signing certificate's subject)\r\n"
        L"         and signed_utc (the time stamp's time, else the signer's own)\r\n"
        L"-fix     remove the broken registrations, after a .reg backup of them\r\n"
        L"-types   all: every module (MZ) whatever its name; or extensions reported\r\n"
        L"         besides .dll .ocx .exe\r\n"
        L"-hash    digests besides sha256: md5, sha1 (csv and jsonl)\r\n"
        L"-bom     a UTF-8 byte-order mark before the CSV, for spreadsheets\r\n"
        L"\r\n"
        L"Exit codes:\r\n";
    for (const ExitCodeRow& row : kExitCodes) {
        std::wstring number = std::to_wstring(static_cast<int>(row.code));
        // The words line up after the longest one.
        text += std::wstring(3 - number.size(), L' ') + number + L"  " + row.word +
                std::wstring(22 - std::wstring(row.word).size(), L' ') + row.meaning + L"\r\n";
    }
    return text;
}

std::wstring WindowUsage() {
    return L"calvorn \"file\"                             the file's report in the window\r\n"
           L"calvorn -r \"file\" [-user] [-wait SECONDS]  register, after a question\r\n"
           L"calvorn -u \"file\" [-user] [-wait SECONDS]  unregister, after a question\r\n"
           L"calvorn -f \"folder\"                        folder report, after a question\r\n"
           L"calvorn -s                                 install the Explorer verbs\r\n"
           L"calvorn -?                                 this text\r\n"
           L"\r\n"
           L"-r and -u end with the exit code -q would give. -e, -check and -scan always\r\n"
           L"run quietly. -q may stand anywhere; switches take any letter case. A switch\r\n"
           L"that does not fit is refused (exit code 1, one line on standard error, no\r\n"
           L"window); regsvr32's /s, /u, /i and /n are refused by name: the quiet switch\r\n"
           L"is -q, unregistering is -u.\r\n";
}

} // namespace calvorn::app
