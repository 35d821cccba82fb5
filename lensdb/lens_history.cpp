#include "lensdb/lens_history.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>

#include "platform/setting_access.h"
#include "text/memory_messages.h"

namespace quillon::lensdb {

namespace {

// One term of the signature: tenths, truncated toward zero into 32 bits.
std::int32_t Tenths(double value) {
    const double t = std::trunc(value * 10.0 + 0.1);
    // A hostile value must not make the conversion undefined.
    if (!(t > std::numeric_limits<std::int32_t>::min() &&
          t < std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    return static_cast<std::int32_t>(t);
}

std::string ValueName(int index, const char* field) {
    char name[48];
    std::snprintf(name, sizeof(name), "Hist.%02d.%s", index, field);
    return name;
}

void ReadText(const platform::SettingsStore& key, const std::string& name, std::string& text) {
    (void)platform::ReadStringSetting(key, name, text, "");
    if (text.size() > kMaxHistoryTextBytes) text.resize(kMaxHistoryTextBytes);
}

}  // namespace

std::int32_t LensSignature(const metadata::ShotInfo& shot) {
    // Wrapping addition: only equality of signatures matters.
    const std::uint32_t sum = static_cast<std::uint32_t>(Tenths(shot.maxFlenMaxAper)) +
                              static_cast<std::uint32_t>(Tenths(shot.minFlenMaxAper)) +
                              static_cast<std::uint32_t>(Tenths(shot.maxFlen)) +
                              static_cast<std::uint32_t>(Tenths(shot.minFlen)) +
                              static_cast<std::uint32_t>(shot.lensId);
    return static_cast<std::int32_t>(sum);
}

void RecordChoice(LensHistory& history, const LensSelection& selection,
                  const metadata::ShotInfo& shot, std::int32_t corChoice, bool imageShown) {
    if (!imageShown || selection.selectedCamera == nullptr || !selection.IsRealLensSelected() ||
        corChoice != 0 || !selection.profileCorrection) {
        return;
    }
    const CameraEntry& cam = *selection.selectedCamera;
    const LensEntry& lens = *selection.selectedLens;
    const std::int32_t signature = LensSignature(shot);
    for (auto it = history.begin(); it != history.end(); ++it) {
        if (it->menuMake != cam.menuMake || it->menuModel != cam.menuModel ||
            it->menuLens != lens.menuLens || it->signature != signature) {
            continue;
        }
        if (it->group.empty()) break;
        HistoryEntry found = std::move(*it);
        history.erase(it);
        history.insert(history.begin(), std::move(found));
        return;
    }
    HistoryEntry entry;
    entry.menuMake = cam.menuMake;
    entry.menuModel = cam.menuModel;
    entry.menuLens = lens.menuLens;
    entry.group = lens.group;
    entry.minFlen = lens.minFlen;
    entry.maxFlen = lens.maxFlen;
    entry.minFlenMaxAper = lens.minFlenMaxAper;
    entry.maxFlenMaxAper = lens.maxFlenMaxAper;
    entry.signature = signature;
    history.insert(history.begin(), std::move(entry));
}

Status LoadLensHistory(const platform::SettingsStore& key, platform::MessageSink& sink,
                       LensHistory& history) {
    std::int32_t count = 0;
    (void)platform::ReadDwordSetting(key, "Hist", count, 0);
    // No save writes more than ten; a larger count is damage, and honouring it
    // could make a start read billions of names.
    count = std::min(count, kMaxStoredHistory);
    for (int i = 0; i < count; ++i) {
        try {
            HistoryEntry entry;
            ReadText(key, ValueName(i, "menuMake"), entry.menuMake);
            ReadText(key, ValueName(i, "menuModel"), entry.menuModel);
            ReadText(key, ValueName(i, "menuLens"), entry.menuLens);
            ReadText(key, ValueName(i, "group"), entry.group);
            (void)platform::ReadFloatSetting(key, ValueName(i, "minFlen"), entry.minFlen, 0.0f);
            (void)platform::ReadFloatSetting(key, ValueName(i, "maxFlen"), entry.maxFlen, 0.0f);
            (void)platform::ReadFloatSetting(key, ValueName(i, "minFlenMaxAper"),
                                             entry.minFlenMaxAper, 0.0f);
            (void)platform::ReadFloatSetting(key, ValueName(i, "maxFlenMaxAper"),
                                             entry.maxFlenMaxAper, 0.0f);
            (void)platform::ReadDwordSetting(key, ValueName(i, "signature"), entry.signature, -1);
            // Without a group the lens could not be found again in the database.
            if (!entry.group.empty()) history.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            sink.Show(text::kAllocMemError1);
            return Status(2);
        }
    }
    return Status::Ok();
}

Status SaveLensHistory(platform::SettingsStore& key, platform::MessageSink& sink,
                       std::span<const HistoryEntry> mostRecentFirst) {
    bool failed = false;
    const auto write = [&failed](Status written) { failed = !written.ok() || failed; };
    int written = 0;
    for (const HistoryEntry& entry : mostRecentFirst) {
        if (written == kMaxStoredHistory) break;
        const int k = written++;
        write(platform::WriteStringSetting(key, sink, ValueName(k, "menuMake"), entry.menuMake));
        write(platform::WriteStringSetting(key, sink, ValueName(k, "menuModel"), entry.menuModel));
        write(platform::WriteStringSetting(key, sink, ValueName(k, "menuLens"), entry.menuLens));
        write(platform::WriteStringSetting(key, sink, ValueName(k, "group"), entry.group));
        write(platform::WriteFloatSetting(key, sink, ValueName(k, "minFlen"), entry.minFlen));
        write(platform::WriteFloatSetting(key, sink, ValueName(k, "maxFlen"), entry.maxFlen));
        write(platform::WriteFloatSetting(key, sink, ValueName(k, "minFlenMaxAper"),
                                          entry.minFlenMaxAper));
        write(platform::WriteFloatSetting(key, sink, ValueName(k, "maxFlenMaxAper"),
                                          entry.maxFlenMaxAper));
        write(platform::WriteDwordSetting(key, sink, ValueName(k, "signature"), entry.signature));
    }
    write(platform::WriteDwordSetting(key, sink, "Hist", written));
    return failed ? Status(StatusCode::kFailed) : Status::Ok();
}

}  // namespace quillon::lensdb
