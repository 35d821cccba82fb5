#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "lensdb/database_writer.h"
#include "lensdb/lens_database.h"
#include "lensdb/lens_history.h"
#include "lensdb/lens_matching.h"
#include "metadata/shot_info.h"
#include "platform/message_sink.h"
#include "platform/text_source.h"
#include "tests/support/english_texts.h"

// Small databases built in the tests.

namespace quillon::lensdb::testing {

using quillon::testing::EnglishTexts;

inline std::vector<std::uint8_t> Encode(const DatabaseSource& source) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(EncodeDatabase(source, bytes, error).ok()) << error;
    return bytes;
}

// Encodes `source` and loads it back, failing the test when that does not work.
inline LensDatabase Build(const DatabaseSource& source) {
    const std::vector<std::uint8_t> bytes = Encode(source);
    platform::CapturingSink sink;
    LensDatabase db;
    EXPECT_TRUE(ParseDatabase(bytes, db, EnglishTexts(), sink).ok()) << sink.Last();
    return db;
}

inline SourceCamera Camera(std::string menuMake, std::string menuModel, std::string exifMake,
                           std::string exifModel, float crop, std::vector<std::string> groups) {
    SourceCamera cam;
    cam.menuMake = std::move(menuMake);
    cam.menuModel = std::move(menuModel);
    cam.exifMake = std::move(exifMake);
    cam.exifModel = std::move(exifModel);
    cam.cropFactor = crop;
    cam.groups = std::move(groups);
    return cam;
}

inline SourceLens Lens(std::string group, std::string name, float minFlen, float maxFlen,
                       std::vector<CalibrationPoint> points, float calibrationCrop = 1.0f) {
    SourceLens lens;
    lens.group = std::move(group);
    lens.name = std::move(name);
    lens.minFlen = minFlen;
    lens.maxFlen = maxFlen;
    lens.calibrationCrop = calibrationCrop;
    lens.points = std::move(points);
    return lens;
}

inline std::int32_t ReadWord(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes.at(at)) |
                                     (static_cast<std::uint32_t>(bytes.at(at + 1)) << 8) |
                                     (static_cast<std::uint32_t>(bytes.at(at + 2)) << 16) |
                                     (static_cast<std::uint32_t>(bytes.at(at + 3)) << 24));
}

inline void PutWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(bits >> (8 * i));
}

// One program state's worth of matching inputs around a database built here.
struct Scene {
    explicit Scene(const DatabaseSource& source) : db(Build(source)) {}

    MatchContext Context() {
        return MatchContext{db, history, shot, correction, settings, texts, window, 4000, 3000};
    }
    bool Detect() { return lensdb::Detect(Context(), sel); }
    std::vector<std::string> Candidates() const {
        std::vector<std::string> out;
        for (const CameraEntry* c = sel.candidates; c != nullptr; c = c->candidateNext) {
            out.push_back(std::string(c->menuMake) + " " + c->menuModel);
        }
        return out;
    }
    std::string Camera() const {
        return sel.selectedCamera ? std::string(sel.selectedCamera->menuModel) : "";
    }
    std::string Lens() const { return sel.selectedLens ? sel.selectedLens->menuLens : ""; }

    LensDatabase db;
    LensHistory history;
    metadata::ShotInfo shot;
    engine::CorrectionSettings correction;
    MatchSettings settings;
    const platform::TextSource& texts = EnglishTexts();
    bool window = true;
    LensSelection sel;
};

inline void SetFocal(metadata::ShotInfo& shot, double f) {
    shot.focalLength = f;
    shot.originalFocalLength = f;
}

inline void SetRange(metadata::ShotInfo& shot, double lo, double hi, double a1, double a2) {
    shot.minFlen = shot.originalMinFlen = lo;
    shot.maxFlen = shot.originalMaxFlen = hi;
    shot.minFlenMaxAper = a1;
    shot.maxFlenMaxAper = a2;
}

inline HistoryEntry Entry(std::string make, std::string model, std::string lens, std::string group,
                          float lo, float hi, std::int32_t signature) {
    HistoryEntry e;
    e.menuMake = std::move(make);
    e.menuModel = std::move(model);
    e.menuLens = std::move(lens);
    e.group = std::move(group);
    e.minFlen = lo;
    e.maxFlen = hi;
    e.signature = signature;
    return e;
}

}  // namespace quillon::lensdb::testing
