#include "registration/user_class_containers.h"

#include "platform/unique_handle.h"

#include <windows.h>

#include <algorithm>

namespace calvorn::registration {

namespace {

// In the 64-bit view, where the 32-bit registrations' folder is a key too.
constexpr REGSAM kView = KEY_WOW64_64KEY;
const wchar_t* const kClasses = L"Software\\Classes";
const wchar_t* const kNotes = L"Software\\Calvorn\\Registration";
const wchar_t* const kNoteValue = L"CreatedClassContainers";
// Deepest first, so that a folder emptied by its containers goes as well.
const wchar_t* const kContainers[] = {L"Wow6432Node\\CLSID",
                                      L"Wow6432Node\\Interface",
                                      L"Wow6432Node\\TypeLib",
                                      L"Wow6432Node\\AppID",
                                      L"Wow6432Node",
                                      L"CLSID",
                                      L"Interface",
                                      L"TypeLib",
                                      L"AppID",
                                      L"Record"};

bool Exists(HKEY classes, const wchar_t* container) {
    platform::UniqueHKey key;
    return ::RegOpenKeyExW(classes, container, 0, KEY_READ | kView, key.put()) == ERROR_SUCCESS;
}

platform::UniqueHKey OpenClasses() {
    platform::UniqueHKey classes;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, kClasses, 0, KEY_READ | KEY_WRITE | kView, classes.put());
    return classes;
}

std::vector<std::wstring> ReadNotes() {
    std::vector<wchar_t> buffer(4096);
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    std::vector<std::wstring> notes;
    if (::RegGetValueW(HKEY_CURRENT_USER, kNotes, kNoteValue, RRF_RT_REG_MULTI_SZ, nullptr,
                       buffer.data(), &size) != ERROR_SUCCESS)
        return notes;
    for (const wchar_t* at = buffer.data(); *at; at += wcslen(at) + 1)
        notes.emplace_back(at);
    return notes;
}

void WriteNotes(const std::vector<std::wstring>& notes) {
    if (notes.empty()) {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kNotes, kNoteValue);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kNotes); // only when nothing else is in it
        return;
    }
    std::wstring multi;
    for (const std::wstring& note : notes)
        multi += note + L'\0';
    multi += L'\0';
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kNotes, kNoteValue, REG_MULTI_SZ, multi.data(),
                      static_cast<DWORD>(multi.size() * sizeof(wchar_t)));
}

} // namespace

UserClassContainers::UserClassContainers() {
    platform::UniqueHKey classes = OpenClasses();
    for (const wchar_t* container : kContainers)
        if (!classes || Exists(classes.get(), container))
            present_.emplace_back(container);
}

void UserClassContainers::NoteCreated() const {
    platform::UniqueHKey classes = OpenClasses();
    if (!classes)
        return;
    std::vector<std::wstring> notes = ReadNotes();
    const std::size_t known = notes.size();
    for (const wchar_t* container : kContainers)
        if (std::find(present_.begin(), present_.end(), container) == present_.end() &&
            Exists(classes.get(), container) &&
            std::find(notes.begin(), notes.end(), container) == notes.end())
            notes.emplace_back(container);
    if (notes.size() != known)
        WriteNotes(notes);
}

void UserClassContainers::RemoveEmptyCreated() {
    std::vector<std::wstring> notes = ReadNotes();
    platform::UniqueHKey classes = OpenClasses();
    if (notes.empty() || !classes)
        return;
    for (const wchar_t* container : kContainers) {
        auto note = std::find(notes.begin(), notes.end(), container);
        if (note == notes.end())
            continue;
        platform::UniqueHKey key;
        if (::RegOpenKeyExW(classes.get(), container, 0, KEY_READ | kView, key.put()) !=
            ERROR_SUCCESS) {
            notes.erase(note); // gone already
            continue;
        }
        DWORD subkeys = 0, values = 0;
        const bool empty =
            ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            subkeys == 0 && values == 0;
        key.reset();
        if (empty && ::RegDeleteKeyExW(classes.get(), container, kView, 0) == ERROR_SUCCESS)
            notes.erase(note);
    }
    WriteNotes(notes);
}

} // namespace calvorn::registration
