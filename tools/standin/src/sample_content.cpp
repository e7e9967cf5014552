#include "tools/standin/src/sample_content.h"

namespace standin {
namespace {

std::vector<std::uint8_t> Content(const std::string& name, const char* kind, std::size_t size) {
    const std::string header = std::string("Dorvane stand-in sample database file\n") + "kind: " + kind +
                               "\nname: " + name + "\nThis is test content, not a SQL Server file.\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    // A linear congruential sequence seeded by the name and kind: same bytes every time.
    std::uint32_t x = 2166136261u;
    for (char c : name + kind) x = (x ^ static_cast<unsigned char>(c)) * 16777619u;
    while (out.size() < size) {
        x = x * 1664525u + 1013904223u;
        out.push_back(static_cast<std::uint8_t>(x >> 24));
    }
    out.resize(size);
    return out;
}

}  // namespace

std::vector<std::uint8_t> SampleDataFileContent(const std::string& name) { return Content(name, "data", 8192); }
std::vector<std::uint8_t> SampleLogFileContent(const std::string& name) { return Content(name, "log", 4096); }
std::string SampleDataFileName(const std::string& name) { return name + "_Data.MDF"; }
std::string SampleLogFileName(const std::string& name) { return name + "_Log.LDF"; }

}  // namespace standin
