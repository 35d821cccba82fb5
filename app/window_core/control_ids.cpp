#include "app/window_core/control_ids.h"

#include <array>
#include <utility>

namespace quillon::app {

namespace {

using Entry = std::pair<ControlId, std::string_view>;
constexpr std::array kNames = {
    Entry{ControlId::kCancel, "Cancel"},
    Entry{ControlId::kResetAll, "ResetAll"},
    Entry{ControlId::kMakeMenu, "MakeMenu"},
    Entry{ControlId::kModelMenu, "ModelMenu"},
    Entry{ControlId::kLensMenu, "LensMenu"},
    Entry{ControlId::kInfoBox, "InfoBox"},
    Entry{ControlId::kFocalEdit, "FocalEdit"},
    Entry{ControlId::kFocalLabel, "FocalLabel"},
    Entry{ControlId::kTabs, "Tabs"},
    Entry{ControlId::kPreviewArea, "PreviewArea"},
    Entry{ControlId::kVigAmountSlider, "VigAmountSlider"},
    Entry{ControlId::kVigMidpointSlider, "VigMidpointSlider"},
    Entry{ControlId::kPreviewCheck, "PreviewCheck"},
    Entry{ControlId::kFisheyeDistortionSlider, "FisheyeDistortionSlider"},
    Entry{ControlId::kFisheyeCropSlider, "FisheyeCropSlider"},
    Entry{ControlId::kCaRedSlider, "CaRedSlider"},
    Entry{ControlId::kCaZoomSlider, "CaZoomSlider"},
    Entry{ControlId::kCaBlueSlider, "CaBlueSlider"},
    Entry{ControlId::kFisheyeRotateSlider, "FisheyeRotateSlider"},
    Entry{ControlId::kFisheyeHorzSlider, "FisheyeHorzSlider"},
    Entry{ControlId::kFisheyeVertSlider, "FisheyeVertSlider"},
    Entry{ControlId::kGridSlider, "GridSlider"},
    Entry{ControlId::kPerspectVertSlider, "PerspectVertSlider"},
    Entry{ControlId::kPerspectHorzSlider, "PerspectHorzSlider"},
    Entry{ControlId::kPerspectRotateSlider, "PerspectRotateSlider"},
    Entry{ControlId::kPerspectScaleSlider, "PerspectScaleSlider"},
    Entry{ControlId::kMakeLabel, "MakeLabel"},
    Entry{ControlId::kModelLabel, "ModelLabel"},
    Entry{ControlId::kLensLabel, "LensLabel"},
    Entry{ControlId::kPerspectiveReset, "PerspectiveReset"},
    Entry{ControlId::kVignettingReset, "VignettingReset"},
    Entry{ControlId::kCaReset, "CaReset"},
    Entry{ControlId::kShiftButton, "ShiftButton"},
    Entry{ControlId::kGridColorButton, "GridColorButton"},
    Entry{ControlId::kVigAmountEdit, "VigAmountEdit"},
    Entry{ControlId::kVigMidpointEdit, "VigMidpointEdit"},
    Entry{ControlId::kFisheyeDistortionEdit, "FisheyeDistortionEdit"},
    Entry{ControlId::kCaRedEdit, "CaRedEdit"},
    Entry{ControlId::kFisheyeCropEdit, "FisheyeCropEdit"},
    Entry{ControlId::kCaBlueEdit, "CaBlueEdit"},
    Entry{ControlId::kCorrectGroup, "CorrectGroup"},
    Entry{ControlId::kCaZoomEdit, "CaZoomEdit"},
    Entry{ControlId::kVerticalScrollBar, "VerticalScrollBar"},
    Entry{ControlId::kHorizontalScrollBar, "HorizontalScrollBar"},
    Entry{ControlId::kFisheyeRotateEdit, "FisheyeRotateEdit"},
    Entry{ControlId::kFisheyeHorzEdit, "FisheyeHorzEdit"},
    Entry{ControlId::kFisheyeVertEdit, "FisheyeVertEdit"},
    Entry{ControlId::kPerspectVertEdit, "PerspectVertEdit"},
    Entry{ControlId::kPerspectHorzEdit, "PerspectHorzEdit"},
    Entry{ControlId::kPerspectRotateEdit, "PerspectRotateEdit"},
    Entry{ControlId::kPerspectScaleEdit, "PerspectScaleEdit"},
    Entry{ControlId::kRotateLeft, "RotateLeft"},
    Entry{ControlId::kRotateRight, "RotateRight"},
    Entry{ControlId::kRotateLabel, "RotateLabel"},
    Entry{ControlId::kCorrectDistortion, "CorrectDistortion"},
    Entry{ControlId::kCorrectFisheye, "CorrectFisheye"},
    Entry{ControlId::kFileList, "FileList"},
    Entry{ControlId::kDirectory, "Directory"},
    Entry{ControlId::kApply, "Apply"},
    Entry{ControlId::kDelete, "Delete"},
    Entry{ControlId::kPluginOk, "PluginOk"},
    Entry{ControlId::kCorrectNeither, "CorrectNeither"},
    Entry{ControlId::kFisheyeReset, "FisheyeReset"},
};

}  // namespace

std::string_view ControlName(ControlId id) {
    for (const auto& [key, name] : kNames) {
        if (key == id) return name;
    }
    return {};
}

}  // namespace quillon::app
