#include "platform/setting_access.h"

#include <bit>
#include <cstdlib>
#include <optional>

namespace quillon::platform {

namespace {

// A number value is read into four bytes; a text needs room for its end mark.
constexpr std::size_t kDwordReadBytes = 4;

}  // namespace

Status ReadStringSetting(const SettingsStore& key, std::string_view name, std::string& dest,
                         std::string_view defaultText) {
    const std::optional<StoredValue> value = key.Find(name);
    if (value && value->type == StoredType::kString && value->text.size() + 1 <= kStringReadLimit) {
        dest = value->text;
        return Status::Ok();
    }
    dest = std::string(defaultText);
    return StatusCode::kFailed;
}

Status ReadDwordSetting(const SettingsStore& key, std::string_view name, std::int32_t& dest,
                        std::int32_t defaultValue) {
    const std::optional<StoredValue> value = key.Find(name);
    if (!value) {
        dest = defaultValue;
        return StatusCode::kFailed;
    }
    if (value->type == StoredType::kDword) {
        dest = static_cast<std::int32_t>(value->dword);
        return Status::Ok();
    }
    if (value->text.size() + 1 > kDwordReadBytes) {
        dest = defaultValue;
        return StatusCode::kFailed;
    }
    // At most three characters: strtol cannot overflow, and text that is not
    // a number reads as 0 just as it always has.
    dest = static_cast<std::int32_t>(std::strtol(value->text.c_str(), nullptr, 10));
    return Status::Ok();
}

Status ReadFloatSetting(const SettingsStore& key, std::string_view name, float& dest,
                        float defaultValue) {
    std::int32_t bits = 0;
    const Status result =
        ReadDwordSetting(key, name, bits, std::bit_cast<std::int32_t>(defaultValue));
    dest = std::bit_cast<float>(bits);
    return result;
}

Status ReportStoreResult(StoreResult result, MessageSink& sink, std::string_view name) {
    switch (result) {
        case StoreResult::kOk:
            return Status::Ok();
        case StoreResult::kCreateFailed:
            sink.Show("Error RegCreateKeyEx(" + std::string(kSettingsKeyName) + ")");
            return StatusCode::kFailed;
        case StoreResult::kWriteFailed:
            sink.Show("error RegSetValueEx(" + std::string(name) + ")");
            return StatusCode::kFailed;
    }
    return StatusCode::kFailed;
}

Status WriteStringSetting(SettingsStore& key, MessageSink& sink, std::string_view name,
                          std::string_view text) {
    return ReportStoreResult(key.Put(StoredValue::String(name, text)), sink, name);
}

Status WriteDwordSetting(SettingsStore& key, MessageSink& sink, std::string_view name,
                         std::int32_t value) {
    return ReportStoreResult(key.Put(StoredValue::Dword(name, static_cast<std::uint32_t>(value))),
                             sink, name);
}

Status WriteFloatSetting(SettingsStore& key, MessageSink& sink, std::string_view name,
                         float value) {
    return WriteDwordSetting(key, sink, name, std::bit_cast<std::int32_t>(value));
}

}  // namespace quillon::platform
