#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"

// Reading and writing one setting. A missing or unreadable value silently
// takes its default, so a damaged or old settings file never stops a start.
// The two floating-point settings are kept as the 32 bits of the float in a
// number value (50.0 is 0x42480000), the way stored files already hold them.

namespace quillon::platform {

// A stored text is read with room for this many bytes including its end mark;
// a longer one counts as unreadable and gives the default.
inline constexpr std::size_t kStringReadLimit = 512;

// The key named in the messages of failed writes.
inline constexpr std::string_view kSettingsKeyName = "Velmora/Quillon";

// Ok when the stored text was read; otherwise failed (kFailed) and `dest`
// holds `defaultText`.
Status ReadStringSetting(const SettingsStore& key, std::string_view name, std::string& dest,
                         std::string_view defaultText);

// Ok when a stored number was read; otherwise failed (kFailed) and `dest`
// holds `defaultValue`. A number
// stored as text is read as a decimal number when the text is at most three
// characters long ("75" gives 75): a longer one never fitted the four bytes a
// number is read into, so stored files that hold one have always read the
// default, and still do.
Status ReadDwordSetting(const SettingsStore& key, std::string_view name, std::int32_t& dest,
                        std::int32_t defaultValue);

// A float stored as its bit pattern; same result rules as ReadDwordSetting.
Status ReadFloatSetting(const SettingsStore& key, std::string_view name, float& dest,
                        float defaultValue);

// Failed (kFailed) after the message has been shown. Each write stands alone:
// a failure does not stop the caller from trying the next value.
Status WriteStringSetting(SettingsStore& key, MessageSink& sink, std::string_view name,
                          std::string_view text);
Status WriteDwordSetting(SettingsStore& key, MessageSink& sink, std::string_view name,
                         std::int32_t value);
Status WriteFloatSetting(SettingsStore& key, MessageSink& sink, std::string_view name, float value);

// Shows the message for a store result that is not kOk and answers it as a
// Status (kFailed).
Status ReportStoreResult(StoreResult result, MessageSink& sink, std::string_view name);

}  // namespace quillon::platform
