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

// Colours are 0x00BBGGRR. Eight arrays are indexed 0..4 by ButtonState; aGlowTop and
// aGlowBottom only 1..3 (their slots 0 and 4 are never read).
struct ButtonColors {
    uint32_t aBorder[5];
    uint32_t aLight1[5];
    uint32_t aLight2[5];
    uint32_t aShade1[5];
    uint32_t aShade2[5];
    uint32_t aCornerEdge[5];
    uint32_t aCornerOuter[5];
    uint32_t aCornerInner[5];
    uint32_t aGlowTop[5];
    uint32_t aGlowBottom[5];
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
