// The control container of one form: it sites the form's user controls, lists the
// form's controls, answers for the form as their parent, routes access keys, moves the
// focus with Tab, ends its controls' presses when a modal loop of the form starts, and
// terminates the controls when the form goes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "host/control_site.h"

namespace host {

// A control of the form that is not a user control (a label, a text field).
class PlainControl : public Control {
public:
    PlainControl(std::wstring typeName, std::wstring name, HWND hwnd = nullptr)
        : typeName_(std::move(typeName)), name_(std::move(name)), hwnd_(hwnd) {}
    std::wstring TypeName() const override { return typeName_; }
    std::wstring Name() const override { return name_; }
    HWND Hwnd() const { return hwnd_; }

private:
    std::wstring typeName_;
    std::wstring name_;
    HWND hwnd_;
};

// Final: it is deleted through its own type, and IParent is never the owner.
class FormContainer final : public IParent {
public:
    explicit FormContainer(HWND form, bool mdiChild = false);
    ~FormContainer();
    FormContainer(const FormContainer&) = delete;
    FormContainer& operator=(const FormContainer&) = delete;

    // Sites a user control on the form (Parent and ParentWindow are filled in). The
    // control is not loaded yet: call Load on the returned site.
    ControlSite& AddControl(std::unique_ptr<UserControl> control, SiteSettings settings);
    void AddPlainControl(std::unique_ptr<PlainControl> control);

    // IParent
    HWND hwnd() override { return form_; }
    bool MDIChild() override { return mdiChild_; }
    std::vector<Control*> Controls() override;

    // Access keys (Alt+key anywhere on the form; the plain key while a user control has
    // the focus), then Tab navigation. True when the message was handled.
    bool PreTranslateMessage(MSG& msg);
    static bool PreTranslateForThread(MSG& msg);

    // Terminates every control, in the order they were sited, and destroys their windows.
    void TerminateAll();

    const std::vector<std::unique_ptr<ControlSite>>& Sites() const { return sites_; }
    ControlSite* FindSite(const std::wstring& name) const;

private:
    ControlSite* SiteForAccessKey(wchar_t key) const;
    static LRESULT CALLBACK WatchModalLoops(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR self);

    HWND form_;
    bool mdiChild_;
    std::vector<std::unique_ptr<ControlSite>> sites_;
    std::vector<std::unique_ptr<PlainControl>> plain_;
    std::vector<Control*> order_;  // every control in the order it was added
};

}  // namespace host
