#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "lensdb/database_writer.h"
#include "lensdb/lens_database.h"
#include "platform/message_sink.h"
#include "platform/text_source.h"

// Small databases built in the tests, and the English texts of the messages the
// lens database shows.

namespace quillon::lensdb::testing {

class FakeTexts final : public platform::TextSource {
  public:
    std::string_view Text(int id) const override {
        switch (id) {
            case 4:
                return "Error: Quillon.dat version %d.%d required, found version %d.%d";
            case 8:
                return "Error: unable to open file %s";
            case 10:
                return "Operation canceled";
            case 13:
                return "Focal length not calibrated";
            case 15:
                return "Invalid file: %s, code=%d";
            case 18:
                return "Camera has not been calibrated";
            case 19:
                return "Lens has not been calibrated";
            case 24:
                return "focal length";
            case 25:
                return "focal length (%s - %s)";
            case 56:
                return "Select lens";
            default:
                return "";
        }
    }
};

inline std::vector<std::uint8_t> Encode(const DatabaseSource& source) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(EncodeDatabase(source, bytes, error).ok()) << error;
    return bytes;
}

// Encodes `source` and loads it back, failing the test when that does not work.
inline LensDatabase Build(const DatabaseSource& source) {
    const std::vector<std::uint8_t> bytes = Encode(source);
    FakeTexts texts;
    platform::CapturingSink sink;
    LensDatabase db;
    EXPECT_TRUE(ParseDatabase(bytes, db, texts, sink).ok()) << sink.Last();
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

}  // namespace quillon::lensdb::testing
