// The look of XPButton2: its colour table and the drawing routines' types.
#pragma once

#include <cstdint>

namespace xpbutton {

// The look of a button; DrawButton gives each value its picture.
enum ButtonState : int32_t {
    STATE_DISABLED = 0,  // disabled; also the value before anything has been drawn
    STATE_NORMAL = 1,    // enabled and idle
    STATE_FOCUSED = 2,   // focused or shown as the default button, pointer outside
    STATE_HOT = 3,       // pointer over it, not pressed
    STATE_PRESSED = 4,   // being pressed, or just double-clicked
};

// How many looks there are: every table of looks (the colours here, the tests' expected
// colours, the button strip's names) has one entry for each ButtonState below this.
inline constexpr int32_t kLookCount = STATE_PRESSED + 1;

// Colours are 0x00BBGGRR, each array indexed by ButtonState. aBorder and the three corner
// arrays are read for every look; the six of the lines and side bands (aLight1, aLight2,
// aShade1, aShade2, aGlowTop, aGlowBottom) only for the looks with a gradient face,
// STATE_NORMAL to STATE_HOT: their slots for the flat looks are never read.
struct ButtonColors {
    uint32_t aBorder[kLookCount];
    uint32_t aLight1[kLookCount];
    uint32_t aLight2[kLookCount];
    uint32_t aShade1[kLookCount];
    uint32_t aShade2[kLookCount];
    uint32_t aCornerEdge[kLookCount];
    uint32_t aCornerOuter[kLookCount];
    uint32_t aCornerInner[kLookCount];
    uint32_t aGlowTop[kLookCount];
    uint32_t aGlowBottom[kLookCount];
};

// Fixed colours of the face and caption.
constexpr uint32_t FACE_TOP = 0xFBFCFC;
constexpr uint32_t FACE_BOTTOM = 0xE6EBEC;
constexpr uint32_t FACE_DISABLED = 0xEAF4F5;
constexpr uint32_t FACE_PRESSED = 0xDEE3E7;
constexpr uint32_t CAPTION_DISABLED = 0x92A1A1;
constexpr uint32_t FOCUS_RECT_TEXT = 0x000000;
// The high bit marks a colour as a system colour's index (COLOR_...), resolved when drawn.
constexpr uint32_t SYSTEM_COLOUR = 0x80000000u;

struct DrawRect {
    int32_t Left, Top, Right, Bottom;
};

}  // namespace xpbutton
