// The made-up content of a sample database's two files, NAME_Data.MDF and NAME_Log.LDF:
// a readable header naming the database, then deterministic filler bytes. Only the
// standard library, so the Windows test support builds the same files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

std::vector<std::uint8_t> SampleDataFileContent(const std::string& name);  // 8 KiB
std::vector<std::uint8_t> SampleLogFileContent(const std::string& name);   // 4 KiB
std::string SampleDataFileName(const std::string& name);                   // NAME_Data.MDF
std::string SampleLogFileName(const std::string& name);                    // NAME_Log.LDF

}  // namespace standin
