// A folder of its own under %TEMP% for sample databases, removed with everything in it
// when its owner goes. Its name carries the process id, and Wine reuses process ids: a
// folder of that name left by a killed earlier run is removed and made afresh.
#pragma once

#include <string>
#include <string_view>

namespace dorvane::test {

class SampleFolder {
public:
    // %TEMP%\dorvane-NAME-PID-N; NAME shows in paths where a test wants a particular
    // folder name (long, Chinese, short). Throws std::runtime_error.
    explicit SampleFolder(std::wstring_view name = L"samples");
    ~SampleFolder();
    SampleFolder(const SampleFolder&) = delete;
    SampleFolder& operator=(const SampleFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    // The Windows path of one file in the folder.
    std::wstring File(std::wstring_view fileName) const;
    // The folder as the stand-in sees it (a Unix path).
    std::wstring UnixPath() const;
    // NAME_Data.MDF and NAME_Log.LDF with the stand-in's sample content.
    void AddDatabase(const std::wstring& name) const;
    // The bytes of one file of the folder.
    std::string Bytes(std::wstring_view fileName) const;

private:
    std::wstring path_;
};

}  // namespace dorvane::test
