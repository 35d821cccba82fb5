#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/message_sink.h"
#include "platform/text_source.h"

// The lens database: cameras, lenses and calibration points, loaded once from
// "Quillon.dat" and kept for the whole run.
//
// The records are linked by pointers into their own tables (and into the string
// pool), exactly as matching walks them: the lists start at element 0 of each
// table and follow `next`, never table order, because the order of a list is
// part of the data (menus group neighbours, detection collects adjacent
// cameras). The tables live in std::vector buffers that are never resized after
// loading, so those pointers stay valid for the life of the LensDatabase, also
// when it is moved; it cannot be copied.

namespace quillon::lensdb {

inline constexpr std::string_view kDatabaseFileName = "Quillon.dat";
inline constexpr std::int32_t kMajorVersion = 3;
inline constexpr std::int32_t kMinorVersion = 90;
// Calibration coefficients stored in the order a, b, c.
inline constexpr std::int32_t kCoefficientOrderAbc = 10090000;
inline constexpr std::string_view kStandardLensName = "Standard";

// Message numbers and load failure codes.
inline constexpr int kMsgWrongVersion = 4;  // "Error: Quillon.dat version %d.%d required, ..."
inline constexpr int kMsgCannotOpen = 8;    // "Error: unable to open file %s"
inline constexpr int kMsgCanceled = 10;     // "Operation canceled"
inline constexpr int kMsgInvalidFile = 15;  // "Invalid file: %s, code=%d"
inline constexpr int kCodeSeekFailed = 1;   // an offset before the start of the file
inline constexpr int kCodeShortRead = 2;    // a table reaching past the end of the file
inline constexpr int kCodeBadMagic = 3;
inline constexpr int kCodeBadStructure = 4;  // string, link or point outside its table; a loop

// File layout: record sizes in bytes.
inline constexpr std::uint32_t kHeaderSize = 80;
inline constexpr std::uint32_t kCameraRecordSize = 48;
inline constexpr std::uint32_t kCameraLinkSize = 24;
inline constexpr std::uint32_t kGroupLinkSize = 8;
inline constexpr std::uint32_t kLensRecordSize = 60;
inline constexpr std::uint32_t kLensLinkSize = 12;
inline constexpr std::uint32_t kCalibrationPointSize = 16;

struct GroupLink {
    const char* group = nullptr;  // lens group name (string pool)
    GroupLink* next = nullptr;    // next group of the same chain; chains may share tails
};

struct CameraEntry {
    CameraEntry* next = nullptr;           // list order
    CameraEntry* candidateNext = nullptr;  // detection's candidate chain
    std::int32_t makeMenuIndex = 0;        // line of the Make menu showing this camera
    std::int32_t modelMenuIndex = 0;       // line of the Model menu showing this camera
    GroupLink* groups = nullptr;           // first lens group the camera accepts
    const char* menuMake = "";
    const char* menuModel = "";
    const char* exifMake = "";
    const char* exifModel = "";
    std::int32_t reserved = 0;
    std::int32_t hasStandardLens = 0;  // recomputed whenever the camera is selected
    float cropFactor = 0.0f;           // relative to the 36 x 24 mm frame
};

struct LensEntry {
    LensEntry* next = nullptr;      // list order
    LensEntry* menuNext = nullptr;  // next lens of the current Lens menu
    std::int32_t menuIndex = 0;     // line of the Lens menu
    const char* group = "";
    const char* menuLens = "";
    float converterFactor = 1.0f;  // tele-converter factor, 1 for a bare lens
    std::int32_t reserved1 = 0;
    std::int32_t firstPoint = 0;  // calibration points, inclusive range
    std::int32_t lastPoint = 0;
    float calibrationCrop = 0.0f;  // crop factor of the camera the lens was calibrated on
    float minFlenMaxAper = 0.0f;   // 0 = unknown
    float maxFlenMaxAper = 0.0f;
    float minFlen = 0.0f;  // mm including the converter; 0 = unknown
    float maxFlen = 0.0f;
    std::int32_t reserved2 = 0;
};

struct CalibrationPoint {
    float focal = 0.0f;  // mm
    float a = 0.0f;
    float b = 0.0f;
    float c = 0.0f;
};

class LensDatabase {
  public:
    LensDatabase() = default;
    LensDatabase(const LensDatabase&) = delete;
    LensDatabase& operator=(const LensDatabase&) = delete;
    LensDatabase(LensDatabase&&) = default;
    LensDatabase& operator=(LensDatabase&&) = default;

    // Heads of the two lists, null when the table is empty.
    CameraEntry* CameraListHead() { return cameras.empty() ? nullptr : cameras.data(); }
    const CameraEntry* CameraListHead() const { return cameras.empty() ? nullptr : cameras.data(); }
    LensEntry* LensListHead() { return lenses.empty() ? nullptr : lenses.data(); }
    const LensEntry* LensListHead() const { return lenses.empty() ? nullptr : lenses.data(); }

    // The calibration points of `lens` (first to last point). The loader has
    // checked the range, so this is never out of bounds for a loaded database.
    std::span<const CalibrationPoint> PointsOf(const LensEntry& lens) const;

    std::vector<CameraEntry> cameras;
    std::vector<LensEntry> lenses;
    std::vector<GroupLink> groupLinks;
    std::vector<CalibrationPoint> calibration;
    std::vector<char> stringPool;
    std::int32_t coefficientOrder = kCoefficientOrderAbc;
    std::int32_t majorVersion = 0;
    std::int32_t minorVersion = 0;

    // Texts a writer keeps in the reserved header words so that a database built
    // from licensed source data carries its attribution; null when absent.
    const char* sourceFormat = nullptr;
    const char* attribution = nullptr;
    const char* license = nullptr;
};

// Loads "Quillon.dat" from the installation folder `rootDir`. On failure the
// message has been shown and the status is 1; `database` is left empty.
Status LoadDatabase(std::string_view rootDir, LensDatabase& database,
                    const platform::TextSource& texts, platform::MessageSink& sink);

// The same for a file at `path`.
Status LoadDatabaseFile(const std::string& path, LensDatabase& database,
                        const platform::TextSource& texts, platform::MessageSink& sink);

// Builds the database from the bytes of a whole file (the loader's core, also
// used by the fuzzer). Every offset, count, string reference and link is checked
// against the file and its tables before it is used.
Status ParseDatabase(std::span<const std::uint8_t> bytes, LensDatabase& database,
                     const platform::TextSource& texts, platform::MessageSink& sink);

}  // namespace quillon::lensdb
