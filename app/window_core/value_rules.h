#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/window_core/control_ids.h"
#include "engine/correction_settings.h"

// The rules shared by every value control of the main window: a slider and an
// edit box that show one integer. The integer is stored as the engine reads it;
// the edit shows it in a unit the user thinks in (tenths of a degree as
// degrees, ten-thousandths as a fraction, zoom steps as a percentage). These
// rules need no widget, so they are tested without one and the widgets only
// forward keys, wheel notches and typed text here.

namespace quillon::app {

enum class ValueFormat {
    kWhole,           // "%d"
    kTenths,          // value x 0.1 as "%0.1f"
    kTenThousandths,  // value x 0.0001 as "%+07.4f"
    kZoomPercent,     // empty for 0, else (10 value + 90) as "%d%%"
};

struct ValueRange {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    ValueFormat format = ValueFormat::kWhole;
};

// The text an edit shows for `value`.
std::string FormatValue(ValueFormat format, std::int32_t value);

// The value a typed text stands for, or nothing when the text must be
// discarded: it does not read as a number of the format, or the value lies
// outside the range. Surrounding blanks are ignored; a '+' sign and, for the
// zoom, a '%' after the number are accepted, because the edit shows them.
std::optional<std::int32_t> ReadTypedValue(const ValueRange& range, std::string_view text);

// Keyboard and wheel steps: +1 or -1, ten times as much with Shift held.
std::int32_t StepSize(bool up, bool shift);
// `value` moved by `step` and kept inside the range.
std::int32_t StepValue(const ValueRange& range, std::int32_t value, std::int32_t step);

// What leaving an edit (or Enter in it) does.
struct TypedOutcome {
    bool accepted = false;   // the text stood for a value in range
    std::int32_t value = 0;  // the value to keep: the typed one, or the current one
    std::string text;        // what the edit shows afterwards
    bool selectAll = false;  // a discarded text: the current value is shown fully selected
};
TypedOutcome CommitTypedText(const ValueRange& range, std::int32_t current, std::string_view typed);

// Mouse wheels report movement in eighths of a degree, 120 to a notch, and
// high-resolution wheels in fractions of a notch. Collects the movement and
// answers whole notches, signed (away from the user is positive).
class WheelNotches {
  public:
    std::int32_t Add(std::int32_t angleDelta);

  private:
    std::int32_t pending_ = 0;
};

// The values with a slider and an edit. `field` is the correction value the
// pair shows; the zoom of the chromatic-aberration view has none (it belongs
// to the view, not to the correction).
enum class ValueKey {
    kFisheyeDistortion,
    kFisheyeCrop,
    kFisheyeRotate,
    kFisheyeHorz,
    kFisheyeVert,
    kVigAmount,
    kVigMidpoint,
    kPerspectVert,
    kPerspectHorz,
    kPerspectRotate,
    kPerspectScale,
    kCaRed,
    kCaBlue,
    kCaZoom,
};

struct ValueControlInfo {
    ValueKey key;
    ControlId slider;
    ControlId edit;
    ValueRange range;
    int labelText;  // string number of the label beside the pair
    std::int32_t engine::CorrectionSettings::*field;
};

inline constexpr std::int32_t kMaxCaZoom = 71;  // 800 %

const ValueControlInfo& InfoOf(ValueKey key);
std::span<const ValueControlInfo> AllValueControls();

}  // namespace quillon::app
