#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "lensdb/lens_selection.h"
#include "metadata/shot_info.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"

// The lens history: which camera menu entry and which lens the user worked with
// for which kind of shot, most recent first. Detection uses it to choose among
// several fitting cameras or lenses before asking the user; the settings keep
// its ten most recent entries between runs ("Hist", "Hist.%02d.*").

namespace quillon::lensdb {

inline constexpr int kMaxStoredHistory = 10;
// The texts were fixed 260-byte buffers; longer stored texts are cut to fit.
inline constexpr std::size_t kMaxHistoryTextBytes = 259;

struct HistoryEntry {
    std::string menuMake;
    std::string menuModel;
    std::string menuLens;
    std::string group;
    float minFlen = 0.0f;  // of the lens entry, not of the metadata
    float maxFlen = 0.0f;
    float minFlenMaxAper = 0.0f;
    float maxFlenMaxAper = 0.0f;
    std::int32_t signature = -1;  // LensSignature of the shot; -1 matches no shot

    friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

// Element 0 is the most recent entry. The list grows without limit during a run.
using LensHistory = std::vector<HistoryEntry>;

// Identifies the lens of a shot from its metadata, so that shots of one zoom at
// different focal lengths share it: the focal range and apertures in tenths
// plus the maker's lens number. A shot without lens data has its lens number.
std::int32_t LensSignature(const metadata::ShotInfo& shot);

// Remembers the choice made for the image being left: moves a matching entry
// to the front or adds a new one. Does nothing unless an image is shown, a
// camera and a real lens are selected, CorChoice is 0 and the profile
// correction is on.
void RecordChoice(LensHistory& history, const LensSelection& selection,
                  const metadata::ShotInfo& shot, std::int32_t corChoice, bool imageShown);

// Appends the stored entries in stored order (entry 00, the most recent, first),
// leaving out those whose group is empty. Missing values take their defaults
// (texts empty, reals 0, signature -1). Fails with 2 when memory runs out, after
// the message; the entries read until then stay.
Status LoadLensHistory(const platform::SettingsStore& key, platform::MessageSink& sink,
                       LensHistory& history);

// Writes the ten most recent entries as "Hist.00.*" to "Hist.09.*" (reals as
// their 32-bit patterns), then "Hist" as the number written. Every value is
// tried; fails (kFailed) when any could not be written, each reported once.
Status SaveLensHistory(platform::SettingsStore& key, platform::MessageSink& sink,
                       std::span<const HistoryEntry> mostRecentFirst);

}  // namespace quillon::lensdb
