#include "tests/win/support/sample_folder.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "base/text.h"
#include "tests/win/support/standin_control.h"

namespace dorvane::test {

SampleFolder::SampleFolder(std::wstring_view name) {
    static std::atomic<int> g_counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH, temp) == 0) throw std::runtime_error("sample folder: GetTempPathW failed");
    path_ = std::wstring(temp) + L"dorvane-" + std::wstring(name) + L"-" + std::to_wstring(::GetCurrentProcessId()) +
            L"-" + std::to_wstring(++g_counter);
    std::error_code error;
    std::filesystem::remove_all(path_, error);  // a stale folder of the same name
    if (!std::filesystem::create_directory(path_, error) && error) {
        throw std::runtime_error("sample folder: cannot make " + base::ToUtf8(path_) + ": " + error.message());
    }
}

SampleFolder::~SampleFolder() {
    std::error_code ignored;  // a destructor cannot report; %TEMP% keeps what is left
    std::filesystem::remove_all(path_, ignored);
}

std::wstring SampleFolder::File(std::wstring_view fileName) const { return path_ + L"\\" + std::wstring(fileName); }

std::wstring SampleFolder::UnixPath() const { return ToUnixPath(path_); }

void SampleFolder::AddDatabase(const std::wstring& name) const { MakeSampleDatabase(path_, name); }

std::string SampleFolder::Bytes(std::wstring_view fileName) const {
    std::ifstream in(std::filesystem::path(File(fileName)), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace dorvane::test
