#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"

// The lens history between runs: "Hist" holds the number of entries and each
// entry i has nine values "Hist.%02d.*", entry 00 the most recent. The list
// may grow without limit during a run; only its most recent entries persist.

namespace quillon::settings {

inline constexpr int kMaxStoredHistory = 10;

// One remembered choice of camera and lens as it is stored.
struct StoredLensChoice {
    std::string menuMake;
    std::string menuModel;
    std::string menuLens;
    std::string group;
    float minFlen = 0.0f;
    float maxFlen = 0.0f;
    float minFlenMaxAper = 0.0f;
    float maxFlenMaxAper = 0.0f;
    std::int32_t signature = -1;

    friend bool operator==(const StoredLensChoice&, const StoredLensChoice&) = default;
};

// Appends the stored entries to `history` in stored order (most recent first),
// leaving out entries whose group is empty. Fails with 2 when memory for an
// entry runs out (after the message); what was read so far stays appended.
Status LoadLensHistory(const platform::SettingsStore& key, platform::MessageSink& sink,
                       std::vector<StoredLensChoice>& history);

// Writes the first kMaxStoredHistory entries of `mostRecentFirst` and then
// "Hist" as the number written; answers the number of failed writes. Values of
// higher numbers left from earlier saves stay but are never read, as "Hist"
// bounds the load.
int SaveLensHistory(platform::SettingsStore& key, platform::MessageSink& sink,
                    std::span<const StoredLensChoice> mostRecentFirst);

}  // namespace quillon::settings
