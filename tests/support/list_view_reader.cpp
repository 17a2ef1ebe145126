#include "support/list_view_reader.h"

#include <commctrl.h>

namespace calvorn::test {

namespace {

constexpr DWORD kTimeoutMs = 2000;
constexpr int kTextChars = 1024;

LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, kTimeoutMs, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

// Memory in another process, freed at the end of the scope.
class RemoteBlock {
  public:
    RemoteBlock(HANDLE process, size_t size)
        : process_(process),
          base_(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (base_)
            ::VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    char* get() const { return static_cast<char*>(base_); }

  private:
    HANDLE process_;
    void* base_;
};

} // namespace

std::vector<std::vector<std::wstring>> ReadListViewRows(HWND listView) {
    std::vector<std::vector<std::wstring>> rows;
    DWORD pid = 0;
    if (!listView || !::GetWindowThreadProcessId(listView, &pid))
        return rows;
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                       PROCESS_QUERY_INFORMATION,
                                   FALSE, pid);
    if (!process)
        return rows;
    {
        RemoteBlock block(process, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
        LRESULT count = Send(listView, LVM_GETITEMCOUNT, 0, 0);
        HWND header = reinterpret_cast<HWND>(Send(listView, LVM_GETHEADER, 0, 0));
        LRESULT columns = header ? Send(header, HDM_GETITEMCOUNT, 0, 0) : 1;
        if (columns < 1)
            columns = 1;
        char* remoteItem = block.get();
        char* remoteText = remoteItem + sizeof(LVITEMW);
        for (LRESULT r = 0; block.get() && r < count; ++r) {
            std::vector<std::wstring> cells;
            for (LRESULT c = 0; c < columns; ++c) {
                LVITEMW item{};
                item.iSubItem = static_cast<int>(c);
                item.pszText = reinterpret_cast<wchar_t*>(remoteText);
                item.cchTextMax = kTextChars;
                std::wstring text(kTextChars, L'\0');
                if (::WriteProcessMemory(process, remoteItem, &item, sizeof item, nullptr)) {
                    LRESULT length = Send(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(r),
                                          reinterpret_cast<LPARAM>(remoteItem));
                    if (length > 0 && ::ReadProcessMemory(process, remoteText, text.data(),
                                                          text.size() * sizeof(wchar_t), nullptr))
                        text.resize(static_cast<size_t>(length < kTextChars ? length : 0));
                    else
                        text.clear();
                } else {
                    text.clear();
                }
                cells.push_back(std::move(text));
            }
            rows.push_back(std::move(cells));
        }
    }
    ::CloseHandle(process);
    return rows;
}

} // namespace calvorn::test
