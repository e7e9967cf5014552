// A temporary Windows folder holding sample database files for the stand-in server,
// removed with everything in it when the owner goes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/win/support/standin_control.h"

namespace dorvane::test {

class SampleFolder {
public:
    SampleFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        if (GetTempPathW(MAX_PATH, temp) == 0) throw std::runtime_error("GetTempPathW failed");
        path_ = std::wstring(temp) + L"dorvane-db-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64());
        if (!CreateDirectoryW(path_.c_str(), nullptr)) throw std::runtime_error("CreateDirectoryW failed");
    }
    SampleFolder(const SampleFolder&) = delete;
    SampleFolder& operator=(const SampleFolder&) = delete;
    ~SampleFolder() {
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }

    const std::wstring& Path() const { return path_; }

    // NAME_Data.MDF and NAME_Log.LDF, the stand-in's sample content.
    void AddDatabase(const std::wstring& name) {
        files_.push_back(path_ + L"\\" + name + L"_Data.MDF");
        files_.push_back(path_ + L"\\" + name + L"_Log.LDF");
        MakeSampleDatabase(path_, name);
    }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

}  // namespace dorvane::test
