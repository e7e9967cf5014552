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

namespace db_test {

// Owns one open file handle.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

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

  // NAME_Data.MDF and NAME_Log.LDF with a few bytes of made-up content.
  void AddDatabase(const std::wstring& name) {
    Write(name + L"_Data.MDF", "Dorvane test data file of " + std::to_string(name.size()));
    Write(name + L"_Log.LDF", "Dorvane test log file");
  }

 private:
  void Write(const std::wstring& fileName, const std::string& content) {
    const std::wstring file = path_ + L"\\" + fileName;
    const FileHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.Get() == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW failed");
    files_.push_back(file);
    DWORD written = 0;
    const BOOL ok = WriteFile(handle.Get(), content.data(), static_cast<DWORD>(content.size()),
                              &written, nullptr);
    if (!ok || written != content.size()) throw std::runtime_error("WriteFile failed");
  }

  std::wstring path_;
  std::vector<std::wstring> files_;
};

}  // namespace db_test
