#pragma once

#include <string_view>

// The identifiers of the main window's controls. They are stable numbers that
// outside tests, accessibility tools and the help text refer to; every widget
// carries its identifier's name (ControlName) as its object name, so a control
// is found the same way whatever its place in the layout.

namespace quillon::app {

enum class ControlId : int {
    kCancel = 2,  // "Exit" in the folder browser
    kResetAll = 1001,
    kMakeMenu = 1002,
    kModelMenu = 1003,
    kLensMenu = 1004,
    kInfoBox = 1007,
    kFocalEdit = 1011,
    kFocalLabel = 1012,
    kTabs = 1016,
    kPreviewArea = 1017,
    kVigAmountSlider = 1018,
    kVigMidpointSlider = 1019,
    kPreviewCheck = 1022,
    kFisheyeDistortionSlider = 1023,
    kFisheyeCropSlider = 1024,
    kCaRedSlider = 1027,
    kCaZoomSlider = 1028,
    kCaBlueSlider = 1029,
    kFisheyeRotateSlider = 1030,
    kFisheyeHorzSlider = 1031,
    kFisheyeVertSlider = 1032,
    kGridSlider = 1033,
    kPerspectVertSlider = 1034,
    kPerspectHorzSlider = 1035,
    kPerspectRotateSlider = 1036,
    kPerspectScaleSlider = 1039,
    kMakeLabel = 1042,
    kModelLabel = 1043,
    kLensLabel = 1044,
    kPerspectiveReset = 1045,
    kVignettingReset = 1046,
    kCaReset = 1047,
    kShiftButton = 1053,
    kGridColorButton = 1056,
    kVigAmountEdit = 1060,
    kVigMidpointEdit = 1061,
    kFisheyeDistortionEdit = 1063,
    kCaRedEdit = 1064,
    kFisheyeCropEdit = 1065,
    kCaBlueEdit = 1066,
    kCorrectGroup = 1068,
    kCaZoomEdit = 1070,
    kVerticalScrollBar = 1071,
    kHorizontalScrollBar = 1072,
    kFisheyeRotateEdit = 1073,
    kFisheyeHorzEdit = 1074,
    kFisheyeVertEdit = 1075,
    kPerspectVertEdit = 1076,
    kPerspectHorzEdit = 1078,
    kPerspectRotateEdit = 1081,
    kPerspectScaleEdit = 1083,
    kRotateLeft = 1084,  // 90 degrees counter-clockwise
    kRotateRight = 1085,
    kRotateLabel = 1086,
    kCorrectDistortion = 1087,
    kCorrectFisheye = 1094,
    kFileList = 1096,
    kDirectory = 1099,
    kApply = 1110,  // "OK" in the editor
    kDelete = 1111,
    kPluginOk = 1116,
    kCorrectNeither = 1126,
    kFisheyeReset = 1135,
};

// The object name of the control, e.g. "ResetAll"; empty for a number that is
// no control of the window.
std::string_view ControlName(ControlId id);

}  // namespace quillon::app
