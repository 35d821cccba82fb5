#include "lensdb/lens_database.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lensdb/database_writer.h"
#include "tests/lensdb/lensdb_test_support.h"
#include "tests/support/test_support.h"

namespace quillon::lensdb {
namespace {

using testing::Camera;
using testing::Encode;
using testing::Lens;
using testing::PutWord;
using testing::ReadWord;

// Header words the damaged files below are made from.
constexpr std::size_t kPoolOffsetWord = 12;
constexpr std::size_t kPoolSizeWord = 16;
constexpr std::size_t kPointCountWord = 20;
constexpr std::size_t kCameraTableWord = 36;
constexpr std::size_t kCameraLinksWord = 44;
constexpr std::size_t kGroupLinksWord = 48;
constexpr std::size_t kGroupLinkCountWord = 28;
constexpr std::size_t kLensTableWord = 56;
constexpr std::size_t kLensLinksWord = 60;

DatabaseSource ThreeCameras() {
    DatabaseSource s;
    s.format = "quillon-lensdb-source 1";
    s.attribution = "test data";
    s.license = "none";
    s.cameras = {Camera("Alpha", "One", "ALPHA", "A1", 1.5f, {"mount", "adapter"}),
                 Camera("Alpha", "Two", "ALPHA", "A2", 1.5f, {"mount", "adapter"}),
                 Camera("Beta", "Fix", "BETA", "B", 5.0f, {"betaFix"})};
    s.lenses = {
        Lens("mount", "Zoom 18-35", 18, 35, {{18, 0.01f, -0.02f, 0.03f}, {35, 0, 0.01f, 0}}),
        Lens("adapter", "Prime 50", 50, 50, {{50, 0.001f, 0.002f, 0.003f}}),
        Lens("betaFix", "Standard", 5, 15, {{5, 0.1f, 0.2f, 0.3f}, {15, 0, 0, 0}})};
    s.lenses[1].converterFactor = 1.4f;
    s.lenses[1].minFlenMaxAper = 1.8f;
    s.lenses[1].maxFlenMaxAper = 1.8f;
    return s;
}

struct LoadResult {
    bool ok;
    std::vector<platform::CapturedMessage> messages;
    LensDatabase db;
};

LoadResult Load(const std::vector<std::uint8_t>& bytes) {
    const platform::TextSource& texts = testing::EnglishTexts();
    platform::CapturingSink sink;
    LoadResult r;
    r.ok = ParseDatabase(bytes, r.db, texts, sink).ok();
    r.messages = sink.Messages();
    return r;
}

void ExpectRefused(const std::vector<std::uint8_t>& bytes, int code) {
    const LoadResult r = Load(bytes);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "Invalid file: Quillon.dat, code=" + std::to_string(code));
    EXPECT_EQ(r.messages[0].caption, "Info");
    // Nothing of a refused file is kept.
    EXPECT_EQ(r.db.CameraListHead(), nullptr);
    EXPECT_EQ(r.db.LensListHead(), nullptr);
}

void ExpectSameSource(const DatabaseSource& a, const DatabaseSource& b) {
    EXPECT_EQ(a.format, b.format);
    EXPECT_EQ(a.attribution, b.attribution);
    EXPECT_EQ(a.license, b.license);
    ASSERT_EQ(a.cameras.size(), b.cameras.size());
    for (std::size_t i = 0; i < a.cameras.size(); ++i) {
        EXPECT_EQ(a.cameras[i].menuMake, b.cameras[i].menuMake);
        EXPECT_EQ(a.cameras[i].menuModel, b.cameras[i].menuModel);
        EXPECT_EQ(a.cameras[i].exifMake, b.cameras[i].exifMake);
        EXPECT_EQ(a.cameras[i].exifModel, b.cameras[i].exifModel);
        EXPECT_EQ(a.cameras[i].cropFactor, b.cameras[i].cropFactor);
        EXPECT_EQ(a.cameras[i].groups, b.cameras[i].groups);
    }
    ASSERT_EQ(a.lenses.size(), b.lenses.size());
    for (std::size_t i = 0; i < a.lenses.size(); ++i) {
        const SourceLens& x = a.lenses[i];
        const SourceLens& y = b.lenses[i];
        EXPECT_EQ(x.group, y.group);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.converterFactor, y.converterFactor);
        EXPECT_EQ(x.calibrationCrop, y.calibrationCrop);
        EXPECT_EQ(x.minFlen, y.minFlen);
        EXPECT_EQ(x.maxFlen, y.maxFlen);
        EXPECT_EQ(x.minFlenMaxAper, y.minFlenMaxAper);
        EXPECT_EQ(x.maxFlenMaxAper, y.maxFlenMaxAper);
        ASSERT_EQ(x.points.size(), y.points.size());
        for (std::size_t p = 0; p < x.points.size(); ++p) {
            EXPECT_EQ(x.points[p].focal, y.points[p].focal);
            EXPECT_EQ(x.points[p].a, y.points[p].a);
            EXPECT_EQ(x.points[p].b, y.points[p].b);
            EXPECT_EQ(x.points[p].c, y.points[p].c);
        }
    }
}

TEST(LensDatabaseLoad, WrittenDatabaseReadsBackInListOrder) {
    const DatabaseSource source = ThreeCameras();
    const LoadResult r = Load(Encode(source));
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(r.db.majorVersion, 3);
    EXPECT_EQ(r.db.minorVersion, 90);
    EXPECT_EQ(r.db.coefficientOrder, 10090000);
    ExpectSameSource(DescribeDatabase(r.db), source);
    // The detection links start out empty whatever the file held.
    for (const CameraEntry& cam : r.db.cameras) EXPECT_EQ(cam.candidateNext, nullptr);
    for (const LensEntry& lens : r.db.lenses) EXPECT_EQ(lens.menuNext, nullptr);
}

TEST(LensDatabaseLoad, ZeroCountsGiveEmptyLists) {
    DatabaseSource empty;
    const LoadResult r = Load(Encode(empty));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.db.CameraListHead(), nullptr);
    EXPECT_EQ(r.db.LensListHead(), nullptr);
    EXPECT_TRUE(r.db.calibration.empty());
}

TEST(LensDatabaseLoad, EqualAndEndingAlikeGroupListsShareChains) {
    DatabaseSource s;
    s.cameras = {Camera("A", "1", "a", "1", 1, {"x", "y", "z"}),
                 Camera("A", "2", "a", "2", 1, {"x", "y", "z"}),
                 Camera("A", "3", "a", "3", 1, {"y", "z"}),
                 Camera("A", "4", "a", "4", 1, {"w", "z"}), Camera("A", "5", "a", "5", 1, {})};
    const std::vector<std::uint8_t> bytes = Encode(s);
    // z, y->z, x->y->z, w->z: four links for fourteen group names.
    EXPECT_EQ(ReadWord(bytes, kGroupLinkCountWord), 4);
    const LoadResult r = Load(bytes);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.db.cameras[0].groups, r.db.cameras[1].groups);
    EXPECT_EQ(r.db.cameras[0].groups->next, r.db.cameras[2].groups);
    EXPECT_EQ(r.db.cameras[3].groups->next, r.db.cameras[2].groups->next);
    EXPECT_EQ(r.db.cameras[4].groups, nullptr);
    ExpectSameSource(DescribeDatabase(r.db), s);
}

TEST(LensDatabaseLoad, WrongVersionNamesRequiredAndFoundVersion) {
    for (const auto& [major, minor] : {std::pair{3, 89}, std::pair{4, 90}}) {
        std::vector<std::uint8_t> bytes = Encode(ThreeCameras());
        PutWord(bytes, 4, major);
        PutWord(bytes, 8, minor);
        const LoadResult r = Load(bytes);
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(r.messages.size(), 2u);
        EXPECT_EQ(r.messages[0].text, "Error: Quillon.dat version 3.90 required, found version " +
                                          std::to_string(major) + "." + std::to_string(minor));
        EXPECT_EQ(r.messages[1].text, "Please re-install Quillon");
    }
}

TEST(LensDatabaseLoad, TruncatedHeaderAndWrongMagic) {
    std::vector<std::uint8_t> bytes = Encode(ThreeCameras());
    ExpectRefused(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 79), 2);
    ExpectRefused({}, 2);
    bytes[3] = 'X';  // "QDAX"
    ExpectRefused(bytes, 3);
}

TEST(LensDatabaseLoad, TablesOutsideTheFile) {
    const std::vector<std::uint8_t> good = Encode(ThreeCameras());
    // A negative offset is a seek before the start of the file.
    std::vector<std::uint8_t> bytes = good;
    PutWord(bytes, kLensTableWord, -60);
    ExpectRefused(bytes, 1);
    // The string pool is the last table: cutting one byte makes its read short.
    ExpectRefused(std::vector<std::uint8_t>(good.begin(), good.end() - 1), 2);
    bytes = good;
    PutWord(bytes, kPointCountWord, 1 << 30);
    ExpectRefused(bytes, 2);
    // A negative count cannot describe any table.
    bytes = good;
    PutWord(bytes, kPointCountWord, -1);
    ExpectRefused(bytes, 4);
}

TEST(LensDatabaseLoad, MinusOneEndsTheListEarly) {
    std::vector<std::uint8_t> bytes = Encode(ThreeCameras());
    const auto cameraLinks = static_cast<std::size_t>(ReadWord(bytes, kCameraLinksWord));
    PutWord(bytes, cameraLinks, -1);  // camera 0's next
    LoadResult r = Load(bytes);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(DescribeDatabase(r.db).cameras.size(), 1u);

    // Camera 1 is still in the table but no list reaches it.
    PutWord(bytes, cameraLinks, 2);
    r = Load(bytes);
    ASSERT_TRUE(r.ok);
    const DatabaseSource seen = DescribeDatabase(r.db);
    ASSERT_EQ(seen.cameras.size(), 2u);
    EXPECT_EQ(seen.cameras[1].menuModel, "Fix");
}

TEST(LensDatabaseLoad, StringsOutsideThePoolAreRefused) {
    const std::vector<std::uint8_t> good = Encode(ThreeCameras());
    const auto cameraLinks = static_cast<std::size_t>(ReadWord(good, kCameraLinksWord));
    const auto lensLinks = static_cast<std::size_t>(ReadWord(good, kLensLinksWord));
    const auto groupLinks = static_cast<std::size_t>(ReadWord(good, kGroupLinksWord));
    const std::int32_t poolSize = ReadWord(good, kPoolSizeWord);

    for (const std::size_t field : {cameraLinks + 8, cameraLinks + 24 + 20, lensLinks + 4,
                                    lensLinks + 12 + 8, groupLinks + 4}) {
        for (const std::int32_t offset : {poolSize, -5, 0x7fffffff}) {
            std::vector<std::uint8_t> bytes = good;
            PutWord(bytes, field, offset);
            ExpectRefused(bytes, 4);
        }
    }
    // The last text of the pool is the last byte before the pool's end; a pool
    // shortened by its final NUL leaves that text unterminated.
    std::vector<std::uint8_t> bytes = good;
    PutWord(bytes, kPoolSizeWord, poolSize - 1);
    ExpectRefused(bytes, 4);
}

TEST(LensDatabaseLoad, LinksOutsideTheirTablesAreRefused) {
    const std::vector<std::uint8_t> good = Encode(ThreeCameras());
    const auto cameraLinks = static_cast<std::size_t>(ReadWord(good, kCameraLinksWord));
    const auto lensLinks = static_cast<std::size_t>(ReadWord(good, kLensLinksWord));
    const auto groupLinks = static_cast<std::size_t>(ReadWord(good, kGroupLinksWord));
    const std::int32_t groupCount = ReadWord(good, kGroupLinkCountWord);
    struct Case {
        std::size_t at;
        std::int32_t value;
    };
    for (const Case c : {Case{cameraLinks, 3}, Case{cameraLinks + 4, groupCount},
                         Case{groupLinks, groupCount}, Case{lensLinks, 3}}) {
        std::vector<std::uint8_t> bytes = good;
        PutWord(bytes, c.at, c.value);
        ExpectRefused(bytes, 4);
    }
}

TEST(LensDatabaseLoad, CalibrationRangesOutsideTheTableAreRefused) {
    const std::vector<std::uint8_t> good = Encode(ThreeCameras());
    const auto lensTable = static_cast<std::size_t>(ReadWord(good, kLensTableWord));
    const std::int32_t points = ReadWord(good, kPointCountWord);
    struct Case {
        std::int32_t first, last;
    };
    for (const Case c : {Case{-1, 0}, Case{1, 0}, Case{0, points}}) {
        std::vector<std::uint8_t> bytes = good;
        PutWord(bytes, lensTable + 28, c.first);
        PutWord(bytes, lensTable + 32, c.last);
        ExpectRefused(bytes, 4);
    }
    // first == last is a lens calibrated at one focal length.
    std::vector<std::uint8_t> bytes = good;
    PutWord(bytes, lensTable + 28, points - 1);
    PutWord(bytes, lensTable + 32, points - 1);
    const LoadResult r = Load(bytes);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.db.PointsOf(r.db.lenses[0]).size(), 1u);
}

TEST(LensDatabaseLoad, LoopsAreRefused) {
    const std::vector<std::uint8_t> good = Encode(ThreeCameras());
    const auto cameraLinks = static_cast<std::size_t>(ReadWord(good, kCameraLinksWord));
    const auto lensLinks = static_cast<std::size_t>(ReadWord(good, kLensLinksWord));
    const auto groupLinks = static_cast<std::size_t>(ReadWord(good, kGroupLinksWord));
    struct Case {
        std::size_t at;
        std::int32_t value;
    };
    for (const Case c : {Case{cameraLinks + 2 * 24, 0},  // last camera back to the first
                         Case{cameraLinks, 0},           // a camera linked to itself
                         Case{lensLinks + 12, 0},        // lens 1 back to lens 0
                         Case{groupLinks, 0}}) {         // a group link to itself
        std::vector<std::uint8_t> bytes = good;
        PutWord(bytes, c.at, c.value);
        ExpectRefused(bytes, 4);
    }
    // Two chains merging is not a loop: camera 0 and camera 1 both lead to 2.
    std::vector<std::uint8_t> bytes = good;
    PutWord(bytes, cameraLinks, 2);
    EXPECT_TRUE(Load(bytes).ok);
}

TEST(LensDatabaseLoad, ForeignCoefficientOrderIsRefused) {
    std::vector<std::uint8_t> bytes = Encode(ThreeCameras());
    PutWord(bytes, 64, 10090001);
    ExpectRefused(bytes, 4);
}

TEST(LensDatabaseLoad, FileFromTheInstallationFolder) {
    quillon::testing::TempDir dir;
    const platform::TextSource& texts = testing::EnglishTexts();
    platform::CapturingSink sink;
    LensDatabase db;

    EXPECT_FALSE(LoadDatabase(dir.path() + "/", db, texts, sink).ok());
    ASSERT_EQ(sink.Count(), 2u);
    EXPECT_EQ(sink.Messages()[0].text, "Error: unable to open file " + dir.path() + "/Quillon.dat");
    EXPECT_EQ(sink.Messages()[1].text, "Operation canceled");

    sink.Clear();
    ASSERT_TRUE(quillon::testing::WriteBytes(dir.File("Quillon.dat"), Encode(ThreeCameras())));
    ASSERT_TRUE(LoadDatabase(dir.path(), db, texts, sink).ok()) << sink.Last();
    EXPECT_EQ(sink.Count(), 0u);
    ASSERT_NE(db.CameraListHead(), nullptr);
    EXPECT_STREQ(db.CameraListHead()->menuMake, "Alpha");
    // The database keeps working after a move: the links point into buffers
    // that move with it.
    LensDatabase moved = std::move(db);
    EXPECT_STREQ(moved.CameraListHead()->next->menuModel, "Two");
}

TEST(LensDatabaseWrite, RefusesWhatCannotBeLoadedSafely) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    DatabaseSource s = ThreeCameras();
    s.lenses[0].points.clear();
    EXPECT_FALSE(EncodeDatabase(s, bytes, error).ok());
    EXPECT_NE(error.find("Zoom 18-35"), std::string::npos);

    s = ThreeCameras();
    std::swap(s.lenses[0].points[0], s.lenses[0].points[1]);
    EXPECT_FALSE(EncodeDatabase(s, bytes, error).ok());

    s = ThreeCameras();
    s.cameras[0].menuModel = std::string("A\0B", 3);
    EXPECT_FALSE(EncodeDatabase(s, bytes, error).ok());
}

}  // namespace
}  // namespace quillon::lensdb
