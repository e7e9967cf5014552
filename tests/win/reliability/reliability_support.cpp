#include "tests/win/reliability/reliability_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/win/support/standin_control.h"

namespace dorvane::test {

SampleFolder::SampleFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH, temp) == 0) throw std::runtime_error("GetTempPathW failed");
    static int counter = 0;
    path_ = std::wstring(temp) + L"dorvane-rel-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    if (!::CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("CreateDirectoryW failed");
}

SampleFolder::~SampleFolder() {
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            ::DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path_.c_str());
}

void SampleFolder::AddDatabase(const std::wstring& name) { MakeSampleDatabase(path_, name); }

std::wstring SampleFolder::UnixPath() const { return ToUnixPath(path_); }

std::string SampleFolder::Bytes(const std::wstring& fileName) const {
    std::ifstream in(std::filesystem::path(path_ + L"\\" + fileName), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(::SQLAllocHandle(type, parent, &h_))) h_ = SQL_NULL_HANDLE;
}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& o) noexcept {
    if (this != &o) {
        if (h_ != SQL_NULL_HANDLE) ::SQLFreeHandle(type_, h_);
        type_ = o.type_;
        h_ = std::exchange(o.h_, SQLHANDLE{});
    }
    return *this;
}

OdbcHandle::~OdbcHandle() {
    if (h_ != SQL_NULL_HANDLE) ::SQLFreeHandle(type_, h_);
}

namespace {

std::wstring FirstDiagnostic(const OdbcHandle& h) {
    SQLWCHAR state[6] = {}, text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(::SQLGetDiagRecW(h.Type(), h.Get(), 1, state, &native, text, 1024, &len))) {
        return L"(no diagnostic record)";
    }
    return std::to_wstring(native) + L": " + reinterpret_cast<wchar_t*>(text);
}

}  // namespace

CheckSession::CheckSession(int port) : env_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
    ::SQLSetEnvAttr(env_.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    dbc_ = OdbcHandle(SQL_HANDLE_DBC, env_.Get());
    ::SQLSetConnectAttrW(dbc_.Get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(10)), 0);
    std::wstring cs = L"DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_wstring(port) +
                      L";UID=sa;PWD=;DATABASE=master;TDS_Version=7.4";
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    connected_ = SQL_SUCCEEDED(::SQLDriverConnectW(dbc_.Get(), nullptr, reinterpret_cast<SQLWCHAR*>(cs.data()), SQL_NTS,
                                                   out, 1024, &outLen, SQL_DRIVER_NOPROMPT));
    if (!connected_) error_ = FirstDiagnostic(dbc_);
}

CheckSession::~CheckSession() {
    if (connected_) ::SQLDisconnect(dbc_.Get());
    dbc_ = OdbcHandle();
}

std::optional<std::wstring> CheckSession::Run(const std::wstring& sql) {
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
    std::wstring text = sql;
    const SQLRETURN r = ::SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) return FirstDiagnostic(stmt);
    return std::nullopt;
}

std::vector<std::wstring> CheckSession::Column(const std::wstring& sql) {
    std::vector<std::wstring> rows;
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
    std::wstring text = sql;
    const SQLRETURN r = ::SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(r)) throw std::runtime_error("catalog query failed");
    while (SQL_SUCCEEDED(::SQLFetch(stmt.Get()))) {
        SQLWCHAR buf[512] = {};
        SQLLEN ind = 0;
        ::SQLGetData(stmt.Get(), 1, SQL_C_WCHAR, buf, sizeof buf, &ind);
        rows.emplace_back(ind == SQL_NULL_DATA ? L"NULL" : reinterpret_cast<wchar_t*>(buf));
    }
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
