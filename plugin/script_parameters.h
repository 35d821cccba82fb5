#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/correction_settings.h"
#include "plugin/host_api.h"
#include "settings/settings_values.h"

// The filter's 17 scripting parameters: the correction values a host records
// with an action step and hands back when the step is played. The host's
// values replace the stored ones for the run they come with.

namespace quillon::plugin {

struct ScriptParameter {
    std::string_view name;  // the parameter's name for scripts
    FilterKey key;
    // The correction value the parameter carries; null for the one setting
    // outside the correction values, GridColor.
    std::int32_t engine::CorrectionSettings::*correctionField;

    std::int32_t Get(const settings::SettingsValues& values,
                     const engine::CorrectionSettings& correction) const {
        return correctionField != nullptr ? correction.*correctionField : values.gridColor;
    }
    void Set(settings::SettingsValues& values, engine::CorrectionSettings& correction,
             std::int32_t value) const {
        (correctionField != nullptr ? correction.*correctionField : values.gridColor) = value;
    }
};

inline constexpr std::size_t kScriptParameterCount = 17;

// In the order scripts list them.
extern const std::array<ScriptParameter, kScriptParameterCount> kScriptParameters;

// The keys in the order they are asked for when reading, and in the order they
// are written. Stored actions of every earlier version were made in these.
extern const std::array<FilterKey, kScriptParameterCount> kReadOrder;
extern const std::array<FilterKey, kScriptParameterCount> kWriteOrder;

// The parameter of `key`, or null.
const ScriptParameter* FindScriptParameter(FilterKey key);

// Takes the values the host passes with this run: each key the descriptor
// holds replaces its setting as it is, without a range check (the engine
// clamps on use); a key whose value cannot be read keeps the stored value.
// The descriptor is consumed: disposed of and removed from the record. Does
// nothing when the host passes no descriptor or cannot read one.
void ReadScriptParameters(FilterRecord& record, settings::SettingsValues& values,
                          engine::CorrectionSettings& correction);

// Hands the values in use back to the host as a new descriptor holding all 17
// keys, replacing the one the record holds, and marks the dialog optional for
// playback. Does nothing when the host takes no descriptor.
void WriteScriptParameters(FilterRecord& record, const settings::SettingsValues& values,
                           const engine::CorrectionSettings& correction);

}  // namespace quillon::plugin
