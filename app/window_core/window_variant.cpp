#include "app/window_core/window_variant.h"

#include <algorithm>

namespace quillon::app {

namespace {

// String numbers of the button texts.
constexpr int kTextOk = 30;
constexpr int kTextCancel = 31;
constexpr int kTextApply = 64;
constexpr int kTextExit = 66;

}  // namespace

VariantTraits TraitsOf(WindowVariant variant) {
    switch (variant) {
        case WindowVariant::kBrowser:
            return {"MAINDIALOG", true, true, ControlId::kApply, kTextApply, kTextExit};
        case WindowVariant::kEditor:
            return {"MAINDIALOGEDIT", false, false, ControlId::kApply, kTextOk, kTextCancel};
        case WindowVariant::kFilterDialog:
            return {"MAINDIALOG", false, false, ControlId::kPluginOk, kTextOk, kTextCancel};
    }
    return {};
}

std::string WindowTitle() {
    return sizeof(void*) == 8 ? "Quillon 9.0 - 64-bit" : "Quillon 9.0 - 32-bit";
}

std::string AboutHeading() {
    return std::string(settings::kVersionText) + (sizeof(void*) == 8 ? "  64-bit" : "  32-bit");
}

PixelSize OpeningSize(const settings::DialogPlacement& remembered, PixelSize designed,
                      PixelSize workArea) {
    const auto fit = [](std::int32_t value, std::int32_t smallest, std::int32_t largest) {
        value = std::max(value, smallest);
        return largest > 0 ? std::min(value, largest) : value;
    };
    return {fit(remembered.width, designed.width, workArea.width),
            fit(remembered.height, designed.height, workArea.height)};
}

}  // namespace quillon::app
