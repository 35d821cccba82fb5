#include "lensdb/lens_history.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>

#include "lensdb/text_format.h"

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

std::string ReadText(const platform::SettingsStore& key, const std::string& name) {
    const std::optional<platform::StoredValue> value = key.Find(name);
    if (!value || value->type != platform::StoredType::kString) return {};
    std::string text = value->text.substr(0, value->text.find('\0'));
    if (text.size() > kMaxHistoryTextBytes) text.resize(kMaxHistoryTextBytes);
    return text;
}

// A number, or `fallback` when absent. A short text holding a decimal number is
// read as that number, as the registry reader of the settings does.
std::uint32_t ReadBits(const platform::SettingsStore& key, const std::string& name,
                       std::uint32_t fallback) {
    const std::optional<platform::StoredValue> value = key.Find(name);
    if (!value) return fallback;
    if (value->type == platform::StoredType::kDword) return value->dword;
    if (value->text.size() > 3) return fallback;
    return static_cast<std::uint32_t>(std::strtol(value->text.c_str(), nullptr, 10));
}

float ReadReal(const platform::SettingsStore& key, const std::string& name) {
    return std::bit_cast<float>(ReadBits(key, name, 0));
}

class Writer {
public:
    Writer(platform::SettingsStore& key, platform::MessageSink& sink) : key_(key), sink_(sink) {}

    void Put(platform::StoredValue value) {
        const std::string name = value.name;
        switch (key_.Put(std::move(value))) {
            case platform::StoreResult::kOk:
                return;
            case platform::StoreResult::kCreateFailed:
                sink_.Show(FillPlaceholders("Error RegCreateKeyEx(%s)", {"Velmora\\Quillon"}));
                break;
            case platform::StoreResult::kWriteFailed:
                sink_.Show(FillPlaceholders("error RegSetValueEx(%s)", {name}));
                break;
        }
        ++failures_;
    }
    void Text(const std::string& name, const std::string& text) {
        Put(platform::StoredValue::String(name, text));
    }
    void Number(const std::string& name, std::int32_t number) {
        Put(platform::StoredValue::Dword(name, static_cast<std::uint32_t>(number)));
    }
    void Real(const std::string& name, float real) {
        Put(platform::StoredValue::Dword(name, std::bit_cast<std::uint32_t>(real)));
    }
    int failures() const { return failures_; }

private:
    platform::SettingsStore& key_;
    platform::MessageSink& sink_;
    int failures_ = 0;
};

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
    const auto count = static_cast<std::int32_t>(ReadBits(key, "Hist", 0));
    // Only ten are ever written; a larger count names values that were never
    // meant as history (and must not cost an allocation each).
    const std::int32_t n = std::min(count, kMaxStoredHistory);
    for (std::int32_t i = 0; i < n; ++i) {
        HistoryEntry entry;
        entry.menuMake = ReadText(key, ValueName(i, "menuMake"));
        entry.menuModel = ReadText(key, ValueName(i, "menuModel"));
        entry.menuLens = ReadText(key, ValueName(i, "menuLens"));
        entry.group = ReadText(key, ValueName(i, "group"));
        entry.minFlen = ReadReal(key, ValueName(i, "minFlen"));
        entry.maxFlen = ReadReal(key, ValueName(i, "maxFlen"));
        entry.minFlenMaxAper = ReadReal(key, ValueName(i, "minFlenMaxAper"));
        entry.maxFlenMaxAper = ReadReal(key, ValueName(i, "maxFlenMaxAper"));
        entry.signature = static_cast<std::int32_t>(
            ReadBits(key, ValueName(i, "signature"), static_cast<std::uint32_t>(-1)));
        if (entry.group.empty()) continue;
        try {
            history.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            sink.Show("allocMem error 1: out of memory");
            return Status(2);
        }
    }
    return Status::Ok();
}

int SaveLensHistory(platform::SettingsStore& key, platform::MessageSink& sink,
                    const LensHistory& history) {
    Writer w(key, sink);
    int written = 0;
    for (const HistoryEntry& entry : history) {
        if (written == kMaxStoredHistory) break;
        w.Text(ValueName(written, "menuMake"), entry.menuMake);
        w.Text(ValueName(written, "menuModel"), entry.menuModel);
        w.Text(ValueName(written, "menuLens"), entry.menuLens);
        w.Text(ValueName(written, "group"), entry.group);
        w.Real(ValueName(written, "minFlen"), entry.minFlen);
        w.Real(ValueName(written, "maxFlen"), entry.maxFlen);
        w.Real(ValueName(written, "minFlenMaxAper"), entry.minFlenMaxAper);
        w.Real(ValueName(written, "maxFlenMaxAper"), entry.maxFlenMaxAper);
        w.Number(ValueName(written, "signature"), entry.signature);
        ++written;
    }
    w.Number("Hist", written);
    return w.failures();
}

}  // namespace quillon::lensdb
