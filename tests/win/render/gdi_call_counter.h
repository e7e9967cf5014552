// Counts the drawing calls this program makes while an instance is alive, by pointing
// the program's own import table entries for a few gdi32/user32 functions at counting
// wrappers that forward to the real functions: GDI still does all the drawing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace dorvane::test {

struct GdiCalls {
    int LineTo = 0;
    int MoveToEx = 0;
    int SetPixel = 0;
    int CreatePen = 0;
    int PensDeleted = 0;  // DeleteObject on a pen created while counting
    int CreateSolidBrush = 0;
    int BrushesDeleted = 0;  // DeleteObject on a brush created while counting
    int FillRect = 0;
    int CreateRoundRectRgn = 0;
    int SetWindowRgn = 0;
    int PensSelected = 0;      // SelectObject of a pen created while counting
    int PensSelectedBack = 0;  // SelectObject that put back the pen a counted pen replaced
};

class GdiCallCounter {
public:
    GdiCallCounter();   // patches the import table; ADD_FAILUREs when an entry is missing
    ~GdiCallCounter();  // puts the real entries back
    GdiCallCounter(const GdiCallCounter&) = delete;
    GdiCallCounter& operator=(const GdiCallCounter&) = delete;

    const GdiCalls& Calls() const;
    void Reset();
    // The pens, brushes and regions created since the last Reset that are still GDI
    // objects (deleted handles no longer name an object).
    std::vector<HGDIOBJ> LiveObjectsCreated() const;
    bool Ready() const { return ready_; }

private:
    bool ready_ = false;
};

}  // namespace dorvane::test
