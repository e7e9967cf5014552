#include "host/accessible_button.h"

#include <objbase.h>
#include <oleacc.h>

#include <string>

#include "base/com_ptr.h"
#include "host/control_site.h"
#include "win32/win_handles.h"
#include "win32/window_class.h"

namespace host {

namespace {

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

BSTR AllocString(const wchar_t* text);

// Delegates to the system's standard window-client object (where there is one) and
// answers role, name, state and default action itself, since the standard object knows
// nothing of our window class.
class AccessibleButton final : public IAccessible {
public:
    AccessibleButton(HWND hwnd, base::ComPtr<IAccessible> standard, std::function<void()> press)
        : hwnd_(hwnd), standard_(std::move(standard)), press_(std::move(press)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG r = ::InterlockedDecrement(&refs_);
        if (r == 0) delete this;
        return static_cast<ULONG>(r);
    }

    // IDispatch: not offered (clients use the IAccessible methods directly).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: our own answers.
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child)) return standard_ ? standard_->get_accRole(child, role) : S_FALSE;
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PUSHBUTTON;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!IsSelf(child)) return standard_ ? standard_->get_accName(child, name) : S_FALSE;
        *name = AllocString(win32::WindowText(hwnd_).c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!IsSelf(child)) return standard_ ? standard_->get_accState(child, state) : S_FALSE;
        LONG s = STATE_SYSTEM_FOCUSABLE;
        if (!Available()) s |= STATE_SYSTEM_UNAVAILABLE;
        if (::GetFocus() == hwnd_) s |= STATE_SYSTEM_FOCUSED;
        if (!::IsWindowVisible(hwnd_)) s |= STATE_SYSTEM_INVISIBLE;
        state->vt = VT_I4;
        state->lVal = s;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!IsSelf(child)) return standard_ ? standard_->get_accDefaultAction(child, action) : S_FALSE;
        *action = AllocString(L"Press");
        return *action ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!IsSelf(child)) return standard_ ? standard_->accDoDefaultAction(child) : S_FALSE;
        if (!Available()) return E_FAIL;  // a press now would be dropped
        if (press_) press_();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return standard_ ? standard_->get_accKeyboardShortcut(child, keys) : S_FALSE;
    }

    // IAccessible: the standard object's answers (position, hierarchy, focus, ...).
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return standard_ ? standard_->get_accParent(parent) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (standard_) return standard_->get_accChildCount(count);
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return standard_ ? standard_->get_accChild(child, out) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard_ ? standard_->get_accValue(child, value) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_ ? standard_->get_accDescription(child, text) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return standard_ ? standard_->get_accHelp(child, text) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
        return standard_ ? standard_->get_accHelpTopic(file, child, topic) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        return standard_ ? standard_->get_accFocus(child) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_ ? standard_->get_accSelection(children) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        return standard_ ? standard_->accSelect(flags, child) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* x, LONG* y, LONG* w, LONG* h, VARIANT child) override {
        if (standard_) return standard_->accLocation(x, y, w, h, child);
        RECT r{};
        if (!IsSelf(child) || !::GetWindowRect(hwnd_, &r)) return E_INVALIDARG;
        *x = r.left;
        *y = r.top;
        *w = r.right - r.left;
        *h = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT* end) override {
        return standard_ ? standard_->accNavigate(dir, start, end) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        if (standard_) return standard_->accHitTest(x, y, child);
        RECT r{};
        ::GetWindowRect(hwnd_, &r);
        const POINT p{x, y};
        if (!::PtInRect(&r, p)) {
            child->vt = VT_EMPTY;
            return S_FALSE;
        }
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    // Disabled, or its form holds its input off while it waits for work.
    bool Available() const { return ::IsWindowEnabled(hwnd_) && !InputHeldOff(hwnd_); }

    LONG refs_ = 1;
    HWND hwnd_;
    base::ComPtr<IAccessible> standard_;  // the system's object for the window, if any
    std::function<void()> press_;
};

}  // namespace

// The accessibility library, the string allocator its clients free with and COM, which
// hands the object to the screen reader, loaded when a screen reader first asks (most runs
// never do).
struct OleaccFunctions {
    decltype(&::CreateStdAccessibleObject) CreateStdAccessibleObject = nullptr;
    decltype(&::LresultFromObject) LresultFromObject = nullptr;
    decltype(&::SysAllocString) SysAllocString = nullptr;
    decltype(&::CoInitializeEx) CoInitializeEx = nullptr;
};

const OleaccFunctions& Oleacc() {
    static const OleaccFunctions functions = [] {
        OleaccFunctions f;
        // Kept for the life of the process: objects and strings handed to clients may call
        // back into these libraries or be freed by them.
        if (HMODULE lib = win32::LoadSystemLibrary(L"oleaut32.dll"))
            f.SysAllocString = win32::ProcAddress<decltype(&::SysAllocString)>(lib, "SysAllocString");
        if (HMODULE lib = win32::LoadSystemLibrary(L"ole32.dll"))
            f.CoInitializeEx = win32::ProcAddress<decltype(&::CoInitializeEx)>(lib, "CoInitializeEx");
        if (HMODULE lib = win32::LoadSystemLibrary(L"oleacc.dll")) {
            f.CreateStdAccessibleObject =
                win32::ProcAddress<decltype(&::CreateStdAccessibleObject)>(lib, "CreateStdAccessibleObject");
            f.LresultFromObject = win32::ProcAddress<decltype(&::LresultFromObject)>(lib, "LresultFromObject");
        }
        return f;
    }();
    return functions;
}

namespace {

BSTR AllocString(const wchar_t* text) { return Oleacc().SysAllocString ? Oleacc().SysAllocString(text) : nullptr; }

}  // namespace

// Wine's oleacc has no standard proxies: asking for one aborts the process there, so the
// object answers position and hit tests itself under Wine.
bool StandardObjectsAvailable() {
    static const bool available = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
    return available;
}

IAccessible* CreateAccessibleButton(HWND hwnd, std::function<void()> press) {
    base::ComPtr<IAccessible> standard;
    if (StandardObjectsAvailable() && Oleacc().CreateStdAccessibleObject &&
        FAILED(Oleacc().CreateStdAccessibleObject(hwnd, OBJID_CLIENT, IID_IAccessible,
                                                  reinterpret_cast<void**>(standard.put()))))
        (void)standard.release();  // a failed call hands out no reference
    return new AccessibleButton(hwnd, std::move(standard), std::move(press));
}

LRESULT AnswerAccessibleButton(HWND hwnd, WPARAM wParam, std::function<void()> press) {
    if (!Oleacc().LresultFromObject) return 0;
    // LresultFromObject marshals through COM, which this thread may not have started yet.
    // It stays initialised for the thread's life: screen readers keep asking.
    static thread_local const bool com =
        Oleacc().CoInitializeEx && SUCCEEDED(Oleacc().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    (void)com;
    const base::ComPtr<IAccessible> button(CreateAccessibleButton(hwnd, std::move(press)));
    // A failure comes back as a negative HRESULT, which clients read as "no object".
    return Oleacc().LresultFromObject(IID_IAccessible, wParam, button.get());
}

}  // namespace host
