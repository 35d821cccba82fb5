// What the plug-in learns about the document from the host and from the
// handoff file.

#include "plugin/host_metadata.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/image_metadata.h"
#include "preview/colour_management.h"
#include "tests/support/test_support.h"
#include "tools/host/exif_block.h"

namespace quillon::plugin {
namespace {

using metadata::ShotInfo;

ShotInfo Parse(const std::string& text) {
    ShotInfo shot;
    ParseHandoffText({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, shot);
    return shot;
}

TEST(HandoffFileTest, RecordsAfterTheFirstCharacterFillTheShot) {
    const ShotInfo shot = Parse(
        ";Make!Canon!;Model!Canon EOS 5D!;FocalLength!24.0!;FNumber!5.6!;ISOSpeed!400!"
        ";LenModel!24-70mm f/2.8!");
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.model, "Canon EOS 5D");
    EXPECT_DOUBLE_EQ(shot.focalLength, 24.0);
    EXPECT_DOUBLE_EQ(shot.fNumber, 5.6);
    EXPECT_EQ(shot.iso, 400);
    EXPECT_DOUBLE_EQ(shot.minFlen, 24.0);
    EXPECT_DOUBLE_EQ(shot.maxFlen, 70.0);
    EXPECT_DOUBLE_EQ(shot.minFlenMaxAper, 2.8);
    EXPECT_DOUBLE_EQ(shot.maxFlenMaxAper, 2.8);
}

TEST(HandoffFileTest, UnfinishedRecordUnknownKeysAndBadNumbersChangeNothing) {
    const ShotInfo shot = Parse(";Make!Canon!;make!Nikon!;FocalLength!wide!;Model!Canon EOS 5D");
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.model, "");
    EXPECT_EQ(shot.focalLength, 0.0);
}

TEST(HandoffFileTest, ExposureTimeIsSecondsOrAFraction) {
    EXPECT_DOUBLE_EQ(Parse(";ExposureTime!1/250!").exposureTime, 0.004);
    EXPECT_DOUBLE_EQ(Parse(";ExposureTime!2!").exposureTime, 2.0);
    EXPECT_DOUBLE_EQ(Parse(";ExposureTime!1/0!").exposureTime, 0.0);
    EXPECT_DOUBLE_EQ(Parse(";ExposureTime!99999999999!").exposureTime, 0.0);
}

TEST(HandoffFileTest, OnlyTheFirst500BytesCountAndTextsAreCut) {
    const std::string longModel(150, 'm');
    EXPECT_EQ(Parse(";Model!" + longModel + "!").model.size(), metadata::kMaxModelChars);
    // A record that ends beyond byte 500 is as good as unfinished.
    const std::string padding(480, 'x');
    const ShotInfo shot = Parse(";Make!Canon!;" + padding + "!y!;Model!Far Away!");
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.model, "");
    // So is one cut by a NUL.
    EXPECT_EQ(Parse(std::string(";Make!Can\0on!", 13)).make, "");
}

// A host that offers an EXIF block and nothing else.
struct PropertyHost {
    std::vector<std::uint8_t> exif;
    int disposed = 0;

    static FilterError Get(void* context, FilterKey, FilterKey key, std::int32_t, std::int64_t*,
                           FilterHandle* handle) {
        auto* self = static_cast<PropertyHost*>(context);
        if (key != FILTER_PROPERTY_EXIF || self->exif.empty()) return -1;
        *handle = reinterpret_cast<FilterHandle>(&self->exif);
        return 0;
    }
    static std::uint64_t Size(void*, FilterHandle h) {
        return reinterpret_cast<std::vector<std::uint8_t>*>(h)->size();
    }
    static void* Lock(void*, FilterHandle h, std::uint8_t) {
        return reinterpret_cast<std::vector<std::uint8_t>*>(h)->data();
    }
    static void Unlock(void*, FilterHandle) {}
    static void Dispose(void* context, FilterHandle) {
        ++static_cast<PropertyHost*>(context)->disposed;
    }

    FilterPropertyProcs properties{this, &Get};
    FilterHandleProcs handles{this, &Size, &Lock, &Unlock, &Dispose};
    FilterRecord Record() {
        FilterRecord record{};
        record.propertyProcs = &properties;
        record.handleProcs = &handles;
        return record;
    }
};

std::vector<std::uint8_t> CanonExif() {
    TiffShotValues values;
    values.make = "Canon";
    values.model = "Canon EOS 1000D";
    values.focalLength = 34.0f;
    return host::BuildExifBlock(values);
}

class HostMetadataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        handoff_ = dir_.File("exif.dat");
        const std::string text = ";Make!Nikon!;Model!D40!;FocalLength!26!";
        ASSERT_TRUE(testing::WriteBytes(handoff_, {text.begin(), text.end()}));
    }
    testing::TempDir dir_;
    std::string handoff_;
};

TEST_F(HostMetadataTest, HostsExifIsReadAndTheHandoffFileNeverOpened) {
    PropertyHost host;
    host.exif = CanonExif();
    const FilterRecord record = host.Record();
    HandoffFile handoff(handoff_);
    const ShotInfo shot = ReadHostMetadata(record, handoff, {});
    EXPECT_EQ(shot.make, "Canon");
    EXPECT_EQ(shot.model, "Canon EOS 1000D");
    EXPECT_DOUBLE_EQ(shot.focalLength, 34.0);
    EXPECT_EQ(host.disposed, 1);
    EXPECT_FALSE(handoff.Read());
}

TEST_F(HostMetadataTest, WithoutExifTheHandoffFileSpeaksEveryTimeButIsReadOnce) {
    PropertyHost host;
    const FilterRecord record = host.Record();
    HandoffFile handoff(handoff_);
    const ShotInfo shot = ReadHostMetadata(record, handoff, {});
    EXPECT_EQ(shot.make, "Nikon");
    EXPECT_DOUBLE_EQ(shot.focalLength, 26.0);
    // The dialog reads the metadata again after the file may have changed
    // (another application rewrote it): the run keeps what it read first.
    const std::string changed = ";Make!Pentax!";
    ASSERT_TRUE(testing::WriteBytes(handoff_, {changed.begin(), changed.end()}));
    EXPECT_EQ(ReadHostMetadata(record, handoff, {}).make, "Nikon");
    // A host without property procs is a host without EXIF.
    EXPECT_EQ(ReadHostMetadata(FilterRecord{}, handoff, {}).model, "D40");
    // No handoff file this run: nothing at all.
    HandoffFile none("");
    EXPECT_EQ(ReadHostMetadata(record, none, {}).make, "");
}

TEST_F(HostMetadataTest, DetectSwitchesClearWhatTheUserSetsByHand) {
    PropertyHost host;
    host.exif = CanonExif();
    const FilterRecord record = host.Record();
    metadata::DetectSwitches detect;
    detect.detectFlen = false;
    HandoffFile none("");
    const ShotInfo shot = ReadHostMetadata(record, none, detect);
    EXPECT_EQ(shot.focalLength, 0.0);
    EXPECT_EQ(shot.make, "Canon");
}

TEST(HostSourceProfileTest, TheHostsProfileUnlessRefusedMissingOrOverruledBySrgb) {
    const std::vector<std::uint8_t> icc(600, 7);
    FilterRecord record{};
    record.canUseICCProfiles = 1;
    record.iCCprofileData = icc.data();
    record.iCCprofileSize = static_cast<std::int32_t>(icc.size());
    ShotInfo shot;
    EXPECT_EQ(HostSourceProfile(record, shot), icc);
    shot.colourSpaceIndex = preview::kProfileAdobeRgb;  // the host's bytes say more
    EXPECT_EQ(HostSourceProfile(record, shot), icc);

    shot.colourSpaceIndex = preview::kProfileSrgb;
    EXPECT_TRUE(HostSourceProfile(record, shot).empty());
    shot.colourSpaceIndex = -1;
    record.canUseICCProfiles = 0;
    EXPECT_TRUE(HostSourceProfile(record, shot).empty());
    // Sizes a host got wrong are not read.
    record.canUseICCProfiles = 1;
    record.iCCprofileSize = -5;
    EXPECT_TRUE(HostSourceProfile(record, shot).empty());
    record.iCCprofileSize = kMaxHostProfileBytes + 1;
    EXPECT_TRUE(HostSourceProfile(record, shot).empty());
}

}  // namespace
}  // namespace quillon::plugin
