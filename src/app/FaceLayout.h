#pragma once
// Where everything sits on the window's face, in pixels of the 1x skin
// picture (399 x 363). The skin was drawn with wells and plates at these
// places (assets/skin/skin_layout.json, written by the script that draws
// it; a test keeps the two in step), so a control moved here without
// redrawing the skin would sit on the wrong part of the picture.
//
// Threads: constants only.

#include <QColor>
#include <QRect>

namespace zt::face {

inline constexpr int kWindowWidth = 400;
inline constexpr int kWindowHeight = 363;

inline constexpr QRect kTitle{26, 7, 190, 17};
inline constexpr QRect kMakerPlate{26, 297, 123, 38};
inline constexpr QRect kMaker{34, 308, 107, 15};
inline constexpr QRect kBay{6, 30, 301, 226};
inline constexpr QRect kSettings{23, 35, 266, 217};
inline constexpr QRect kBanner{39, 37, 235, 17};
inline constexpr QRect kDisplay{12, 62, 289, 96};
inline constexpr QRect kElapsedCaption{12, 169, 136, 15};
inline constexpr QRect kElapsed{12, 187, 136, 17};
inline constexpr QRect kDaysCaption{165, 169, 136, 15};
inline constexpr QRect kDays{165, 187, 136, 17};
inline constexpr QRect kFreeCaption{12, 212, 136, 15};
inline constexpr QRect kFree{12, 230, 136, 17};
inline constexpr QRect kUsedCaption{165, 212, 136, 15};
inline constexpr QRect kUsed{165, 230, 136, 17};
inline constexpr QRect kGauge{19, 268, 360, 14};
inline constexpr QRect kRecord{319, 62, 64, 65};
inline constexpr QRect kRecordCaption{321, 132, 60, 16};
inline constexpr QRect kStopCaption{323, 132, 56, 16};
inline constexpr QRect kButtonConfig{171, 300, 34, 32};
inline constexpr QRect kButtonDisplay{213, 300, 34, 32};
inline constexpr QRect kButtonMinimize{255, 300, 34, 32};
inline constexpr QRect kButtonHide{297, 300, 34, 32};
inline constexpr QRect kButtonClose{339, 300, 34, 32};

// Text on the dark face, and on the silver maker's plate.
inline constexpr QColor kFaceText{0xC8, 0xCC, 0xD2};
inline constexpr QColor kPlateText{0x1E, 0x20, 0x24};
inline constexpr QColor kBayFloor{0x1C, 0x1E, 0x21};

}  // namespace zt::face
