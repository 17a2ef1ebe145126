/* A component with ten thousand types: 5,000 classes, each with its
   InprocServer32, and 5,000 interfaces, each with its proxy/stub class,
   written by its registration code as a large generated server writes
   them, and all taken away again. What the check and the export of one
   large component are timed on. */
#include <windows.h>

#define TYPES 10000

static HMODULE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        self = instance;
    return TRUE;
}

/* The key of type `i`: even ones are classes, odd ones interfaces. */
static void KeyOf(int i, wchar_t* key) {
    wsprintfW(key, L"%s\\{C41B0000-0000-4000-8000-%012X}", (i & 1) ? L"Interface" : L"CLSID", i);
}

static LONG SetText(const wchar_t* key, const wchar_t* name, const wchar_t* text) {
    HKEY h;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &h, NULL);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExW(h, name, 0, REG_SZ, (const BYTE*)text,
                        (DWORD)((lstrlenW(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
    wchar_t path[MAX_PATH], key[96], sub[128];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH - 1] = 0;
    for (int i = 0; i < TYPES; ++i) {
        KeyOf(i, key);
        LONG rc = SetText(key, NULL, L"Bench type");
        if (rc == ERROR_SUCCESS && !(i & 1)) {
            wsprintfW(sub, L"%s\\InprocServer32", key);
            rc = SetText(sub, NULL, path);
            if (rc == ERROR_SUCCESS)
                rc = SetText(sub, L"ThreadingModel", L"Both");
        } else if (rc == ERROR_SUCCESS) {
            wsprintfW(sub, L"%s\\ProxyStubClsid32", key);
            rc = SetText(sub, NULL, L"{00020424-0000-0000-C000-000000000046}");
        }
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
    wchar_t key[96];
    for (int i = 0; i < TYPES; ++i) {
        KeyOf(i, key);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    }
    return S_OK;
}
