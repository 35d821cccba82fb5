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

}  // namespace quillon::lensdb
