#include "settings/lens_history_store.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/setting_access.h"

namespace quillon::settings {

using platform::ReadDwordSetting;
using platform::ReadFloatSetting;
using platform::ReadStringSetting;
using platform::ReportStoreResult;
using platform::WriteDwordSetting;
using platform::WriteFloatSetting;
using platform::WriteStringSetting;

namespace {

constexpr std::string_view kCountName = "Hist";

std::string EntryName(int index, const char* field) {
    char name[64];
    std::snprintf(name, sizeof name, "Hist.%02d.%s", index, field);
    return name;
}

}  // namespace

Status LoadLensHistory(const platform::SettingsStore& key, platform::MessageSink& sink,
                       std::vector<StoredLensChoice>& history) {
    std::int32_t count = 0;
    (void)ReadDwordSetting(key, kCountName, count, 0);
    // No save ever writes more than kMaxStoredHistory entries, so a larger
    // count is damage; honouring it could make a start read billions of names.
    count = std::min(count, kMaxStoredHistory);
    for (int i = 0; i < count; ++i) {
        try {
            StoredLensChoice entry;
            (void)ReadStringSetting(key, EntryName(i, "menuMake"), entry.menuMake, "");
            (void)ReadStringSetting(key, EntryName(i, "menuModel"), entry.menuModel, "");
            (void)ReadStringSetting(key, EntryName(i, "menuLens"), entry.menuLens, "");
            (void)ReadStringSetting(key, EntryName(i, "group"), entry.group, "");
            (void)ReadFloatSetting(key, EntryName(i, "minFlen"), entry.minFlen, 0.0f);
            (void)ReadFloatSetting(key, EntryName(i, "maxFlen"), entry.maxFlen, 0.0f);
            (void)ReadFloatSetting(key, EntryName(i, "minFlenMaxAper"), entry.minFlenMaxAper, 0.0f);
            (void)ReadFloatSetting(key, EntryName(i, "maxFlenMaxAper"), entry.maxFlenMaxAper, 0.0f);
            (void)ReadDwordSetting(key, EntryName(i, "signature"), entry.signature, -1);
            // Without a group the lens cannot be found again in the database.
            if (!entry.group.empty()) history.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            sink.Show("allocMem error 2: out of memory");
            return Status(2);
        }
    }
    return Status::Ok();
}

int SaveLensHistory(platform::SettingsStore& key, platform::MessageSink& sink,
                    std::span<const StoredLensChoice> mostRecentFirst) {
    int failures = 0;
    int written = 0;
    for (const StoredLensChoice& entry : mostRecentFirst) {
        if (written == kMaxStoredHistory) break;
        const int k = written++;
        failures += WriteStringSetting(key, sink, EntryName(k, "menuMake"), entry.menuMake);
        failures += WriteStringSetting(key, sink, EntryName(k, "menuModel"), entry.menuModel);
        failures += WriteStringSetting(key, sink, EntryName(k, "menuLens"), entry.menuLens);
        failures += WriteStringSetting(key, sink, EntryName(k, "group"), entry.group);
        failures += WriteFloatSetting(key, sink, EntryName(k, "minFlen"), entry.minFlen);
        failures += WriteFloatSetting(key, sink, EntryName(k, "maxFlen"), entry.maxFlen);
        failures +=
            WriteFloatSetting(key, sink, EntryName(k, "minFlenMaxAper"), entry.minFlenMaxAper);
        failures +=
            WriteFloatSetting(key, sink, EntryName(k, "maxFlenMaxAper"), entry.maxFlenMaxAper);
        failures += WriteDwordSetting(key, sink, EntryName(k, "signature"), entry.signature);
    }
    failures += WriteDwordSetting(key, sink, kCountName, written);
    return failures;
}

}  // namespace quillon::settings
