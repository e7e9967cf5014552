// Writes a 32-bit top-down BGRX picture as a PNG file through the Windows Imaging
// Component's PNG encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace buttonstrip {

struct Picture {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB per pixel (BGRX in memory), rows top down
};

// Throws std::runtime_error with the failing step and its HRESULT.
void WritePng(const std::wstring& path, const Picture& picture);

}  // namespace buttonstrip
