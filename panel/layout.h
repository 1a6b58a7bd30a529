// SPDX-License-Identifier: MIT
// The main window's layout as data: every control with its place, size,
// caption and tab index, in twips (1/1440 inch) from the top-left corner of its
// container's client area. 15 twips make one pixel at 96 dots per inch.
#pragma once

#include <array>
#include <string_view>

namespace panel::layout {

inline constexpr int kTwipsPerPixel = 15;
constexpr int pixels(int twips) {
    return twips / kTwipsPerPixel;
}

inline constexpr std::string_view kWindowCaption = "Krmiljenje paralelnih vrat "; // trailing blank
// Follows the caption on the simulated port, so nobody takes it for hardware.
inline constexpr std::string_view kSimulatedMarker = "[simulirana vrata]";
inline constexpr int kClientWidth = 9255; // below the menu bar
inline constexpr int kClientHeight = 5925;
inline constexpr std::string_view kMenuCaption = "Shema konektorja"; // Connec, no submenu
inline constexpr std::string_view kIconResource = ":/icon.png";

enum class Kind { Frame, Button, CheckBox, Label, Image };

struct Control {
    Kind kind;
    std::string_view name;      // "Label1"
    int index;                  // element of a control array; -1 for a single control
    std::string_view container; // "" for the window's client area, else the frame's name
    int left, top, width, height;
    std::string_view caption; // UTF-8, exactly as drawn; empty for images
    int tabIndex;             // -1 for images, which hold none
};

// Frames come before the controls they hold, so one pass over the table can
// build the window.
inline constexpr std::array<Control, 52> kControls{{
    // The column at the left edge and the three frames.
    {Kind::CheckBox, "Check1", -1, "", 120, 240, 2055, 375, "Vključi izhode v skupini", 20},
    {Kind::Button, "Command1", -1, "", 120, 720, 2055, 375, "Preklopi izhode", 1},
    {Kind::Button, "Command3", -1, "", 120, 1800, 2055, 375, "Vse izhode na 1", 25},
    {Kind::Button, "Command4", -1, "", 120, 2400, 2055, 375, "Vse izhode na 0", 26},
    {Kind::Button, "Command2", -1, "", 120, 5280, 2055, 375, "Izhod iz programa", 2},
    {Kind::Frame, "Frame1", -1, "", 2280, 240, 2175, 5415, "Izhodi A", 0},
    {Kind::Frame, "Frame3", -1, "", 4560, 240, 2415, 5415, "Izhodi B", 21},
    {Kind::Frame, "Frame2", -1, "", 7080, 240, 2055, 4335, "Vhodi", 11},

    // "Izhodi A": data outputs D0..D7 and their toggle-all switch.
    {Kind::Image, "Image1", 0, "Frame1", 360, 480, 375, 375, "", -1},
    {Kind::Label, "Label1", 0, "Frame1", 1200, 600, 495, 255, "Data 0", 3},
    {Kind::Image, "Image1", 1, "Frame1", 360, 960, 375, 375, "", -1},
    {Kind::Label, "Label1", 1, "Frame1", 1200, 1080, 495, 255, "Data 1", 4},
    {Kind::Image, "Image1", 2, "Frame1", 360, 1440, 375, 375, "", -1},
    {Kind::Label, "Label1", 2, "Frame1", 1200, 1560, 495, 255, "Data 2", 5},
    {Kind::Image, "Image1", 3, "Frame1", 360, 1920, 375, 375, "", -1},
    {Kind::Label, "Label1", 3, "Frame1", 1200, 2040, 495, 255, "Data 3", 6},
    {Kind::Image, "Image1", 4, "Frame1", 360, 2400, 375, 375, "", -1},
    {Kind::Label, "Label1", 4, "Frame1", 1200, 2520, 495, 255, "Data 4", 7},
    {Kind::Image, "Image1", 5, "Frame1", 360, 2880, 375, 375, "", -1},
    {Kind::Label, "Label1", 5, "Frame1", 1200, 3000, 495, 255, "Data 5", 8},
    {Kind::Image, "Image1", 6, "Frame1", 360, 3360, 375, 375, "", -1},
    {Kind::Label, "Label1", 6, "Frame1", 1200, 3480, 495, 255, "Data 6", 9},
    {Kind::Image, "Image1", 7, "Frame1", 360, 3840, 375, 375, "", -1},
    {Kind::Label, "Label1", 7, "Frame1", 1200, 3960, 495, 255, "Data 7", 10},
    {Kind::Image, "Image1", 8, "Frame1", 360, 4680, 375, 375, "", -1},
    {Kind::Label, "Label1", 16, "Frame1", 1200, 4680, 855, 495, "Preklopi vse izhode", 27},

    // "Izhodi B": control outputs C0..C3 and their toggle-all switch.
    {Kind::Image, "Image3", 0, "Frame3", 360, 480, 375, 375, "", -1},
    {Kind::Label, "Label1", 23, "Frame3", 1320, 600, 975, 255, "STROBE C0", 24},
    {Kind::Image, "Image3", 1, "Frame3", 360, 960, 375, 375, "", -1},
    {Kind::Label, "Label1", 22, "Frame3", 1320, 1080, 975, 255, "AutoFD    C1", 23},
    {Kind::Image, "Image3", 2, "Frame3", 360, 1440, 375, 375, "", -1},
    {Kind::Label, "Label1", 21, "Frame3", 1320, 1560, 975, 255, "INIT         C2", 22},
    {Kind::Image, "Image3", 3, "Frame3", 360, 1920, 375, 375, "", -1},
    {Kind::Label, "Label1", 18, "Frame3", 1320, 2040, 975, 255, "Select      C3", 29},
    {Kind::Image, "Image3", 8, "Frame3", 360, 4680, 375, 375, "", -1},
    {Kind::Label, "Label1", 17, "Frame3", 1320, 4680, 855, 495, "Preklopi vse izhode", 28},

    // "Vhodi": status inputs; the label of status bit k is Label1(15 - k).
    {Kind::Image, "Image2", 0, "Frame2", 240, 480, 375, 375, "", -1},
    {Kind::Label, "Label1", 15, "Frame2", 720, 480, 990, 195, "ni uporabljeno", 19},
    {Kind::Image, "Image2", 1, "Frame2", 240, 960, 375, 375, "", -1},
    {Kind::Label, "Label1", 14, "Frame2", 720, 960, 990, 195, "ni uporabljeno", 18},
    {Kind::Image, "Image2", 2, "Frame2", 240, 1440, 375, 375, "", -1},
    {Kind::Label, "Label1", 13, "Frame2", 720, 1440, 990, 195, "ni uporabljeno", 17},
    {Kind::Image, "Image2", 3, "Frame2", 240, 1920, 375, 375, "", -1},
    {Kind::Label, "Label1", 12, "Frame2", 720, 1920, 1215, 255, "ERROR        S3", 16},
    {Kind::Image, "Image2", 4, "Frame2", 240, 2400, 375, 375, "", -1},
    {Kind::Label, "Label1", 11, "Frame2", 720, 2400, 1215, 255, "SELECT IN   S4", 15},
    {Kind::Image, "Image2", 5, "Frame2", 240, 2880, 375, 375, "", -1},
    {Kind::Label, "Label1", 10, "Frame2", 720, 2880, 1215, 255, "PAPER END S5", 14},
    {Kind::Image, "Image2", 6, "Frame2", 240, 3360, 375, 375, "", -1},
    {Kind::Label, "Label1", 9, "Frame2", 720, 3360, 1215, 255, "ACK               S6", 13},
    {Kind::Image, "Image2", 7, "Frame2", 240, 3840, 375, 375, "", -1},
    {Kind::Label, "Label1", 8, "Frame2", 720, 3840, 1215, 255, "BUSY            S7", 12},
}};

// Every place and size is a whole number of pixels.
static_assert([] {
    for (const Control& c : kControls)
        for (int twips : {c.left, c.top, c.width, c.height})
            if (twips % kTwipsPerPixel != 0)
                return false;
    return kClientWidth % kTwipsPerPixel == 0 && kClientHeight % kTwipsPerPixel == 0;
}());

} // namespace panel::layout
