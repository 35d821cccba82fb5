#include "imageio/image_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imageio/exif_orientation.h"
#include "imageio/tiff_file.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "tests/imageio/imageio_test_files.h"
#include "tests/support/test_allocator.h"
#include "tests/support/test_support.h"

namespace quillon::imageio {
namespace {

using test::Bytes;
using testing::TempDir;

TEST(ImageFilePaths, FormatFollowsTheLetterAfterTheLastDot) {
    EXPECT_EQ(FileKindOf("a/photo.tif"), FileKind::kTiff);
    EXPECT_EQ(FileKindOf("a/photo.TIFF"), FileKind::kTiff);
    EXPECT_EQ(FileKindOf("photo.jpg.tif"), FileKind::kTiff);
    EXPECT_EQ(FileKindOf("photo.tif.jpg"), FileKind::kJpeg);
    EXPECT_EQ(FileKindOf("photo.JPEG"), FileKind::kJpeg);
    EXPECT_EQ(FileKindOf("photo"), FileKind::kJpeg);
    EXPECT_EQ(FileKindOf("tif.d/photo"), FileKind::kJpeg);
}

TEST(ImageFilePaths, OutputNameTakesTheSuffixOnlyInTheBrowser) {
    ImageFileOptions browser;
    EXPECT_EQ(OutputPathFor("/p/photo.jpg", browser), "/p/photo_lc.jpg");
    EXPECT_EQ(OutputPathFor("/p/photo_lc.jpg", browser), "/p/photo_lc_lc.jpg");
    EXPECT_EQ(OutputPathFor("/p/a.b.TIF", browser), "/p/a.b_lc.TIF");
    EXPECT_EQ(OutputPathFor("/p.d/photo", browser), "/p.d/photo_lc");
    browser.suffix = "-fixed";
    EXPECT_EQ(OutputPathFor("photo.tiff", browser), "photo-fixed.tiff");
    ImageFileOptions editor;
    editor.interactiveMode = false;
    EXPECT_EQ(OutputPathFor("/p/photo.jpg", editor), "/p/photo.jpg");
}

TEST(LoadImageFile, AFailedLoadReleasesThePreviousImage) {
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(testing::TestDataPath("photos/exiv2_Reagan.jpg"), image, sink).code(),
              0);
    ASSERT_FALSE(image.metadata.exif.empty());
    image.outOfMemory = true;
    EXPECT_EQ(LoadImageFile(testing::TestDataPath("photos/pillow_pil_sample_cmyk.jpg"), image, sink)
                  .code(),
              2);
    EXPECT_FALSE(image.outOfMemory);
    EXPECT_EQ(image.input.pixels, nullptr);
    EXPECT_EQ(image.output.pixels, nullptr);
    EXPECT_TRUE(image.blocks.source.empty());
    EXPECT_TRUE(image.blocks.work.empty());
    EXPECT_TRUE(image.metadata.exif.empty());
    EXPECT_TRUE(image.metadata.icc.empty());
}

TEST(LoadImageFile, TiffContentNamedJpgGoesToTheJpegReaderAndFails) {
    TempDir dir;
    const std::string path = dir.File("photo.jpg");
    ASSERT_TRUE(testing::WriteBytes(
        path, testing::ReadBytes(testing::TestDataPath("photos/libtiff_rgb-3c-8b.tiff"))));
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(LoadImageFile(path, image, sink).code(), 2);
    ASSERT_EQ(sink.Count(), 1u);  // the JPEG library's text, once
    EXPECT_EQ(sink.Last(), "Not a JPEG file: starts with 0x4d 0x4d");
}

// The pixels go into the blocks of the image handed in, through their
// allocator: a host's memory, say. Loading again keeps that allocator.
TEST(LoadImageFile, DecodesIntoTheCallersBlocks) {
    for (const char* name : {"photos/libtiff_rgb-3c-16b.tiff", "photos/exiftool_Canon.jpg"}) {
        SCOPED_TRACE(name);
        testing::TestAllocator allocator;
        platform::CapturingSink sink;
        CurrentImage image(allocator);
        const std::string path = testing::TestDataPath(name);
        for (int load = 1; load <= 2; ++load) {
            ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0) << sink.Last();
            EXPECT_EQ(allocator.live(), 2);
            EXPECT_EQ(allocator.requests(), 2 * load);
            EXPECT_EQ(&image.blocks.source.allocator(), &allocator);
            EXPECT_EQ(image.input.pixels, image.blocks.source.data());
            EXPECT_EQ(image.output.pixels, image.blocks.work.data());
        }
        EXPECT_EQ(sink.Count(), 0u);
    }
}

// Memory that runs out on either block, of either format, is the
// out-of-memory message, an empty image and the flag, not a crash.
TEST(LoadImageFile, AnAllocatorThatRunsOutGivesTheOutOfMemoryMessage) {
    for (const char* name : {"photos/libtiff_rgb-3c-8b.tiff", "photos/exiftool_Canon.jpg"}) {
        for (const int failOn : {1, 2}) {
            SCOPED_TRACE(std::string(name) + " fails on block " + std::to_string(failOn));
            testing::TestAllocator allocator(failOn);
            platform::CapturingSink sink;
            CurrentImage image(allocator);
            EXPECT_EQ(LoadImageFile(testing::TestDataPath(name), image, sink).code(), 2);
            ASSERT_EQ(sink.Count(), 1u);
            EXPECT_EQ(sink.Last(), "allocMem error 2: out of memory");
            EXPECT_TRUE(image.outOfMemory);
            EXPECT_EQ(allocator.live(), 0);
            EXPECT_EQ(image.input.pixels, nullptr);
            EXPECT_TRUE(image.blocks.work.empty());
        }
    }
}

std::size_t FilesIn(const std::string& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

// In the editor the target of a write is the user's only copy of the photo; a
// write that fails at its last step must leave it byte for byte as it was and
// no temporary file behind.
TEST(SaveImageFile, AFailedWriteLeavesTheOriginalUntouched) {
    for (const char* sample : {"photos/exiv2_Reagan.jpg", "photos/exiv2_Reagan.tiff"}) {
        SCOPED_TRACE(sample);
        TempDir dir;
        const std::string name = std::string(platform::FileNameOf(sample));
        const std::string original = dir.File(name);
        const Bytes before = testing::ReadBytes(testing::TestDataPath(sample));
        ASSERT_TRUE(testing::WriteBytes(original, before));
        platform::CapturingSink sink;
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(original, image, sink).code(), 0);
        // Something visibly different, so a replaced file could not pass.
        std::memset(image.output.pixels, 0x7F, static_cast<std::size_t>(image.output.dataSize));
        ImageFileOptions editor;
        editor.interactiveMode = false;
        const auto failingRename = [](const char*, const char*) { return -1; };
        EXPECT_NE(SaveImageFile(original, image, editor, sink, failingRename).code(), 0);
        EXPECT_FALSE(sink.Last().empty());
        EXPECT_EQ(testing::ReadBytes(original), before);
        EXPECT_EQ(FilesIn(dir.path()), 1u);

        // The same write without the fault replaces the file.
        EXPECT_EQ(SaveImageFile(original, image, editor, sink).code(), 0);
        EXPECT_NE(testing::ReadBytes(original), before);
        EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
}

// Renaming in a writable folder needs no permission on the photo itself, so a
// photo its owner made read-only was replaced anyway. Each writer refuses with
// its own open message, and nothing in the folder changes.
TEST(SaveImageFile, APhotoTheUserMayNotWriteIsRefusedUntouched) {
    for (const char* sample : {"photos/exiv2_Reagan.jpg", "photos/exiv2_Reagan.tiff"}) {
        SCOPED_TRACE(sample);
        TempDir dir;
        ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
        const std::string photo = dir.File(std::string(platform::FileNameOf(sample)));
        const Bytes before = testing::ReadBytes(testing::TestDataPath(sample));
        ASSERT_TRUE(testing::WriteBytes(photo, before));
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(photo.c_str(), testing::OrdinaryUid(), testing::OrdinaryGid()), 0);
        }
        ASSERT_EQ(::chmod(photo.c_str(), 0444), 0);
        platform::CapturingSink loadSink;
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(photo, image, loadSink).code(), 0);
        std::memset(image.output.pixels, 0x7F, static_cast<std::size_t>(image.output.dataSize));
        const std::vector<std::string> expected =
            FileKindOf(photo) == FileKind::kJpeg
                ? std::vector<std::string>{"Can't open " + photo + " for writing",
                                           std::strerror(EACCES)}
                : std::vector<std::string>{"Error: TIFFOpen"};

        const auto failure = testing::RunAsOrdinaryUser([&] {
            platform::CapturingSink sink;
            ImageFileOptions editor;
            editor.interactiveMode = false;
            if (SaveImageFile(photo, image, editor, sink).code() == 0) return std::string("saved");
            std::vector<std::string> shown;
            for (const auto& m : sink.Messages()) shown.push_back(m.text);
            if (shown == expected) return std::string();
            std::string text = "messages:";
            for (const std::string& m : shown) text += " [" + m + "]";
            return text;
        });
        if (!failure) GTEST_SKIP() << "could not drop to an unprivileged user";
        EXPECT_EQ(*failure, "");
        EXPECT_EQ(testing::ReadBytes(photo), before);
        EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
}

// A photo given through a symbolic link: the link used to become a corrected
// copy while the photo it pointed to stayed as it was.
TEST(SaveImageFile, APhotoGivenThroughALinkIsReplacedWhereItLies) {
    for (const char* sample : {"photos/exiv2_Reagan.jpg", "photos/exiv2_Reagan.tiff"}) {
        SCOPED_TRACE(sample);
        TempDir dir;
        const std::string name(platform::FileNameOf(sample));
        std::filesystem::create_directory(dir.File("archive"));
        const std::string photo = dir.File("archive/" + name);
        const Bytes before = testing::ReadBytes(testing::TestDataPath(sample));
        ASSERT_TRUE(testing::WriteBytes(photo, before));
        const std::string link = dir.File(name);
        std::filesystem::create_symlink("archive/" + name, link);
        platform::CapturingSink sink;
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(link, image, sink).code(), 0);
        std::memset(image.output.pixels, 0x7F, static_cast<std::size_t>(image.output.dataSize));
        ImageFileOptions editor;
        editor.interactiveMode = false;

        EXPECT_EQ(SaveImageFile(link, image, editor, sink).code(), 0);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_NE(testing::ReadBytes(photo), before);
        EXPECT_EQ(FilesIn(dir.File("archive")), 1u);
    }
}

TEST(SaveImageFile, AnOutputThatCannotBeEncodedLeavesTheTargetUntouched) {
    TempDir dir;
    const std::string target = dir.File("keep.tif");
    const Bytes before = testing::ReadBytes(testing::TestDataPath("photos/libtiff_rgb-3c-8b.tiff"));
    ASSERT_TRUE(testing::WriteBytes(target, before));
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(target, image, sink).code(), 0);
    // A 32-bit-per-pixel description cannot be written as RGB.
    ImageBuffer broken = image.output;
    broken.bitsPerPixel = 32;
    EXPECT_EQ(WriteTiffFile(broken, image.metadata, target, sink).code(), 1);
    EXPECT_EQ(testing::ReadBytes(target), before);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(SaveImageFile, TiffIntoAMissingFolderFailsWithTheOpenMessage) {
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(
        LoadImageFile(testing::TestDataPath("photos/libtiff_rgb-3c-8b.tiff"), image, sink).code(),
        0);
    ImageFileOptions editor;
    editor.interactiveMode = false;
    EXPECT_EQ(SaveImageFile("/nonexistent/folder/x.tif", image, editor, sink).code(), 1);
    EXPECT_EQ(sink.Last(), "Error: TIFFOpen");
}

TEST(ExifOrientation, SetsUprightInTheBlocksOwnByteOrderAndNothingElse) {
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian);
        Bytes block = test::ExifBlock(bigEndian, 6);
        const Bytes upright = test::ExifBlock(bigEndian, 1);
        EXPECT_TRUE(SetExifOrientationUpright(block));
        EXPECT_EQ(block, upright);
    }
}

TEST(ExifOrientation, LeavesMalformedBlocksAlone) {
    Bytes noExif = test::ExifBlock(false, 8);
    noExif[0] = 'X';
    Bytes badOrder = test::ExifBlock(false, 8);
    badOrder[6] = 'I';
    badOrder[7] = 'M';
    Bytes ifdPastEnd = test::ExifBlock(false, 8);
    ifdPastEnd[10] = 0xF0;  // IFD0 offset far beyond the block
    Bytes entriesCut = test::ExifBlock(false, 8);
    entriesCut.resize(entriesCut.size() - 12);  // the Orientation entry is cut off
    Bytes countTooBig = test::ExifBlock(true, 8);
    countTooBig[14] = 0x7F;  // the entry count (big-endian) claims far too many
    countTooBig[15] = 0xFF;
    Bytes noOrientation = test::ExifBlock(false, 8);
    noOrientation[28] = 0x13;  // the tag becomes 0x0113
    for (Bytes* block : {&noExif, &badOrder, &ifdPastEnd, &entriesCut, &noOrientation}) {
        const Bytes before = *block;
        EXPECT_FALSE(SetExifOrientationUpright(*block));
        EXPECT_EQ(*block, before);
    }
    // The count is wrong but the entry precedes the point where it runs out.
    EXPECT_TRUE(SetExifOrientationUpright(countTooBig));
    Bytes tiny = test::BytesOf("Exif");
    EXPECT_FALSE(SetExifOrientationUpright(tiny));
}

// Real camera files, little-endian with orientation 6 and big-endian with 8: after the
// change and a save, the written EXIF block differs from the read one only in
// the orientation value.
TEST(ExifOrientation, SavedJpegCarriesTheUprightBlock) {
    for (const char* sample :
         {"photos/mdx_Samsung_GT-I9000_Galaxy_S.jpg", "photos/exiftool_Pentax.jpg"}) {
        SCOPED_TRACE(sample);
        TempDir dir;
        platform::CapturingSink sink;
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(testing::TestDataPath(sample), image, sink).code(), 0);
        const Bytes original = image.metadata.exif;
        ASSERT_TRUE(SetExifOrientationUpright(image.metadata.exif));
        std::size_t changed = 0;
        for (std::size_t i = 0; i < original.size(); ++i)
            changed += original[i] != image.metadata.exif[i];
        EXPECT_EQ(changed, 1u);  // 6 or 8 -> 1 in the low byte
        const std::string out = dir.File("upright.jpg");
        ImageFileOptions editor;
        editor.interactiveMode = false;
        ASSERT_EQ(SaveImageFile(out, image, editor, sink).code(), 0);
        const Bytes written = image.metadata.exif;
        CurrentImage again;
        ASSERT_EQ(LoadImageFile(out, again, sink).code(), 0);
        EXPECT_EQ(again.metadata.exif, written);
    }
}

}  // namespace
}  // namespace quillon::imageio

namespace quillon::imageio {
namespace {

// The window turns photos upright for display and correction, and then raises
// the flag; the quiet mode corrects them as stored. The written EXIF block must
// say what the written pixels need, and the carried block itself stays as read.
TEST(ExifOrientation, TheJpegWriterSetsUprightOnlyForTurnedPixels) {
    TempDir dir;
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(testing::TestDataPath("photos/mdx_Samsung_GT-I9000_Galaxy_S.jpg"),
                            image, sink)
                  .code(),
              0);
    const Bytes asRead = image.metadata.exif;
    Bytes upright = asRead;
    ASSERT_TRUE(SetExifOrientationUpright(upright));
    ImageFileOptions editor;
    editor.interactiveMode = false;
    const std::string out = dir.File("out.jpg");
    for (const bool turned : {false, true}) {
        SCOPED_TRACE(turned);
        image.metadata.pixelsTurnedUpright = turned;
        ASSERT_EQ(SaveImageFile(out, image, editor, sink).code(), 0);
        EXPECT_EQ(image.metadata.exif, asRead);
        CurrentImage again;
        ASSERT_EQ(LoadImageFile(out, again, sink).code(), 0);
        EXPECT_EQ(again.metadata.exif, turned ? upright : asRead);
    }
}

// quillon-info needs the metadata only; the pixels must not be decoded, or a
// file declaring a huge image costs its declared size.
TEST(LoadImageMetadata, TakesWhatAFullLoadTakesWithoutPixels) {
    for (const char* sample :
         {"photos/exiv2_Reagan.jpg", "photos/pillow_icc_profile_big.jpg",
          "photos/exifr_tif-with-iptc-icc-xmp.tif", "photos/exiv2_Reagan.tiff"}) {
        SCOPED_TRACE(sample);
        platform::CapturingSink sink;
        CurrentImage full;
        ASSERT_EQ(LoadImageFile(testing::TestDataPath(sample), full, sink).code(), 0);
        // Loaded whole first: the metadata load must release those pixels.
        CurrentImage metadataOnly;
        ASSERT_EQ(LoadImageFile(testing::TestDataPath(sample), metadataOnly, sink).code(), 0);
        ASSERT_EQ(LoadImageMetadata(testing::TestDataPath(sample), metadataOnly, sink).code(), 0);
        EXPECT_EQ(metadataOnly.input.pixels, nullptr);
        EXPECT_TRUE(metadataOnly.blocks.source.empty());
        EXPECT_TRUE(metadataOnly.blocks.work.empty());
        const ImageMetadata& a = full.metadata;
        const ImageMetadata& b = metadataOnly.metadata;
        EXPECT_EQ(b.fileKind, a.fileKind);
        EXPECT_EQ(b.exif, a.exif);
        EXPECT_EQ(b.xmp, a.xmp);
        EXPECT_EQ(b.icc, a.icc);
        EXPECT_EQ(b.iptc, a.iptc);
        EXPECT_EQ(b.tiff.model, a.tiff.model);
        EXPECT_EQ(b.tiff.focalLength, a.tiff.focalLength);
        EXPECT_EQ(b.tiff.orientation, a.tiff.orientation);
        EXPECT_EQ(b.tiffTags.exifDirectory.size(), a.tiffTags.exifDirectory.size());
        EXPECT_EQ(b.tiffTags.copyright, a.tiffTags.copyright);
        EXPECT_EQ(b.jpeg.chroma, a.jpeg.chroma);
        EXPECT_EQ(sink.Count(), 0u);
    }
}

TEST(LoadImageMetadata, RefusesWhatAFullLoadRefuses) {
    struct Case {
        const char* sample;
        const char* message;
    };
    for (const Case& c :
         {Case{"photos/pillow_pil_sample_cmyk.jpg", "Image must be rgb"},
          Case{"photos/libtiff_minisblack-1c-8b.tiff", "Grayscale images are not supported"}}) {
        SCOPED_TRACE(c.sample);
        platform::CapturingSink sink;
        CurrentImage image;
        ASSERT_EQ(
            LoadImageFile(testing::TestDataPath("photos/exiv2_Reagan.jpg"), image, sink).code(), 0);
        EXPECT_EQ(LoadImageMetadata(testing::TestDataPath(c.sample), image, sink).code(), 2);
        EXPECT_EQ(sink.Last(), c.message);
        // The previous image is gone, as after a failed full load.
        EXPECT_TRUE(image.blocks.source.empty());
        EXPECT_TRUE(image.metadata.exif.empty());
    }
}

}  // namespace
}  // namespace quillon::imageio
