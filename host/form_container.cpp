#include "host/form_container.h"

#include "win32/window_subclass.h"

#include <algorithm>

#include "base/text.h"

namespace host {

namespace {

// The containers of the forms on this thread, for DoEvents' pre-translation.
thread_local std::vector<FormContainer*> g_containers;

constexpr UINT_PTR kModalLoopWatch = 0xD0F0;

}  // namespace

FormContainer::FormContainer(HWND form, bool mdiChild) : form_(form), mdiChild_(mdiChild) {
    g_containers.push_back(this);
    // The form's own modal loops (its window menu, opened by keys or the mouse, menu mode,
    // a move or resize by keys or by dragging its frame) take the keyboard and the mouse
    // from its controls while they run. Without the watch a press held through one would
    // click when it ends.
    if (form_) win32::SetSubclass(form_, &WatchModalLoops, kModalLoopWatch, reinterpret_cast<DWORD_PTR>(this));
}

FormContainer::~FormContainer() {
    TerminateAll();
    if (form_ && ::IsWindow(form_)) win32::RemoveSubclass(form_, &WatchModalLoops, kModalLoopWatch);
    std::erase(g_containers, this);
}

LRESULT CALLBACK FormContainer::WatchModalLoops(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                 DWORD_PTR self) {
    switch (msg) {
        case WM_ENTERMENULOOP:
        case WM_ENTERSIZEMOVE:
            for (auto& site : reinterpret_cast<FormContainer*>(self)->sites_) site->EndPress();
            break;
        case WM_NCDESTROY:
            win32::RemoveSubclass(hwnd, &WatchModalLoops, kModalLoopWatch);
            break;
        default:
            break;
    }
    return win32::DefSubclass(hwnd, msg, wParam, lParam);
}

ControlSite& FormContainer::AddControl(std::unique_ptr<UserControl> control, SiteSettings settings) {
    settings.Parent = this;
    settings.ParentWindow = form_;
    auto site = ControlSite::Create(std::move(control), std::move(settings));
    ControlSite& ref = *site;
    order_.push_back(&site->Control());
    sites_.push_back(std::move(site));
    return ref;
}

void FormContainer::AddPlainControl(std::unique_ptr<PlainControl> control) {
    order_.push_back(control.get());
    plain_.push_back(std::move(control));
}

std::vector<Control*> FormContainer::Controls() { return order_; }

ControlSite* FormContainer::FindSite(const std::wstring& name) const {
    for (const auto& s : sites_)
        if (base::EqualsIgnoringCase(s->Name(), name)) return s.get();
    return nullptr;
}

ControlSite* FormContainer::SiteForAccessKey(wchar_t key) const {
    for (const auto& s : sites_)
        if (!s->Terminated() && s->Hwnd() && ::IsWindowVisible(s->Hwnd()) && s->WantsAccessKey(key)) return s.get();
    return nullptr;
}

bool FormContainer::PreTranslateMessage(MSG& msg) {
    if (!form_ || !::IsWindow(form_)) return false;
    if (msg.hwnd != form_ && !::IsChild(form_, msg.hwnd)) return false;
    if (msg.message == WM_SYSCHAR || msg.message == WM_CHAR) {
        const wchar_t key = static_cast<wchar_t>(msg.wParam);
        // A plain key is an access key only while a user control has the focus; in a
        // text field it is typing.
        const bool plainOnControl = msg.message == WM_CHAR && ControlSite::FromWindow(::GetFocus()) != nullptr;
        if (msg.message == WM_SYSCHAR || plainOnControl) {
            if (ControlSite* site = SiteForAccessKey(key)) {
                site->DeliverAccessKey(key);
                return true;
            }
        }
    }
    return ::IsDialogMessageW(form_, &msg) != FALSE;
}

bool FormContainer::PreTranslateForThread(MSG& msg) {
    const auto containers = g_containers;  // a handler may close a form meanwhile
    for (FormContainer* c : containers)
        if (std::find(g_containers.begin(), g_containers.end(), c) != g_containers.end() && c->PreTranslateMessage(msg))
            return true;
    return false;
}

void FormContainer::TerminateAll() {
    for (auto& s : sites_) s->Terminate();
    for (auto& s : sites_) s->DestroyWindow();
}

}  // namespace host
