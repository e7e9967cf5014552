#include "tests/win/reliability/reliability_support.h"

#include <stdexcept>

#include "base/text.h"

namespace dorvane::test {

namespace {

std::wstring Describe(const OdbcDiagnostic& d) { return std::to_wstring(d.Native) + L": " + base::FromUtf8(d.Text); }

}  // namespace

CheckSession::CheckSession(int port) : session_(StandinConnectionString(port)) {}

std::wstring CheckSession::Error() const { return Describe(session_.Error()); }

std::optional<std::wstring> CheckSession::Run(const std::wstring& sql) {
    const OdbcResult result = session_.Run(base::ToUtf8(sql));
    if (!result.Ok) return Describe(result.Error);
    return std::nullopt;
}

std::vector<std::wstring> CheckSession::Column(const std::wstring& sql) {
    const OdbcResult result = session_.Run(base::ToUtf8(sql));
    if (!result.Ok) throw std::runtime_error("catalog query failed: " + result.Error.Text);
    std::vector<std::wstring> rows;
    for (const std::string& row : result.Rows) rows.push_back(base::FromUtf8(row));
    return rows;
}

std::wstring BracketIdentifier(const std::wstring& name) {
    std::wstring out = L"[";
    for (wchar_t c : name) {
        out += c;
        if (c == L']') out += c;
    }
    return out + L"]";
}

std::wstring NLiteral(const std::wstring& text) {
    std::wstring out = L"N'";
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') out += c;
    }
    return out + L"'";
}

MessageBoxWatcher::MessageBoxWatcher(HWND owner, DWORD limitMs)
    : thread_([this, owner, limitMs] { Watch(owner, limitMs); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    if (thread_.joinable()) thread_.join();
}

bool MessageBoxWatcher::Finish() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void MessageBoxWatcher::Watch(HWND owner, DWORD limitMs) {
    const ULONGLONG start = ::GetTickCount64();
    while (::GetTickCount64() - start < limitMs) {
        HWND box = nullptr;
        while ((box = ::FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr) {
            if (::GetWindow(box, GW_OWNER) != owner || !::IsWindowVisible(box)) continue;
            wchar_t buf[2048] = {};
            ::GetWindowTextW(box, buf, 2048);
            title_ = buf;
            buf[0] = 0;
            ::GetDlgItemTextW(box, 0xFFFF, buf, 2048);
            text_ = buf;
            elapsedMs_ = static_cast<DWORD>(::GetTickCount64() - start);
            seen_ = true;
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return;
        }
        ::Sleep(20);
    }
}

void PumpMessages() {
    MSG msg;
    for (int i = 0; i < 1000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace dorvane::test
