// What assistive tools see of a Command button: a push button named by its
// caption (or by the name its layout gives it, for "..." whose caption says
// nothing), with its state and "Press" as its action. The system's standard
// object for the window answers what a button shares with any window: its
// place, parent and navigation.

#include "ui/command_button.h"

#include "platform/error_record.h"

#include <oleacc.h>

#include <cwctype>
#include <new>

namespace calvorn::ui {

namespace {

BSTR Copy(const std::wstring& text) {
    return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// The letter the caption underlines, as the dialog manager reads it: "&&"
// is an ampersand, not a mark.
wchar_t Mnemonic(const std::wstring& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&')
            continue;
        if (caption[i + 1] != L'&')
            return caption[i + 1];
        ++i;
    }
    return L'\0';
}

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// A COM object is deleted by its own Release only, never through an
// interface pointer: the interfaces need no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class AccessibleCommand final : public IAccessible, public IOleWindow {
  public:
    AccessibleCommand(HWND hwnd, IAccessible* standard) : hwnd_(hwnd), standard_(standard) {}
    AccessibleCommand(const AccessibleCommand&) = delete;
    AccessibleCommand& operator=(const AccessibleCommand&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible)
            *out = static_cast<IAccessible*>(this);
        else if (iid == IID_IOleWindow)
            *out = static_cast<IOleWindow*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = ::InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: the standard object's, which dispatches to IAccessible.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return standard_->GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return standard_->GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        return standard_->GetIDsOfNames(iid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument) override {
        return standard_->Invoke(id, iid, lcid, flags, params, result, exception, argument);
    }

    // IOleWindow: how a tool finds the window of the object.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
        if (!hwnd)
            return E_POINTER;
        *hwnd = hwnd_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IAccessible: what makes it a button.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        CommandButton* button = Button(child);
        if (!button)
            return E_INVALIDARG;
        try {
            *name = Copy(button->AccessibleName());
        } catch (...) {
            // A COM call is a boundary: the caller gets what went wrong.
            return HResultOf(platform::CurrentFailure());
        }
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role)
            return E_POINTER;
        ::VariantInit(role);
        if (!Button(child))
            return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PUSHBUTTON;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state)
            return E_POINTER;
        ::VariantInit(state);
        CommandButton* button = Button(child);
        if (!button)
            return E_INVALIDARG;
        LONG bits = STATE_SYSTEM_FOCUSABLE;
        if (::GetFocus() == hwnd_)
            bits |= STATE_SYSTEM_FOCUSED;
        if (!button->Logic().EnabledValue() || !::IsWindowEnabled(hwnd_))
            bits |= STATE_SYSTEM_UNAVAILABLE;
        if (button->Logic().MouseDown())
            bits |= STATE_SYSTEM_PRESSED;
        if (!::IsWindowVisible(hwnd_))
            bits |= STATE_SYSTEM_INVISIBLE;
        state->vt = VT_I4;
        state->lVal = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        if (!keys)
            return E_POINTER;
        *keys = nullptr;
        CommandButton* button = Button(child);
        if (!button)
            return E_INVALIDARG;
        const wchar_t key = Mnemonic(button->Caption());
        if (key == L'\0')
            return S_FALSE;
        const wchar_t text[] = {L'A', L'l', L't', L'+', static_cast<wchar_t>(std::towupper(key))};
        *keys = ::SysAllocStringLen(text, 5);
        return *keys ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!action)
            return E_POINTER;
        *action = nullptr;
        if (!Button(child))
            return E_INVALIDARG;
        *action = ::SysAllocString(L"Press");
        return *action ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        CommandButton* button = Button(child);
        if (!button)
            return E_INVALIDARG;
        if (!button->Logic().EnabledValue() || !::IsWindowEnabled(hwnd_))
            return E_FAIL;
        // Posted: the press may open a dialog, and the tool that asked must
        // not wait inside its call until the dialog closes.
        return ::PostMessageW(hwnd_, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
    }

    // The rest is the window's, as the standard object tells it.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_->get_accParent(parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        return standard_->get_accChildCount(count);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return standard_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return standard_->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return standard_->get_accFocus(focus);
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return standard_->get_accSelection(selection);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return standard_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h,
                                          VARIANT child) override {
        return standard_->accLocation(x, y, w, h, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    ~AccessibleCommand() { standard_->Release(); }

    // The button while its window lives; a tool may hold the object longer.
    CommandButton* Button(const VARIANT& child) const {
        return IsSelf(child) ? CommandButton::From(hwnd_) : nullptr;
    }

    LONG references_ = 1;
    HWND hwnd_;
    IAccessible* standard_;
};
#pragma GCC diagnostic pop

} // namespace

std::wstring CommandButton::AccessibleName() const {
    if (!accessibleName_.empty())
        return accessibleName_;
    // The caption as it reads: "&&" is an ampersand, a single "&" marks the key.
    std::wstring name;
    const std::wstring& caption = logic_.Caption();
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size())
            ++i;
        else if (caption[i] == L'&')
            continue;
        name += caption[i];
    }
    return name;
}

LRESULT CommandButton::AnswerGetObject(WPARAM wp, LPARAM lp) {
    if (static_cast<LONG>(lp) != OBJID_CLIENT)
        return ::DefWindowProcW(hwnd_, WM_GETOBJECT, wp, lp);
    IAccessible* standard = nullptr;
    if (FAILED(::CreateStdAccessibleObject(hwnd_, OBJID_CLIENT, IID_IAccessible,
                                           reinterpret_cast<void**>(&standard))) ||
        !standard)
        return ::DefWindowProcW(hwnd_, WM_GETOBJECT, wp, lp);
    auto* object = new (std::nothrow) AccessibleCommand(hwnd_, standard);
    if (!object) {
        standard->Release();
        return ::DefWindowProcW(hwnd_, WM_GETOBJECT, wp, lp);
    }
    const LRESULT result =
        ::LresultFromObject(IID_IAccessible, wp, static_cast<IAccessible*>(object));
    object->Release();
    return result;
}

} // namespace calvorn::ui
