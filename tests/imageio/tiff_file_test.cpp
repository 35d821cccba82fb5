#include "imageio/tiff_file.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "imageio/image_file.h"
#include "platform/message_sink.h"
#include "tests/imageio/imageio_test_files.h"
#include "tests/support/test_support.h"

namespace quillon::imageio {
namespace {

using test::Bytes;
using testing::TempDir;

// What the correction would do: the output starts as a copy of the input.
void CopyInputToOutput(CurrentImage& image) {
    std::memcpy(image.output.pixels, image.input.pixels,
                static_cast<std::size_t>(image.input.dataSize));
}

Bytes ImageBytes(const ImageBuffer& image) {
    return Bytes(image.pixels, image.pixels + image.dataSize);
}

struct TiffTags {
    std::uint16_t samples = 0, bits = 0, compression = 0, orientation = 0;
    std::uint32_t rowsPerStrip = 0, height = 0;
    std::string dateTime;
    bool hasDateTime = false;
};

TiffTags ReadTags(const std::string& path) {
    TiffTags t;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return t;
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &t.orientation);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height);
    const char* text = nullptr;
    if (TIFFGetField(tif, TIFFTAG_DATETIME, &text) == 1 && text) {
        t.hasDateTime = true;
        t.dateTime = text;
    }
    TIFFClose(tif);
    return t;
}

// A TIFF that carries every block and tag the program takes over, with values
// that differ from any default so a dropped or reset field shows.
struct RichTiff {
    Bytes xmp = test::BytesOf("<x:xmpmeta>lens 17-40</x:xmpmeta>");
    Bytes icc = test::CountingBytes(700, 5);
    Bytes iptc = test::CountingBytes(12, 9);  // three 32-bit words
    std::string dateTimeOriginal = "2021:06:05 04:03:02";
    std::string dateTime = "2022:01:01 10:00:00";
};

Bytes BuildRichTiff(const RichTiff& r, std::int32_t width, std::int32_t height, int samples,
                    int bits, const std::string& dateTimeOriginal) {
    test::TiffIfd ifd =
        test::RgbIfd(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                     static_cast<std::uint32_t>(samples), static_cast<std::uint32_t>(bits));
    test::SetBytes(ifd, 700, test::kByte, r.xmp);
    test::SetBytes(ifd, 34675, test::kUndefined, r.icc);
    test::TiffTag iptc{test::kLong, 3, r.iptc};
    ifd[33723] = iptc;
    test::SetShort(ifd, 296, {3});
    test::SetRationals(ifd, 282, {{300, 1}});
    test::SetRationals(ifd, 283, {{150, 1}});
    test::SetAscii(ifd, 271, "Maker");
    test::SetAscii(ifd, 272, "Model X");
    test::SetAscii(ifd, 306, r.dateTime);
    test::SetRationals(ifd, 50736, {{17, 1}, {40, 1}, {4, 1}, {0, 0}});
    test::SetShort(ifd, 274, {6});
    test::TiffIfd exif;
    test::SetRationals(exif, 33437, {{56, 10}});
    test::SetRationals(exif, 37386, {{35, 1}});
    test::SetRationals(exif, 33434, {{1, 250}});
    test::SetAscii(exif, 36867, dateTimeOriginal);
    test::SetAscii(exif, 42035, "Lens Maker");
    test::SetAscii(exif, 42036, "Zoom 17-40mm f/4 " + std::string(120, 'x'));
    return test::BuildTiff(ifd, test::PatternPixels(width, height, samples, bits),
                           static_cast<std::uint32_t>(height), 2, exif);
}

void ExpectSameCarriedBlocks(const ImageMetadata& a, const ImageMetadata& b) {
    EXPECT_EQ(a.xmp, b.xmp);
    EXPECT_EQ(a.icc, b.icc);
    EXPECT_EQ(a.iptc, b.iptc);
    EXPECT_EQ(a.hasResolution, b.hasResolution);
    EXPECT_EQ(a.resolutionUnit, b.resolutionUnit);
    EXPECT_EQ(a.xResolution, b.xResolution);
    EXPECT_EQ(a.yResolution, b.yResolution);
    EXPECT_EQ(a.hasLensInfo, b.hasLensInfo);
    EXPECT_EQ(a.tiff.lensInfo, b.tiff.lensInfo);
    EXPECT_EQ(a.tiff.make, b.tiff.make);
    EXPECT_EQ(a.tiff.model, b.tiff.model);
    EXPECT_EQ(a.tiff.dateTime, b.tiff.dateTime);
}

TEST(TiffRead, TakesPixelsAndEveryCarriedValueFromTheFile) {
    TempDir dir;
    const RichTiff rich;
    const std::string path = dir.File("rich.tif");
    ASSERT_TRUE(testing::WriteBytes(path, BuildRichTiff(rich, 17, 5, 3, 8, rich.dateTimeOriginal)));
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0) << sink.Last();
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_EQ(image.metadata.fileKind, FileKind::kTiff);
    EXPECT_EQ(image.input.width, 17);
    EXPECT_EQ(image.input.height, 5);
    EXPECT_EQ(image.input.bitsPerPixel, 24);
    EXPECT_EQ(ImageBytes(image.input), test::PatternPixels(17, 5, 3, 8));
    // The output has the input's geometry, in a block of its own.
    EXPECT_EQ(image.output.width, 17);
    EXPECT_EQ(image.output.dataSize, image.input.dataSize);
    EXPECT_NE(image.output.pixels, image.input.pixels);
    EXPECT_GE(image.blocks.work.size(), static_cast<std::size_t>(image.input.dataSize));

    const ImageMetadata& m = image.metadata;
    EXPECT_EQ(m.xmp, rich.xmp);
    EXPECT_EQ(m.icc, rich.icc);
    EXPECT_EQ(m.iptc, rich.iptc);
    EXPECT_TRUE(m.hasResolution);
    EXPECT_EQ(m.resolutionUnit, 3);
    EXPECT_FLOAT_EQ(m.xResolution, 300.0f);
    EXPECT_FLOAT_EQ(m.yResolution, 150.0f);
    EXPECT_EQ(m.tiff.make, "Maker");
    EXPECT_EQ(m.tiff.model, "Model X");
    EXPECT_EQ(m.tiff.dateTime, rich.dateTimeOriginal);  // DateTimeOriginal wins over DateTime
    EXPECT_EQ(m.tiff.lensMake, "Lens Maker");
    // Cut to the length of the lens names it becomes.
    EXPECT_EQ(m.tiff.lensModel, ("Zoom 17-40mm f/4 " + std::string(120, 'x')).substr(0, 99));
    EXPECT_FLOAT_EQ(m.tiff.fNumber, 5.6f);
    EXPECT_FLOAT_EQ(m.tiff.focalLength, 35.0f);
    EXPECT_FLOAT_EQ(m.tiff.exposureTime, 0.004f);
    EXPECT_TRUE(m.hasLensInfo);
    // A zero denominator reads as 0, not as infinity.
    EXPECT_EQ(m.tiff.lensInfo, (std::array<float, 4>{17.0f, 40.0f, 4.0f, 0.0f}));
    EXPECT_TRUE(m.tiff.orientationFound);
    EXPECT_EQ(m.tiff.orientation, 6);
    EXPECT_TRUE(m.exif.empty());
}

// Round trips done twice: a writer that adds, drops or re-encodes anything
// shows up as a difference between the first and the second generation.
class TiffRoundTrip : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(TiffRoundTrip, PixelsAndCarriedBlocksSurviveTwoGenerations) {
    const auto [samples, bits] = GetParam();
    TempDir dir;
    const RichTiff rich;
    const std::string source = dir.File("photo.tif");
    ASSERT_TRUE(testing::WriteBytes(
        source, BuildRichTiff(rich, 23, 7, samples, bits, rich.dateTimeOriginal)));
    const Bytes rgb = [&] {
        // The expected pixels: the pattern without the fourth sample.
        const Bytes all = test::PatternPixels(23, 7, samples, bits);
        Bytes out;
        const std::size_t sampleBytes = static_cast<std::size_t>(bits / 8);
        for (std::size_t p = 0; p < 23 * 7; ++p) {
            const auto* px = all.data() + p * static_cast<std::size_t>(samples) * sampleBytes;
            out.insert(out.end(), px, px + 3 * sampleBytes);
        }
        return out;
    }();

    platform::CapturingSink sink;
    ImageFileOptions options;  // interactive: photo.tif -> photo_lc.tif
    std::string input = source;
    CurrentImage first;
    ASSERT_EQ(LoadImageFile(input, first, sink).code(), 0) << sink.Last();
    for (int generation = 0; generation < 2; ++generation) {
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(input, image, sink).code(), 0) << sink.Last();
        EXPECT_EQ(image.input.bitsPerPixel, 3 * bits);
        EXPECT_EQ(image.input.rowBytes, 23 * 3 * bits / 8);
        EXPECT_EQ(ImageBytes(image.input), rgb);
        ExpectSameCarriedBlocks(image.metadata, first.metadata);
        CopyInputToOutput(image);
        ASSERT_EQ(SaveImageFile(input, image, options, sink).code(), 0) << sink.Last();
        input = OutputPathFor(input, options);

        const TiffTags tags = ReadTags(input);
        EXPECT_EQ(tags.samples, 3);
        EXPECT_EQ(tags.bits, bits);
        EXPECT_EQ(tags.compression, bits == 8 ? COMPRESSION_LZW : COMPRESSION_NONE);
        // The pixels are written as they stand, so they still need the
        // input's orientation.
        EXPECT_EQ(tags.orientation, 6);
        EXPECT_GE(tags.rowsPerStrip, 1u);
        EXPECT_LE(tags.rowsPerStrip, tags.height);
        EXPECT_EQ(tags.dateTime, rich.dateTimeOriginal);
    }
    CurrentImage last;
    ASSERT_EQ(LoadImageFile(input, last, sink).code(), 0) << sink.Last();
    EXPECT_EQ(ImageBytes(last.input), rgb);
    ExpectSameCarriedBlocks(last.metadata, first.metadata);
    EXPECT_EQ(sink.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffRoundTrip,
                         ::testing::Values(std::pair{3, 8}, std::pair{3, 16}, std::pair{4, 8},
                                           std::pair{4, 16}),
                         [](const auto& param) {
                             return std::to_string(param.param.first) + "x" +
                                    std::to_string(param.param.second) + "bit";
                         });

// Hands the rows of `image` over a copy at a time, in the order asked, and
// fails from row `failAt` on.
class CopyingFeed final : public RowFeed {
  public:
    CopyingFeed(const ImageBuffer& image, std::int32_t failAt) : image_(image), failAt_(failAt) {}
    const std::uint8_t* Rows(std::int32_t first, std::int32_t count) override {
        EXPECT_EQ(first, next_);
        next_ = first + count;
        if (first + count > failAt_) return nullptr;
        const std::uint8_t* begin = image_.Row(first);
        copy_.assign(begin, begin + static_cast<std::ptrdiff_t>(image_.rowBytes) * count);
        return copy_.data();
    }

  private:
    const ImageBuffer& image_;
    std::int32_t failAt_;
    std::int32_t next_ = 0;
    Bytes copy_;
};

// Rows handed over a strip at a time give the file the whole image gives, at
// both depths; a feed that fails part of the way leaves the target as it was.
TEST(TiffWrite, RowsFromAFeedGiveTheSameFileAndAFailedFeedChangesNothing) {
    TempDir dir;
    for (const int bits : {8, 16}) {
        const std::string source = dir.File("photo" + std::to_string(bits) + ".tif");
        ASSERT_TRUE(testing::WriteBytes(
            source, BuildRichTiff(RichTiff{}, 301, 97, 3, bits, "2020:01:02 03:04:05")));
        platform::CapturingSink sink;
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(source, image, sink).code(), 0) << sink.Last();
        CopyInputToOutput(image);
        const std::string whole = dir.File("whole.tif");
        const std::string fed = dir.File("fed.tif");
        ASSERT_EQ(WriteTiffFile(image.output, image.metadata, whole, sink).code(), 0);
        ImageBuffer geometry = image.output;
        geometry.pixels = nullptr;
        CopyingFeed feed(image.output, image.output.height);
        ASSERT_EQ(WriteTiffRows(geometry, feed, image.metadata, fed, sink).code(), 0);
        EXPECT_EQ(testing::ReadBytes(fed), testing::ReadBytes(whole));
        EXPECT_GT(ReadTags(fed).height, ReadTags(fed).rowsPerStrip) << "one strip only";

        CopyingFeed failing(image.output, image.output.height / 2);
        EXPECT_EQ(WriteTiffRows(geometry, failing, image.metadata, whole, sink).code(), 1);
        EXPECT_EQ(testing::ReadBytes(whole), testing::ReadBytes(fed));
        EXPECT_EQ(sink.Count(), 0u) << sink.Last();
    }
}

TEST(TiffWrite, DateTimeFallsBackWhenTheOriginalIsTheZeroDate) {
    TempDir dir;
    const RichTiff rich;
    const std::string path = dir.File("zero.tif");
    ASSERT_TRUE(testing::WriteBytes(path, BuildRichTiff(rich, 4, 3, 3, 8, "0000:00:00 00:00:00")));
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0);
    EXPECT_EQ(image.metadata.tiff.dateTime, rich.dateTime);
    CopyInputToOutput(image);
    ASSERT_EQ(SaveImageFile(path, image, ImageFileOptions{}, sink).code(), 0);
    EXPECT_EQ(ReadTags(dir.File("zero_lc.tif")).dateTime, rich.dateTime);
}

TEST(TiffWrite, LeavesOutTagsThatWereNotRead) {
    TempDir dir;
    const std::string path = dir.File("plain.tif");
    ASSERT_TRUE(testing::WriteBytes(
        path, test::BuildTiff(test::RgbIfd(5, 4), test::PatternPixels(5, 4, 3, 8), 4, 4)));
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0);
    CopyInputToOutput(image);
    ASSERT_EQ(SaveImageFile(path, image, ImageFileOptions{}, sink).code(), 0);
    const TiffTags tags = ReadTags(dir.File("plain_lc.tif"));
    EXPECT_FALSE(tags.hasDateTime);
    CurrentImage again;
    ASSERT_EQ(LoadImageFile(dir.File("plain_lc.tif"), again, sink).code(), 0);
    EXPECT_FALSE(again.metadata.hasResolution);
    EXPECT_FALSE(again.metadata.hasLensInfo);
    EXPECT_TRUE(again.metadata.xmp.empty());
    EXPECT_TRUE(again.metadata.icc.empty());
    EXPECT_TRUE(again.metadata.iptc.empty());
    EXPECT_TRUE(again.metadata.tiff.make.empty());
}

struct Refusal {
    const char* name;
    std::function<void(test::TiffIfd&)> change;
    int samples;
    std::uint32_t rowsPerStrip;
    const char* message;
};

// Each file breaks exactly one rule; the message names that rule.
TEST(TiffRead, RefusesEachUnsupportedLayoutWithItsMessage) {
    const Refusal cases[] = {
        {"grayscale", [](auto& i) { test::SetShort(i, 262, {1}); }, 1, 3,
         "Grayscale images are not supported"},
        {"samples default to one", [](auto& i) { i.erase(277); }, 3, 3,
         "Grayscale images are not supported"},
        {"two samples", [](auto&) {}, 2, 3, "Only RGB images are supported (code: T004)"},
        {"five samples", [](auto&) {}, 5, 3, "Only RGB images are supported (code: T004)"},
        {"4-bit",
         [](auto& i) {
             test::SetShort(i, 258, {4, 4, 4});
         },
         3, 3, "Only 8-bit or 16-bit images are supported (code: T005)"},
        {"32-bit",
         [](auto& i) {
             test::SetShort(i, 258, {32, 32, 32});
         },
         3, 3, "Only 8-bit or 16-bit images are supported (code: T005)"},
        {"planar", [](auto& i) { test::SetShort(i, 284, {2}); }, 3, 1,
         "Per Channel format not supported (code: T009)"},
        {"strip taller than the image", [](auto&) {}, 3, 9,
         "Image format not supported (code: T008)"},
        {"no RowsPerStrip", [](auto&) {}, 3, 0, "Image format not supported (code: T008)"},
        {"CMYK",
         [](auto& i) {
             test::SetShort(i, 262, {5});
             i.erase(338);
         },
         4, 3, "Only RGB images are supported (code: T007)"},
        {"YCbCr", [](auto& i) { test::SetShort(i, 262, {6}); }, 3, 3,
         "Only RGB images are supported (code: T007)"},
        {"no Photometric", [](auto& i) { i.erase(262); }, 3, 3,
         "Only RGB images are supported (code: T007)"},
        {"JPEG-compressed", [](auto& i) { test::SetShort(i, 259, {7}); }, 3, 3,
         "Compression method not supported. Try LZW or Zip."},
        {"PackBits", [](auto& i) { test::SetShort(i, 259, {32773}); }, 3, 3,
         "Compression method not supported. Try LZW or Zip."},
        // Read as unsigned, these samples would come out as noise.
        {"signed samples",
         [](auto& i) {
             test::SetShort(i, 339, {2, 2, 2});
         },
         3, 3, "Only RGB images are supported (code: T010)"},
        {"half-float samples",
         [](auto& i) {
             test::SetShort(i, 258, {16, 16, 16});
             test::SetShort(i, 339, {3, 3, 3});
         },
         3, 3, "Only RGB images are supported (code: T010)"},
        {"untyped samples",
         [](auto& i) {
             test::SetShort(i, 339, {4, 4, 4});
         },
         3, 3, "Only RGB images are supported (code: T010)"},
    };
    TempDir dir;
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        test::TiffIfd ifd = test::RgbIfd(4, 3, static_cast<std::uint32_t>(c.samples));
        c.change(ifd);
        const std::string path = dir.File("refused.tif");
        ASSERT_TRUE(testing::WriteBytes(
            path,
            test::BuildTiff(ifd, test::PatternPixels(4, 3, c.samples, 8), 3, c.rowsPerStrip)));
        platform::CapturingSink sink;
        CurrentImage image;
        EXPECT_EQ(LoadImageFile(path, image, sink).code(), 2);
        EXPECT_EQ(sink.Last(), c.message);
        EXPECT_EQ(image.input.pixels, nullptr);
        EXPECT_TRUE(image.blocks.source.empty());
    }
}

TEST(TiffRead, FilesWithoutDimensionsNeverReachThePixels) {
    TempDir dir;
    for (const std::uint16_t tag : {std::uint16_t{256}, std::uint16_t{257}}) {
        test::TiffIfd ifd = test::RgbIfd(4, 3);
        test::SetLong(ifd, tag, 0);
        const std::string path = dir.File("flat.tif");
        ASSERT_TRUE(
            testing::WriteBytes(path, test::BuildTiff(ifd, test::PatternPixels(4, 3, 3, 8), 3, 3)));
        platform::CapturingSink sink;
        CurrentImage image;
        EXPECT_EQ(LoadImageFile(path, image, sink).code(), 2);
        // libtiff already rejects the directory, so the open fails.
        EXPECT_EQ(sink.Last(), "Unable to open file (code: T001)");
    }
}

TEST(TiffRead, RefusesSidesAboveTheLimitBeforeAllocating) {
    TempDir dir;
    const std::string path = dir.File("wide.tif");
    // 40000 pixels wide with a one-row strip of only 3 bytes: an allocation of
    // the declared size would be the first thing to go wrong.
    ASSERT_TRUE(testing::WriteBytes(path, test::BuildTiff(test::RgbIfd(40000, 1), Bytes(3), 1, 1)));
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(LoadImageFile(path, image, sink).code(), 2);
    EXPECT_EQ(sink.Last(), "Image too large: 40000 x 1 pixels (at most 32767 per side)");
    EXPECT_TRUE(image.blocks.source.empty());
}

TEST(TiffRead, ShortStripIsAScanlineFailureAfterLibtiffsOwnMessage) {
    TempDir dir;
    const std::string path = dir.File("short.tif");
    Bytes pixels = test::PatternPixels(4, 3, 3, 8);
    pixels.resize(20);  // the third row is cut off
    ASSERT_TRUE(testing::WriteBytes(path, test::BuildTiff(test::RgbIfd(4, 3), pixels, 3, 1)));
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(LoadImageFile(path, image, sink).code(), 2);
    const auto messages = sink.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.back().text, "Unable to read scanlines (code: T008)");
    EXPECT_EQ(messages.back().caption, "Info");
    // libtiff's report: "module::text" under the caption "Error".
    EXPECT_EQ(messages.front().caption, "Error");
    EXPECT_NE(messages.front().text.find("::"), std::string::npos);
    EXPECT_EQ(image.input.pixels, nullptr);
}

// What else in the process uses libtiff keeps its own handlers: the reader's
// messages go to the handlers of its own file handles.
int gProcessErrors = 0;
int gProcessWarnings = 0;
void CountProcessError(const char*, const char*, va_list) { ++gProcessErrors; }
void CountProcessWarning(const char*, const char*, va_list) { ++gProcessWarnings; }

TEST(TiffRead, ProcessWideHandlersStayWithTheirOwner) {
    const TIFFErrorHandler previousError = TIFFSetErrorHandler(CountProcessError);
    const TIFFErrorHandler previousWarning = TIFFSetWarningHandler(CountProcessWarning);
    gProcessErrors = 0;
    gProcessWarnings = 0;
    TempDir dir;
    const std::string damaged = dir.File("damaged.tif");
    Bytes pixels = test::PatternPixels(4, 3, 3, 8);
    pixels.resize(20);
    test::TiffIfd ifd = test::RgbIfd(4, 3);
    test::SetShort(ifd, 65000, {1});  // a tag libtiff warns about
    ASSERT_TRUE(testing::WriteBytes(damaged, test::BuildTiff(ifd, pixels, 3, 1)));
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(LoadImageFile(damaged, image, sink).code(), 2);
    EXPECT_GE(sink.Count(), 2u);
    const std::string notTiff = dir.File("not.tif");
    ASSERT_TRUE(testing::WriteBytes(notTiff, test::BytesOf("not a TIFF at all")));
    EXPECT_EQ(LoadImageFile(notTiff, image, sink).code(), 2);
    EXPECT_EQ(gProcessErrors, 0);
    EXPECT_EQ(gProcessWarnings, 0);

    // Still installed, and still called for the process's own files.
    EXPECT_EQ(TIFFSetErrorHandler(CountProcessError), CountProcessError);
    EXPECT_EQ(TIFFSetWarningHandler(CountProcessWarning), CountProcessWarning);
    EXPECT_EQ(TIFFOpen(notTiff.c_str(), "r"), nullptr);
    EXPECT_GT(gProcessErrors, 0);
    TIFF* own = TIFFOpen(damaged.c_str(), "r");
    ASSERT_NE(own, nullptr);
    EXPECT_GT(gProcessWarnings, 0);
    TIFFClose(own);

    TIFFSetErrorHandler(previousError);
    TIFFSetWarningHandler(previousWarning);
}

TEST(TiffRead, JpegNamedTifIsRefusedByTheTiffReader) {
    platform::CapturingSink sink;
    CurrentImage image;
    TempDir dir;
    const std::string path = dir.File("really_a.tif");
    ASSERT_TRUE(testing::WriteBytes(
        path, testing::ReadBytes(testing::TestDataPath("photos/exiftool_Canon.jpg"))));
    EXPECT_EQ(LoadImageFile(path, image, sink).code(), 2);
    const auto messages = sink.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().caption, "Error");
    EXPECT_EQ(messages.back().text, "Unable to open file (code: T001)");
}

TEST(TiffRead, MissingFileIsAnOpenFailure) {
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(LoadImageFile("/nonexistent/folder/x.tiff", image, sink).code(), 2);
    EXPECT_EQ(sink.Last(), "Unable to open file (code: T001)");
}

// Real files from other writers.
TEST(TiffRead, SamplePhotos) {
    platform::CapturingSink sink;
    {
        CurrentImage image;
        ASSERT_EQ(
            LoadImageFile(testing::TestDataPath("photos/exiv2_Reagan.tiff"), image, sink).code(),
            0);
        // RGBA on disk, RGB in memory.
        EXPECT_EQ(image.input.width, 200);
        EXPECT_EQ(image.input.height, 130);
        EXPECT_EQ(image.input.bitsPerPixel, 24);
        EXPECT_EQ(image.input.rowBytes, 600);
        EXPECT_EQ(image.metadata.icc.size(), 3144u);
        EXPECT_FALSE(image.metadata.xmp.empty());
        EXPECT_FALSE(image.metadata.iptc.empty());
        EXPECT_EQ(image.metadata.tiff.make, "NIKON CORPORATION");
        EXPECT_EQ(image.metadata.tiff.model, "NIKON D1X");
        EXPECT_EQ(image.metadata.tiff.dateTime, "2004:06:21 23:37:53");
        EXPECT_FLOAT_EQ(image.metadata.tiff.focalLength, 42.0f);
        EXPECT_FLOAT_EQ(image.metadata.tiff.fNumber, 5.0f);
        EXPECT_FLOAT_EQ(image.metadata.tiff.exposureTime, 0.008f);
        EXPECT_EQ(image.metadata.tiff.orientation, 1);
    }
    {
        CurrentImage image;
        ASSERT_EQ(
            LoadImageFile(testing::TestDataPath("photos/libtiff_rgb-3c-16b.tiff"), image, sink)
                .code(),
            0);
        EXPECT_EQ(image.input.width, 157);
        EXPECT_EQ(image.input.height, 151);
        EXPECT_EQ(image.input.bitsPerPixel, 48);
    }
    {
        CurrentImage image;
        ASSERT_EQ(LoadImageFile(testing::TestDataPath("photos/exifr_tif-with-iptc-icc-xmp.tif"),
                                image, sink)
                      .code(),
                  0);
        EXPECT_EQ(image.metadata.icc.size(), 940u);
        EXPECT_FALSE(image.metadata.xmp.empty());
        EXPECT_FALSE(image.metadata.iptc.empty());
        EXPECT_EQ(image.metadata.tiff.model, "Canon EOS 5D Mark III");
        EXPECT_EQ(image.metadata.tiff.dateTime, "2013:09:07 06:45:12");
        EXPECT_FLOAT_EQ(image.metadata.tiff.focalLength, 200.0f);
    }
    EXPECT_EQ(sink.Count(), 0u);
    CurrentImage gray;
    EXPECT_EQ(
        LoadImageFile(testing::TestDataPath("photos/libtiff_minisblack-1c-8b.tiff"), gray, sink)
            .code(),
        2);
    EXPECT_EQ(sink.Last(), "Grayscale images are not supported");
}

}  // namespace
}  // namespace quillon::imageio

namespace quillon::imageio {
namespace {

// Samples of a big-endian file arrive in the machine's order: a writer that
// stored them unswapped, or a reader that swapped twice, breaks this.
TEST(TiffRoundTrip, BigEndianSixteenBitSampleComesBackExactly) {
    TempDir dir;
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(
        LoadImageFile(testing::TestDataPath("photos/libtiff_rgb-3c-16b.tiff"), image, sink).code(),
        0);
    // The file's first pixels are not all equal to their byte-swapped values.
    bool asymmetric = false;
    const auto* samples = reinterpret_cast<const std::uint16_t*>(image.input.pixels);
    for (std::int64_t i = 0; i < image.input.dataSize / 2 && !asymmetric; ++i) {
        asymmetric = (samples[i] >> 8) != (samples[i] & 0xFF);
    }
    ASSERT_TRUE(asymmetric);
    CopyInputToOutput(image);
    const std::string out = dir.File("copy.tif");
    ImageFileOptions editor;
    editor.interactiveMode = false;
    ASSERT_EQ(SaveImageFile(out, image, editor, sink).code(), 0);
    CurrentImage again;
    ASSERT_EQ(LoadImageFile(out, again, sink).code(), 0);
    EXPECT_EQ(ImageBytes(again.input), ImageBytes(image.input));

    // libtiff's own RGBA reader (which scales to 8 bits with rounding) agrees
    // with the high bytes of the samples.
    TIFF* tif = TIFFOpen(testing::TestDataPath("photos/libtiff_rgb-3c-16b.tiff").c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::vector<std::uint32_t> rgba(static_cast<std::size_t>(157 * 151));
    ASSERT_EQ(TIFFReadRGBAImageOriented(tif, 157, 151, rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
    TIFFClose(tif);
    for (const std::size_t p : {std::size_t{0}, std::size_t{1000}, std::size_t{157 * 151 - 1}}) {
        EXPECT_NEAR(int(TIFFGetR(rgba[p])), samples[3 * p] >> 8, 1) << p;
        EXPECT_NEAR(int(TIFFGetB(rgba[p])), samples[3 * p + 2] >> 8, 1) << p;
    }
}

}  // namespace
}  // namespace quillon::imageio

namespace quillon::imageio {
namespace {

TEST(TiffRead, UnsignedSamplesDeclaredAsSuchAreRead) {
    TempDir dir;
    test::TiffIfd ifd = test::RgbIfd(4, 3, 3, 16);
    test::SetShort(ifd, 339, {1, 1, 1});
    const std::string path = dir.File("unsigned.tif");
    ASSERT_TRUE(
        testing::WriteBytes(path, test::BuildTiff(ifd, test::PatternPixels(4, 3, 3, 16), 3, 3)));
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0) << sink.Last();
    EXPECT_EQ(ImageBytes(image.input), test::PatternPixels(4, 3, 3, 16));
}

// Pixels the window turned upright need no orientation any more; pixels
// written as they stand (the quiet mode) still need the input's.
TEST(TiffWrite, OrientationIsTheOneThePixelsStillNeed) {
    TempDir dir;
    const RichTiff rich;
    const std::string path = dir.File("turned.tif");
    ASSERT_TRUE(testing::WriteBytes(path, BuildRichTiff(rich, 6, 4, 3, 8, rich.dateTimeOriginal)));
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0);
    CopyInputToOutput(image);
    ImageFileOptions options;
    ASSERT_EQ(SaveImageFile(path, image, options, sink).code(), 0);
    EXPECT_EQ(ReadTags(dir.File("turned_lc.tif")).orientation, 6);
    image.metadata.pixelsTurnedUpright = true;
    ASSERT_EQ(SaveImageFile(path, image, options, sink).code(), 0);
    EXPECT_EQ(ReadTags(dir.File("turned_lc.tif")).orientation, 1);
    // An input without the tag is upright.
    image.metadata.pixelsTurnedUpright = false;
    image.metadata.tiff.orientationFound = false;
    ASSERT_EQ(SaveImageFile(path, image, options, sink).code(), 0);
    EXPECT_EQ(ReadTags(dir.File("turned_lc.tif")).orientation, 1);
    EXPECT_EQ(sink.Count(), 0u);
}

// Writers declare the IPTC byte stream as LONGs; in a big-endian file libtiff
// hands every four bytes back reversed. The block must be kept and written as
// the file stores it, or captions and copyright come back scrambled.
TEST(TiffIptc, BlocksOfEitherByteOrderAreKeptAsStored) {
    const std::pair<const char*, const char*> samples[] = {
        {"photos/exiv2_Reagan.tiff", "U.S Navy Photographer"},      // big-endian, LONG
        {"photos/exiftool_ExifTool.tif", "The picture caption"},    // big-endian, LONG
        {"photos/exifr_tif-with-iptc-icc-xmp.tif", "064512+0000"},  // little-endian
    };
    for (const auto& [sample, text] : samples) {
        SCOPED_TRACE(sample);
        const Bytes original = testing::ReadBytes(testing::TestDataPath(sample));
        const test::RawDirectory main = test::ReadRawDirectory(original);
        ASSERT_TRUE(main.Has(33723));
        const Bytes stored = main.entries.at(33723).bytes;
        ASSERT_EQ(stored.at(0), 0x1C);  // every IPTC record starts so
        ASSERT_NE(std::search(stored.begin(), stored.end(), text, text + std::strlen(text)),
                  stored.end());

        TempDir dir;
        std::string input = dir.File("photo.tif");
        ASSERT_TRUE(testing::WriteBytes(input, original));
        platform::CapturingSink sink;
        ImageFileOptions options;
        for (int generation = 0; generation < 2; ++generation) {
            SCOPED_TRACE(generation);
            CurrentImage image;
            ASSERT_EQ(LoadImageFile(input, image, sink).code(), 0) << sink.Last();
            EXPECT_EQ(image.metadata.iptc, stored);
            CopyInputToOutput(image);
            ASSERT_EQ(SaveImageFile(input, image, options, sink).code(), 0) << sink.Last();
            input = OutputPathFor(input, options);
            const test::RawDirectory written = test::ReadRawDirectory(testing::ReadBytes(input));
            ASSERT_TRUE(written.Has(33723));
            EXPECT_EQ(written.entries.at(33723).bytes, stored);
        }
    }
}

// Compares two directories entry by entry in their meaning: types, counts and
// values, rationals by their quotient (libtiff keeps them as floating point and
// may write 56/10 back as 28/5).
void ExpectSameEntries(const test::RawDirectory& expected, const test::RawDirectory& actual) {
    EXPECT_EQ(actual.entries.size(), expected.entries.size());
    for (const auto& [tag, want] : expected.entries) {
        SCOPED_TRACE(tag);
        const auto found = actual.entries.find(tag);
        ASSERT_NE(found, actual.entries.end());
        const test::RawEntry& got = found->second;
        EXPECT_EQ(got.type, want.type);
        EXPECT_EQ(got.count, want.count);
        const Bytes a = test::LittleEndianValue(want, expected.bigEndian);
        const Bytes b = test::LittleEndianValue(got, actual.bigEndian);
        if (want.type != 5 && want.type != 10) {
            EXPECT_EQ(b, a);
            continue;
        }
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t at = 0; at + 8 <= a.size(); at += 8) {
            const auto quotient = [&](const Bytes& v) {
                std::int32_t n = 0;
                std::int32_t d = 0;
                std::memcpy(&n, v.data() + at, 4);  // little-endian machine
                std::memcpy(&d, v.data() + at + 4, 4);
                const bool isSigned = want.type == 10;
                const double num =
                    isSigned ? n : static_cast<double>(static_cast<std::uint32_t>(n));
                const double den =
                    isSigned ? d : static_cast<double>(static_cast<std::uint32_t>(d));
                return den == 0 ? 0.0 : num / den;
            };
            EXPECT_NEAR(quotient(b), quotient(a), 1e-6 * std::max(1.0, std::abs(quotient(a))));
        }
    }
}

// Exposure, focal length, dates, lens and maker data live in the EXIF
// directory, places in the GPS directory, and author and rights in the main
// one: all of it must survive two generations of writing.
TEST(TiffRoundTrip, ExifGpsAndDescriptiveTagsSurviveTwoGenerations) {
    for (const char* sample :
         {"photos/exifr_tif-with-iptc-icc-xmp.tif", "photos/exiv2_Reagan.tiff"}) {
        SCOPED_TRACE(sample);
        const Bytes original = testing::ReadBytes(testing::TestDataPath(sample));
        const test::RawDirectory main = test::ReadRawDirectory(original);
        test::RawDirectory exif = test::ReadRawSubDirectory(original, 34665);
        // libtiff 4.5 declares GainControl a RATIONAL where the standard and
        // every writer have a SHORT, and drops it while reading: no writer on
        // top of it can carry that one entry.
        exif.entries.erase(41991);
        const test::RawDirectory gps = test::ReadRawSubDirectory(original, 34853);
        ASSERT_GE(exif.entries.size(), 30u);

        TempDir dir;
        std::string input = dir.File("photo.tif");
        ASSERT_TRUE(testing::WriteBytes(input, original));
        platform::CapturingSink sink;
        ImageFileOptions options;
        std::vector<TiffEntry> firstExif;
        for (int generation = 0; generation < 2; ++generation) {
            SCOPED_TRACE(generation);
            CurrentImage image;
            ASSERT_EQ(LoadImageFile(input, image, sink).code(), 0) << sink.Last();
            if (generation == 0) firstExif = image.metadata.tiffTags.exifDirectory;
            EXPECT_EQ(image.metadata.tiffTags.exifDirectory.size(), firstExif.size());
            CopyInputToOutput(image);
            ASSERT_EQ(SaveImageFile(input, image, options, sink).code(), 0) << sink.Last();
            input = OutputPathFor(input, options);

            const Bytes written = testing::ReadBytes(input);
            ExpectSameEntries(exif, test::ReadRawSubDirectory(written, 34665));
            const test::RawDirectory writtenMain = test::ReadRawDirectory(written);
            EXPECT_EQ(writtenMain.Has(34853), main.Has(34853));
            if (main.Has(34853)) ExpectSameEntries(gps, test::ReadRawSubDirectory(written, 34853));
            for (const int tag : {270, 315, 33432, 34377}) {
                SCOPED_TRACE(tag);
                const auto key = static_cast<std::uint16_t>(tag);
                EXPECT_EQ(writtenMain.Has(key), main.Has(key));
                if (!main.Has(key)) continue;
                EXPECT_EQ(writtenMain.entries.at(key).bytes, main.entries.at(key).bytes);
            }
        }
        EXPECT_EQ(sink.Count(), 0u);
    }
}

// A directory of entries libtiff has no name for, in forms of every kind: they
// are carried as they were declared.
TEST(TiffRoundTrip, UnknownEntriesOfTheExifDirectoryAreCarried) {
    TempDir dir;
    test::TiffIfd exif;
    test::SetRationals(exif, 37386, {{50, 1}});
    test::SetAscii(exif, 0xC000, "vendor text");
    test::SetShort(exif, 0xC001, {1, 2, 3});
    test::SetRationals(exif, 0xC002, {{1, 3}, {5, 7}});
    test::SetBytes(exif, 0xC003, test::kUndefined, test::CountingBytes(40, 1));
    test::TiffIfd gps;
    test::SetBytes(gps, 0, test::kByte, {2, 3, 0, 0});
    test::SetAscii(gps, 1, "N");
    test::SetRationals(gps, 2, {{47, 1}, {30, 1}, {1234, 100}});
    const std::string path = dir.File("vendor.tif");
    ASSERT_TRUE(testing::WriteBytes(
        path,
        test::BuildTiff(test::RgbIfd(4, 3), test::PatternPixels(4, 3, 3, 8), 3, 3, exif, gps)));
    const Bytes original = testing::ReadBytes(path);
    platform::CapturingSink sink;
    CurrentImage image;
    ASSERT_EQ(LoadImageFile(path, image, sink).code(), 0) << sink.Last();
    CopyInputToOutput(image);
    ASSERT_EQ(SaveImageFile(path, image, ImageFileOptions{}, sink).code(), 0) << sink.Last();
    const Bytes written = testing::ReadBytes(dir.File("vendor_lc.tif"));
    ExpectSameEntries(test::ReadRawSubDirectory(original, 34665),
                      test::ReadRawSubDirectory(written, 34665));
    ExpectSameEntries(test::ReadRawSubDirectory(original, 34853),
                      test::ReadRawSubDirectory(written, 34853));
}

}  // namespace
}  // namespace quillon::imageio
