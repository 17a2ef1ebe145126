#include "support/accessible_reader.h"

#include <oleacc.h>

namespace calvorn::test {

namespace {

VARIANT Self() {
    VARIANT self;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

std::wstring Take(BSTR text) {
    std::wstring out = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return out;
}

IAccessible* ClientObject(HWND hwnd) {
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                            reinterpret_cast<void**>(&object))))
        return nullptr;
    return object;
}

} // namespace

std::optional<AccessibleFacts> ReadAccessible(HWND hwnd) {
    IAccessible* object = ClientObject(hwnd);
    if (!object)
        return std::nullopt;
    AccessibleFacts facts;
    BSTR text = nullptr;
    if (SUCCEEDED(object->get_accName(Self(), &text)))
        facts.name = Take(text);
    text = nullptr;
    if (SUCCEEDED(object->get_accDefaultAction(Self(), &text)))
        facts.defaultAction = Take(text);
    text = nullptr;
    if (SUCCEEDED(object->get_accKeyboardShortcut(Self(), &text)))
        facts.shortcut = Take(text);
    VARIANT value;
    ::VariantInit(&value);
    if (SUCCEEDED(object->get_accRole(Self(), &value)) && value.vt == VT_I4)
        facts.role = value.lVal;
    ::VariantClear(&value);
    if (SUCCEEDED(object->get_accState(Self(), &value)) && value.vt == VT_I4)
        facts.state = value.lVal;
    ::VariantClear(&value);
    object->Release();
    return facts;
}

HRESULT DoDefaultAction(HWND hwnd) {
    IAccessible* object = ClientObject(hwnd);
    if (!object)
        return E_NOINTERFACE;
    const HRESULT result = object->accDoDefaultAction(Self());
    object->Release();
    return result;
}

} // namespace calvorn::test
