// Dorvane.exe as shipped: its version record, its icon, that it needs nothing but the
// system's own DLLs, that a start shows Form1 and loads nothing of COM, the dialogs or
// ODBC, that what loads later comes from the system folder, never from the program's, and
// that a driver's own DLLs are found beside it. DORVANE_PROGRAM (a Windows path) names
// another file to check in its place: scripts/test.sh points it at the signed release file
// and at the Clang build.
#include <windows.h>
#include <oleacc.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "db/connection.h"
#include "host/control_site.h"
#include "win32/win_handles.h"
#include "win32/window_class.h"
#include "tests/win/form/modal_driver.h"
#include "tests/win/support/sample_folder.h"
#include "tests/win/support/win_owners.h"

namespace dorvane::test {
namespace {

const wchar_t* Program() {
    static const std::wstring path = [] {
        std::wstring value(MAX_PATH, L'\0');
        const DWORD n = ::GetEnvironmentVariableW(L"DORVANE_PROGRAM", value.data(), MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return std::wstring(DORVANE_EXE);
        value.resize(n);
        return value;
    }();
    return path.c_str();
}

std::vector<char> ReadFile(const wchar_t* path) {
    const UniqueFile f(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return {};
    LARGE_INTEGER size{};
    ::GetFileSizeEx(f.get(), &size);
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ::ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

// The names in the PE import directory of an x86 (PE32) or x64 (PE32+) image (not
// delay-loaded ones; MinGW's delay-load libraries leave no delay-load directory).
std::vector<std::string> ImportedDlls(const std::vector<char>& image) {
    std::vector<std::string> names;
    auto at = [&](size_t off, size_t len) { return off + len <= image.size(); };
    if (!at(0, sizeof(IMAGE_DOS_HEADER))) return names;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || !at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS64))) return names;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
    const auto* nt32 = reinterpret_cast<const IMAGE_NT_HEADERS32*>(nt);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return names;
    const bool pe32plus = nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    if (!pe32plus && nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return names;
    // Both header forms start the same way up to the optional header, which differs in size.
    const auto* sections = pe32plus ? IMAGE_FIRST_SECTION(nt) : IMAGE_FIRST_SECTION(nt32);
    auto rvaToOffset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData))
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return 0;
    };
    const auto& dir = pe32plus ? nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
                               : nt32->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t off = rvaToOffset(dir.VirtualAddress);
    while (off && at(off, sizeof(IMAGE_IMPORT_DESCRIPTOR))) {
        const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.data() + off);
        if (!d->Name) break;
        const size_t nameOff = rvaToOffset(d->Name);
        if (!nameOff || !at(nameOff, 1)) break;
        std::string name(image.data() + nameOff);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        names.push_back(name);
        off += sizeof(IMAGE_IMPORT_DESCRIPTOR);
    }
    return names;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* key) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + key;
    void* value = nullptr;
    UINT len = 0;
    if (!::VerQueryValueW(info.data(), path.c_str(), &value, &len) || !value) return L"<missing>";
    return static_cast<const wchar_t*>(value);
}

// COM (ole32, oleaut32, the codecs), the dialog and accessibility libraries and ODBC load
// on first use, never with the program.
const char* const kLoadedOnFirstUse[] = {"ole32.dll",  "oleaut32.dll", "windowscodecs.dll", "comdlg32.dll",
                                         "oleacc.dll", "odbc32.dll",   "shcore.dll"};

TEST(ProgramFile, ImportsOnlyWindowsSystemDlls) {
    const auto image = ReadFile(Program());
    ASSERT_FALSE(image.empty()) << "cannot read Dorvane.exe";
    const auto dlls = ImportedDlls(image);
    ASSERT_FALSE(dlls.empty());
    const std::set<std::string> system = {
        "kernel32.dll",      "user32.dll",  "gdi32.dll",  "comdlg32.dll", "comctl32.dll", "ole32.dll",
        "oleaut32.dll",      "odbc32.dll",  "msvcrt.dll", "advapi32.dll", "shell32.dll",  "shcore.dll",
        "windowscodecs.dll", "shlwapi.dll", "oleacc.dll", "uxtheme.dll",  "version.dll",  "ws2_32.dll"};
    for (const auto& dll : dlls) EXPECT_TRUE(system.count(dll)) << dll << " is not a Windows system DLL";
    for (const char* dll : kLoadedOnFirstUse)
        EXPECT_EQ(std::count(dlls.begin(), dlls.end(), dll), 0)
            << dll << " must load on first use, not with the program";
    EXPECT_EQ(std::count(dlls.begin(), dlls.end(), "comctl32.dll"), 0)
        << "comctl32.dll must load after the DLL search is limited, not with the program";
    // Linked statically: no compiler run-time DLLs.
    for (const auto& dll : dlls) {
        EXPECT_EQ(dll.find("libstdc++"), std::string::npos);
        EXPECT_EQ(dll.find("libgcc"), std::string::npos);
        EXPECT_EQ(dll.find("winpthread"), std::string::npos);
    }
}

// Dorvane.exe (or a copy) started as a user starts it, ended with the object.
class RunningDorvane {
public:
    explicit RunningDorvane(const std::wstring& program = Program()) {
        std::wstring command = L"\"" + program + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
        process_.reset(pi.hProcess);
        win32::UniqueKernelHandle thread(pi.hThread);
        for (int i = 0; i < 300 && !window_; ++i) {
            ::Sleep(100);
            for (HWND w = ::FindWindowW(L"DorvaneForm1", nullptr); w;
                 w = ::FindWindowExW(nullptr, w, L"DorvaneForm1", nullptr)) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                if (pid == pi.dwProcessId && ::IsWindowVisible(w)) window_ = w;
            }
        }
    }
    ~RunningDorvane() {
        if (!process_) return;
        ::TerminateProcess(process_.get(), 0);
        ::WaitForSingleObject(process_.get(), 10000);
    }
    RunningDorvane(const RunningDorvane&) = delete;
    RunningDorvane& operator=(const RunningDorvane&) = delete;
    HWND Window() const { return window_; }

    // The process's modules: lower-case base name to full path.
    std::map<std::string, std::wstring> Modules() const {
        HMODULE modules[512];
        DWORD needed = 0;
        std::map<std::string, std::wstring> loaded;
        if (!::EnumProcessModules(process_.get(), modules, sizeof(modules), &needed)) return loaded;
        for (DWORD i = 0; i < std::min<DWORD>(needed / sizeof(HMODULE), 512); ++i) {
            char name[MAX_PATH] = {};
            wchar_t path[MAX_PATH] = {};
            ::GetModuleBaseNameA(process_.get(), modules[i], name, MAX_PATH);
            ::GetModuleFileNameExW(process_.get(), modules[i], path, MAX_PATH);
            std::string lower(name);
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
            loaded[lower] = path;
        }
        return loaded;
    }

    // A screen reader's default action on 分离: a detach (against no server, so it ends with
    // the error's message box).
    void PressDetach() const {
        if (HWND detach = ::FindWindowExW(window_, nullptr, L"XPButton2", L"分离"))
            ::PostMessageW(detach, host::kDefaultActionMessage, 0, 0);
    }

    // LoadLibraryW(name) on a thread started in the process: a load by name with the
    // process's own DLL search, as its driver manager loads a driver's DLLs. (kernel32's
    // LoadLibraryW is at the same address in every process of the session.)
    void LoadByName(const std::wstring& name) const {
        const size_t bytes = (name.size() + 1) * sizeof(wchar_t);
        void* text = ::VirtualAllocEx(process_.get(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!text) return;
        const auto load =
            win32::ProcAddress<LPTHREAD_START_ROUTINE>(::GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");
        if (::WriteProcessMemory(process_.get(), text, name.c_str(), bytes, nullptr)) {
            const win32::UniqueKernelHandle thread(
                ::CreateRemoteThread(process_.get(), nullptr, 0, load, text, 0, nullptr));
            if (thread) ::WaitForSingleObject(thread.get(), 20000);
        }
        ::VirtualFreeEx(process_.get(), text, 0, MEM_RELEASE);
    }

private:
    win32::UniqueKernelHandle process_;
    HWND window_ = nullptr;
};

TEST(ProgramFile, StartsWithoutComDialogsOrOdbc) {
    // A start that shows the window loads none of them either. (Under Wine the X11 driver
    // loads ole32 and combase for every window, a bare one included, so those two are left
    // to the benchmark's comparison with a bare window.)
    RunningDorvane dorvane;
    EXPECT_NE(dorvane.Window(), nullptr) << "Dorvane.exe showed no window";
    if (dorvane.Window()) {
        EXPECT_EQ(win32::WindowText(dorvane.Window()), L"Dorvane");
    }
    ::Sleep(500);  // the first paint and whatever the message loop loads with it
    const auto loaded = dorvane.Modules();
    ASSERT_TRUE(loaded.count("user32.dll")) << "the module list could not be read";
    for (const char* dll : kLoadedOnFirstUse)
        if (std::string(dll) != "ole32.dll") {
            EXPECT_FALSE(loaded.count(dll)) << dll << " is loaded at start";
        }
}

TEST(ProgramFile, LoadsOdbcAndAccessibilityFromTheSystemFolder) {
    RunningDorvane dorvane;
    ASSERT_NE(dorvane.Window(), nullptr) << "Dorvane.exe showed no window";
    HWND detach = ::FindWindowExW(dorvane.Window(), nullptr, L"XPButton2", L"分离");
    ASSERT_NE(detach, nullptr);
    // A screen reader's question loads the accessibility library; its default action on
    // 分离 runs a detach, which loads the ODBC manager.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(detach, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), SMTO_BLOCK, 10000, &ignored);
    dorvane.PressDetach();
    std::map<std::string, std::wstring> loaded;
    for (int i = 0; i < 600 && !loaded.count("odbc32.dll"); ++i, ::Sleep(100)) loaded = dorvane.Modules();
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    for (const char* dll : {"odbc32.dll", "oleacc.dll"}) {
        ASSERT_TRUE(loaded.count(dll)) << dll << " did not load";
        const std::wstring& path = loaded[dll];
        const size_t slash = path.find_last_of(L'\\');
        EXPECT_EQ(_wcsicmp(path.substr(0, slash).c_str(), system), 0) << dll << " came from " << base::ToUtf8(path);
    }
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A string value of the registry set for the life of the object, and put back as it was
// (keys it had to make stay, empty).
class ScopedRegistryValue {
public:
    ScopedRegistryValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value)
        : name_(name) {
        if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                              nullptr) != ERROR_SUCCESS)
            return;
        DWORD bytes = 0;
        had_ = ::RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS;
        old_.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(old_.size() * sizeof(wchar_t));
        if (had_) ::RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(old_.data()), &bytes);
        old_.resize(wcslen(old_.c_str()));
        set_ = Write(value);
    }
    ~ScopedRegistryValue() {
        if (!key_) return;
        if (had_) {
            Write(old_);
        } else {
            ::RegDeleteValueW(key_, name_);
        }
        ::RegCloseKey(key_);
    }
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
    bool Set() const { return set_; }

private:
    bool Write(const std::wstring& value) const {
        return ::RegSetValueExW(key_, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    const wchar_t* name_;
    HKEY key_ = nullptr;
    bool had_ = false, set_ = false;
    std::wstring old_;
};

TEST(ProgramFile, LoadsNoDllFromItsOwnFolder) {
    // A copy of the program in a folder of its own, beside it a DLL (the test build's, which
    // leaves NAME.loaded beside itself when it loads) named as one that is loaded by name
    // for the program: comctl32 brings in uxtheme. Wine is told to take such a DLL before
    // its own for this copy, as Windows takes the first one it finds. (Through the registry:
    // a program Wine starts gets Wine's overrides from Wine's own environment, whatever the
    // environment given to it says.)
    const SampleFolder folder(L"planted");
    const std::wstring copy = folder.File(L"Dorvane-planted.exe");
    ASSERT_TRUE(::CopyFileW(Program(), copy.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(DORVANE_TRACE_DLL, folder.File(L"uxtheme.dll").c_str(), FALSE));
    const ScopedRegistryValue nativeFirst(HKEY_CURRENT_USER,
                                          L"Software\\Wine\\AppDefaults\\Dorvane-planted.exe\\DllOverrides", L"uxtheme",
                                          L"native,builtin");
    ASSERT_TRUE(nativeFirst.Set());
    {
        RunningDorvane dorvane(copy);
        EXPECT_NE(dorvane.Window(), nullptr) << "the copy showed no window";
        ::Sleep(500);  // the first paint, with the themed parts
    }
    EXPECT_FALSE(Exists(folder.File(L"uxtheme.dll.loaded"))) << "the uxtheme.dll beside the program was loaded";
}

TEST(ProgramFile, FindsTheDriversOwnDllsBesideIt) {
    // The driver Dorvane chooses, registered (in the test's Wine prefix) as installed in a
    // folder of its own that holds a DLL of the driver's (the test build's). Wine's ODBC
    // manager hands connections to the host's unixODBC and loads no Windows driver, so that
    // DLL is loaded by name in Dorvane's process instead, as the driver's imports would be:
    // not found before a detach, found from the driver's folder after it.
    const auto driver = db::ChooseDriver(db::InstalledDrivers());
    ASSERT_TRUE(driver.has_value()) << "no SQL Server driver is installed";
    const SampleFolder folder(L"driver");
    ASSERT_TRUE(::CopyFileW(DORVANE_TRACE_DLL, folder.File(L"tdsdependency.dll").c_str(), FALSE));
    const ScopedRegistryValue registration(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ODBC\\ODBCINST.INI\\" + driver->Name,
                                           L"Driver", folder.File(L"tdsodbc.dll"));
    ASSERT_TRUE(registration.Set()) << "cannot register " << base::ToUtf8(driver->Name);
    RunningDorvane dorvane;
    ASSERT_NE(dorvane.Window(), nullptr) << "Dorvane.exe showed no window";
    const std::wstring trace = folder.File(L"tdsdependency.dll.loaded");
    dorvane.LoadByName(L"tdsdependency.dll");
    EXPECT_FALSE(Exists(trace)) << "found before the detach";
    MessageBoxAnswerer answer(dorvane.Window(), std::chrono::seconds(60));
    dorvane.PressDetach();
    const MessageBoxSeen box = answer.Result();
    ASSERT_TRUE(box.Shown) << "the detach ended with no message box";
    // The driver's answer, not a fault of the delay-loaded ODBC calls.
    EXPECT_EQ(box.Text.find(L"thread ended with exception"), std::wstring::npos) << base::ToUtf8(box.Text);
    dorvane.LoadByName(L"tdsdependency.dll");
    EXPECT_TRUE(Exists(trace)) << "the driver's own DLL was not found beside it after the detach";
}

TEST(ProgramFile, CarriesTheVersionRecord) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(Program(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(Program(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    struct Translation {
        WORD Language, CodePage;
    }* tr = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len));
    ASSERT_GE(len, sizeof(Translation));
    EXPECT_EQ(tr->Language, 0x0804);
    EXPECT_EQ(tr->CodePage, 0x04B0);
    EXPECT_EQ(VersionString(info, L"FileDescription"), L"Dorvane");
    EXPECT_EQ(VersionString(info, L"ProductName"), L"Dorvane");
    EXPECT_EQ(VersionString(info, L"InternalName"), L"Dorvane");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"Dorvane.exe");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.00");
}

TEST(ProgramFile, CarriesTheTwoImageIconAsItsOwn) {
    const win32::UniqueModule module(
        ::LoadLibraryExW(Program(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    const HMODULE exe = module.get();
    ASSERT_NE(exe, nullptr);
    // The first icon group is the program's icon; it holds 16x16 and 32x32 at 8 bits.
    HRSRC group = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const BYTE* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(exe, group)));
    ASSERT_NE(dir, nullptr);
    const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    ASSERT_EQ(count, 2);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* e = dir + 6 + i * 14;  // GRPICONDIRENTRY
        sizes.insert(e[0]);
        EXPECT_EQ(*reinterpret_cast<const WORD*>(e + 6), 8) << "bits per pixel";
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

}  // namespace
}  // namespace dorvane::test
