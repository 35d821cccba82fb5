#include "imageio/jpeg_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "imageio/image_file.h"
#include "imageio/jpeg_markers.h"
#include "platform/message_sink.h"
#include "tests/imageio/imageio_test_files.h"
#include "tests/support/test_support.h"

namespace quillon::imageio {
namespace {

using test::Bytes;
using test::Segment;
using testing::TempDir;

constexpr int kApp0 = 0xE0;
constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;
constexpr int kApp13 = 0xED;

const Bytes kXmp = test::BytesOf(std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                                 "<x:xmpmeta>aux:Lens=\"17-40\"</x:xmpmeta>");

Bytes IptcBlock(std::uint8_t tag) {
    Bytes b = test::BytesOf(std::string("Photoshop 3.0\0", 14));
    Bytes body = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 4, 0x1C, 0x02, tag, 0};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

void CopyInputToOutput(CurrentImage& image) {
    std::memcpy(image.output.pixels, image.input.pixels,
                static_cast<std::size_t>(image.input.dataSize));
}

// Mean absolute difference: JPEG is lossy, but a smooth image comes back close.
double MeanDifference(const ImageBuffer& image, const Bytes& expected) {
    double sum = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        sum += std::abs(int{image.pixels[i]} - int{expected[i]});
    }
    return sum / static_cast<double>(expected.size());
}

std::vector<int> MarkerOrder(const std::vector<Segment>& segments) {
    std::vector<int> order;
    for (const Segment& s : segments) {
        if (s.marker >= kApp0 && s.marker <= 0xEF) order.push_back(s.marker);
    }
    return order;
}

std::vector<Segment> SegmentsOf(const std::string& path) {
    return test::JpegSegments(testing::ReadBytes(path));
}

std::vector<Segment> IccChunksOf(const std::string& path) {
    std::vector<Segment> chunks;
    for (const Segment& s : SegmentsOf(path)) {
        if (s.marker == kApp2) chunks.push_back(s);
    }
    return chunks;
}

struct Loaded {
    int status = -99;
    platform::CapturingSink sink;
    CurrentImage image;
};

void Load(const std::string& path, Loaded& out) {
    out.status = LoadImageFile(path, out.image, out.sink).code();
}

TEST(JpegRoundTrip, BlocksStayByteIdenticalOverTwoGenerationsInTheirOrder) {
    TempDir dir;
    const std::string source = dir.File("photo.jpg");
    const Bytes icc = test::CountingBytes(70000, 3);  // three chunks of 32754 on writing
    const Bytes exif = test::ExifBlock(false, 6, 'e');
    const Bytes pixels = test::SmoothPixels(48, 32, 3);
    // Input order differs from the output order, and the profile is split
    // differently (two chunks of 35000), so nothing passes by copying the file.
    const Bytes share1(icc.begin(), icc.begin() + 35000);
    const Bytes share2(icc.begin() + 35000, icc.end());
    ASSERT_TRUE(test::WriteTestJpeg(source, 48, 32, 3, pixels,
                                    {{kApp1, kXmp},
                                     {kApp2, test::IccChunk(2, 2, share2)},
                                     {kApp13, IptcBlock(5)},
                                     {kApp2, test::IccChunk(1, 2, share1)},
                                     {kApp1, exif}}));
    ImageFileOptions options;
    std::string input = source;
    for (int generation = 0; generation < 2; ++generation) {
        SCOPED_TRACE(generation);
        Loaded loaded;
        Load(input, loaded);
        ASSERT_EQ(loaded.status, 0) << loaded.sink.Last();
        const ImageMetadata& m = loaded.image.metadata;
        EXPECT_EQ(m.fileKind, FileKind::kJpeg);
        EXPECT_EQ(m.exif, exif);
        EXPECT_EQ(m.xmp, kXmp);
        EXPECT_EQ(m.iptc, IptcBlock(5));
        EXPECT_EQ(m.icc, icc);
        EXPECT_EQ(loaded.image.input.width, 48);
        EXPECT_EQ(loaded.image.input.bitsPerPixel, 24);
        EXPECT_LT(MeanDifference(loaded.image.input, pixels), 3.0);
        CopyInputToOutput(loaded.image);
        ASSERT_EQ(SaveImageFile(input, loaded.image, options, loaded.sink).code(), 0);
        input = OutputPathFor(input, options);

        const auto segments = SegmentsOf(input);
        EXPECT_EQ(MarkerOrder(segments),
                  (std::vector<int>{kApp0, kApp1, kApp13, kApp2, kApp2, kApp2, kApp1}));
        ASSERT_FALSE(segments.empty());
        EXPECT_EQ(Bytes(segments[0].payload.begin(), segments[0].payload.begin() + 5),
                  test::BytesOf(std::string("JFIF\0", 5)));
        const auto chunks = IccChunksOf(input);
        ASSERT_EQ(chunks.size(), 3u);
        EXPECT_EQ(chunks[0].payload, test::IccChunk(1, 3, Bytes(icc.begin(), icc.begin() + 32754)));
        EXPECT_EQ(chunks[2].payload.size(), 14u + 70000u - 2u * 32754u);
        EXPECT_EQ(loaded.sink.Count(), 0u);
    }
}

TEST(JpegWrite, WritesOnlyTheJfifHeaderWhenNothingIsCarried) {
    TempDir dir;
    const std::string source = dir.File("bare.jpeg");
    ASSERT_TRUE(test::WriteTestJpeg(source, 8, 8, 3, test::SmoothPixels(8, 8, 3)));
    Loaded loaded;
    Load(source, loaded);
    ASSERT_EQ(loaded.status, 0);
    CopyInputToOutput(loaded.image);
    ASSERT_EQ(SaveImageFile(source, loaded.image, ImageFileOptions{}, loaded.sink).code(), 0);
    EXPECT_EQ(MarkerOrder(SegmentsOf(dir.File("bare_lc.jpeg"))), std::vector<int>{kApp0});
}

// The first quantisation value of the luminance table is 16 in the standard
// table (quality 50) and 1 at quality 100; other qualities scale it.
int FirstLuminanceQuantiser(const std::string& path) {
    for (const Segment& s : SegmentsOf(path)) {
        if (s.marker == 0xDB && s.payload.size() >= 2 && (s.payload[0] & 0x0F) == 0) {
            return s.payload[1];
        }
    }
    return -1;
}

TEST(JpegWrite, UsesTheQualitySetting) {
    TempDir dir;
    const std::string source = dir.File("q.jpg");
    ASSERT_TRUE(test::WriteTestJpeg(source, 16, 16, 3, test::SmoothPixels(16, 16, 3)));
    Loaded loaded;
    Load(source, loaded);
    ASSERT_EQ(loaded.status, 0);
    CopyInputToOutput(loaded.image);
    ImageFileOptions options;
    options.interactiveMode = false;
    for (const auto& [quality, expected] : {std::pair{50, 16}, std::pair{100, 1}, std::pair{25, 32},
                                            std::pair{150, 1}, std::pair{0, 255}}) {
        SCOPED_TRACE(quality);
        options.jpegQuality = quality;
        ASSERT_EQ(SaveImageFile(source, loaded.image, options, loaded.sink).code(), 0);
        EXPECT_EQ(FirstLuminanceQuantiser(source), expected);
    }
}

TEST(JpegRead, KeepsTheLastExifAndXmpAndTheFirstIptc) {
    TempDir dir;
    const std::string path = dir.File("many.jpg");
    const Bytes xmp2 = [] {
        Bytes b = kXmp;
        b.push_back('2');
        return b;
    }();
    ASSERT_TRUE(test::WriteTestJpeg(path, 8, 8, 3, test::SmoothPixels(8, 8, 3),
                                    {{kApp1, test::ExifBlock(false, 1, '1')},
                                     {kApp1, kXmp},
                                     {kApp13, IptcBlock(1)},
                                     {kApp1, test::ExifBlock(true, 1, '2')},
                                     {kApp13, IptcBlock(2)},
                                     {kApp1, xmp2},
                                     // Too short to be taken for EXIF or IPTC.
                                     {kApp1, test::BytesOf("Exif\0\0short")},
                                     {kApp13, test::BytesOf("Photoshop 3.")}}));
    Loaded loaded;
    Load(path, loaded);
    ASSERT_EQ(loaded.status, 0);
    EXPECT_EQ(loaded.image.metadata.exif, test::ExifBlock(true, 1, '2'));
    EXPECT_EQ(loaded.image.metadata.xmp, xmp2);
    EXPECT_EQ(loaded.image.metadata.iptc, IptcBlock(1));
    EXPECT_EQ(loaded.image.metadata.XmpText().substr(29),
              "<x:xmpmeta>aux:Lens=\"17-40\"</x:xmpmeta>2");

    CopyInputToOutput(loaded.image);
    ASSERT_EQ(SaveImageFile(path, loaded.image, ImageFileOptions{}, loaded.sink).code(), 0);
    int exifCount = 0;
    for (const Segment& s : SegmentsOf(dir.File("many_lc.jpg"))) {
        if (s.marker == kApp1 && s.payload == test::ExifBlock(true, 1, '2')) ++exifCount;
        EXPECT_NE(s.payload, test::ExifBlock(false, 1, '1'));
    }
    EXPECT_EQ(exifCount, 1);
}

// ICC chunk sets, each written into a JPEG and read back; a broken set gives
// no profile and the output then has no APP2 at all.
struct IccCase {
    const char* name;
    std::vector<Bytes> chunks;
    Bytes expected;  // empty = no profile
};

TEST(JpegIcc, JoinsValidChunkSetsAndDropsBrokenOnes) {
    const Bytes a = test::CountingBytes(100, 1);
    const Bytes b = test::CountingBytes(50, 2);
    const Bytes c = test::CountingBytes(7, 3);
    Bytes abc = a;
    abc.insert(abc.end(), b.begin(), b.end());
    abc.insert(abc.end(), c.begin(), c.end());
    const IccCase cases[] = {
        {"three chunks out of order",
         {test::IccChunk(3, 3, c), test::IccChunk(1, 3, a), test::IccChunk(2, 3, b)},
         abc},
        {"one chunk", {test::IccChunk(1, 1, a)}, a},
        {"missing number", {test::IccChunk(1, 3, a), test::IccChunk(3, 3, c)}, {}},
        {"duplicate number",
         {test::IccChunk(1, 3, a), test::IccChunk(1, 3, b), test::IccChunk(3, 3, c)},
         {}},
        {"number zero", {test::IccChunk(0, 2, a), test::IccChunk(1, 2, b)}, {}},
        {"number above total", {test::IccChunk(1, 1, a), test::IccChunk(2, 1, b)}, {}},
        {"totals disagree", {test::IccChunk(1, 2, a), test::IccChunk(2, 3, b)}, {}},
        {"no bytes", {test::IccChunk(1, 1, {})}, {}},
        {"total zero", {test::IccChunk(0, 0, a)}, {}},
        {"header cut short", {test::BytesOf(std::string("ICC_PROFILE\0\1", 13))}, {}},
    };
    TempDir dir;
    for (const IccCase& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<Segment> segments;
        for (const Bytes& chunk : k.chunks) segments.push_back({kApp2, chunk});
        const std::string path = dir.File("icc.jpg");
        ASSERT_TRUE(test::WriteTestJpeg(path, 8, 8, 3, test::SmoothPixels(8, 8, 3), segments));
        Loaded loaded;
        Load(path, loaded);
        ASSERT_EQ(loaded.status, 0);
        EXPECT_EQ(loaded.image.metadata.icc, k.expected);
        CopyInputToOutput(loaded.image);
        ASSERT_EQ(SaveImageFile(path, loaded.image, ImageFileOptions{}, loaded.sink).code(), 0);
        const auto written = IccChunksOf(dir.File("icc_lc.jpg"));
        EXPECT_EQ(written.size(), k.expected.empty() ? 0u : 1u);
        EXPECT_EQ(loaded.sink.Count(), 0u);
    }
}

TEST(JpegIcc, SplitsAtExactly32754Bytes) {
    TempDir dir;
    for (const std::size_t size : {std::size_t{32754}, std::size_t{32755}}) {
        SCOPED_TRACE(size);
        const Bytes profile = test::CountingBytes(size, 7);
        const std::string path = dir.File("split.jpg");
        ASSERT_TRUE(test::WriteTestJpeg(path, 8, 8, 3, test::SmoothPixels(8, 8, 3),
                                        {{kApp2, test::IccChunk(1, 1, profile)}}));
        Loaded loaded;
        Load(path, loaded);
        ASSERT_EQ(loaded.status, 0);
        CopyInputToOutput(loaded.image);
        ASSERT_EQ(SaveImageFile(path, loaded.image, ImageFileOptions{}, loaded.sink).code(), 0);
        const auto chunks = IccChunksOf(dir.File("split_lc.jpg"));
        if (size == 32754) {
            ASSERT_EQ(chunks.size(), 1u);
            EXPECT_EQ(chunks[0].payload, test::IccChunk(1, 1, profile));
        } else {
            ASSERT_EQ(chunks.size(), 2u);
            EXPECT_EQ(chunks[0].payload,
                      test::IccChunk(1, 2, Bytes(profile.begin(), profile.begin() + 32754)));
            EXPECT_EQ(chunks[1].payload,
                      test::IccChunk(2, 2, Bytes(profile.end() - 1, profile.end())));
        }
        Loaded again;
        Load(dir.File("split_lc.jpg"), again);
        EXPECT_EQ(again.image.metadata.icc, profile);
    }
}

TEST(JpegRead, RefusesImagesThatAreNotRgb) {
    TempDir dir;
    for (const int components : {1, 4}) {
        SCOPED_TRACE(components);
        const std::string path = dir.File("notrgb.jpg");
        ASSERT_TRUE(
            test::WriteTestJpeg(path, 8, 8, components, test::SmoothPixels(8, 8, components)));
        Loaded loaded;
        Load(path, loaded);
        EXPECT_EQ(loaded.status, 2);
        EXPECT_EQ(loaded.sink.Last(), "Image must be rgb");
        EXPECT_EQ(loaded.sink.Count(), 1u);
        EXPECT_TRUE(loaded.image.blocks.source.empty());
    }
    for (const char* sample :
         {"photos/exiv2_exiv2-bug1231b.jpg", "photos/pillow_pil_sample_cmyk.jpg"}) {
        SCOPED_TRACE(sample);
        Loaded loaded;
        Load(testing::TestDataPath(sample), loaded);
        EXPECT_EQ(loaded.status, 2);
        EXPECT_EQ(loaded.sink.Last(), "Image must be rgb");
    }
}

TEST(JpegRead, MissingFileShowsThePathThenTheSystemText) {
    Loaded loaded;
    Load("/nonexistent/folder/x.jpg", loaded);
    EXPECT_EQ(loaded.status, 2);
    const auto messages = loaded.sink.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Can't open /nonexistent/folder/x.jpg for reading");
    EXPECT_EQ(messages[1].text, std::strerror(ENOENT));
}

// The library's text is the one message: a window shows it as the program
// prints it.
TEST(JpegRead, CorruptDataFailsWithTheLibrarysTextOnce) {
    TempDir dir;
    const std::string tiffNamedJpg = dir.File("really_a_tiff.jpg");
    ASSERT_TRUE(testing::WriteBytes(
        tiffNamedJpg, testing::ReadBytes(testing::TestDataPath("photos/libtiff_rgb-3c-8b.tiff"))));
    const std::string cut = dir.File("cut.jpg");
    Bytes head = testing::ReadBytes(testing::TestDataPath("photos/exiftool_Canon.jpg"));
    head.resize(300);  // inside the EXIF segment: the header never completes
    ASSERT_TRUE(testing::WriteBytes(cut, head));
    const std::pair<std::string, std::string> cases[] = {
        {tiffNamedJpg, "Not a JPEG file: starts with 0x4d 0x4d"},
        {cut, "Premature end of JPEG file"},
    };
    for (const auto& [path, text] : cases) {
        SCOPED_TRACE(path);
        Loaded loaded;
        ::testing::internal::CaptureStderr();
        Load(path, loaded);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(loaded.status, 2);
        ASSERT_EQ(loaded.sink.Count(), 1u);
        EXPECT_EQ(loaded.sink.Last(), text);
        EXPECT_TRUE(loaded.image.blocks.source.empty());
        EXPECT_TRUE(loaded.image.metadata.exif.empty());
    }
}

TEST(JpegRead, RefusesSidesAboveTheLimitBeforeAllocating) {
    TempDir dir;
    const std::string path = dir.File("wide.jpg");
    ASSERT_TRUE(test::WriteTestJpeg(path, 40000, 1, 3, test::SmoothPixels(40000, 1, 3)));
    Loaded loaded;
    Load(path, loaded);
    EXPECT_EQ(loaded.status, 2);
    EXPECT_EQ(loaded.sink.Last(), "Image too large: 40000 x 1 pixels (at most 32767 per side)");
}

TEST(JpegWrite, OpenFailureShowsThePathThenTheSystemText) {
    TempDir dir;
    const std::string source = dir.File("s.jpg");
    ASSERT_TRUE(test::WriteTestJpeg(source, 8, 8, 3, test::SmoothPixels(8, 8, 3)));
    Loaded loaded;
    Load(source, loaded);
    ASSERT_EQ(loaded.status, 0);
    const std::string target = dir.File("missing-folder/out.jpg");
    EXPECT_EQ(
        WriteJpegFile(loaded.image.output, loaded.image.metadata, target, 90, loaded.sink).code(),
        -1);
    const auto messages = loaded.sink.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Can't open " + target + " for writing");
    EXPECT_EQ(messages[1].text, std::strerror(ENOENT));
}

// Real files: what ExifTool reports about them (truth.csv) must match what the
// reader keeps.
struct TruthRow {
    std::string file;
    int width = 0, height = 0, samples = 0;
    std::size_t iccBytes = 0;
    bool hasXmp = false, hasIptc = false;
};

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (const char ch : line) {
        if (ch == '"') {
            quoted = !quoted;
        } else if (ch == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back().push_back(ch);
        }
    }
    return fields;
}

std::vector<TruthRow> JpegTruth() {
    const Bytes bytes = testing::ReadBytes(testing::TestDataPath("photos/truth.csv"));
    const std::string text(bytes.begin(), bytes.end());
    std::vector<TruthRow> rows;
    std::vector<std::string> header;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const auto fields = SplitCsvLine(text.substr(at, end - at));
        at = end + 1;
        if (header.empty()) {
            header = fields;
            continue;
        }
        auto get = [&](const std::string& name) -> std::string {
            for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i) {
                if (header[i] == name) return fields[i];
            }
            return {};
        };
        const std::string file = get("file");
        if (file.size() < 4 || file.substr(file.size() - 4) != ".jpg") continue;
        TruthRow row;
        row.file = file;
        row.width = std::atoi(get("width").c_str());
        row.height = std::atoi(get("height").c_str());
        row.samples = std::atoi(get("samples_per_pixel").c_str());
        row.iccBytes = static_cast<std::size_t>(std::atol(get("icc_bytes").c_str()));
        row.hasXmp = get("has_xmp") == "1";
        row.hasIptc = get("has_iptc") == "1";
        rows.push_back(row);
    }
    return rows;
}

TEST(JpegRead, SamplePhotosMatchTheirRecordedProperties) {
    const auto rows = JpegTruth();
    ASSERT_GE(rows.size(), 25u);
    for (const TruthRow& row : rows) {
        SCOPED_TRACE(row.file);
        Loaded loaded;
        Load(testing::TestDataPath("photos/" + row.file), loaded);
        if (row.samples != 3) {
            EXPECT_EQ(loaded.status, 2);
            EXPECT_EQ(loaded.sink.Last(), "Image must be rgb");
            continue;
        }
        ASSERT_EQ(loaded.status, 0);
        EXPECT_EQ(loaded.image.input.width, row.width);
        EXPECT_EQ(loaded.image.input.height, row.height);
        EXPECT_EQ(loaded.image.metadata.icc.size(), row.iccBytes);
        EXPECT_EQ(!loaded.image.metadata.xmp.empty(), row.hasXmp);
        // ExifTool counts IPTC records; the carried APP13 block may hold other
        // image resources only, so only one direction is certain.
        if (row.hasIptc) {
            EXPECT_FALSE(loaded.image.metadata.iptc.empty());
        }
    }
}

TEST(JpegRead, MultiChunkProfileOfASamplePhotoIsWrittenBackWhole) {
    TempDir dir;
    const std::string path = dir.File("big_icc.jpg");
    ASSERT_TRUE(testing::WriteBytes(
        path, testing::ReadBytes(testing::TestDataPath("photos/pillow_icc_profile_big.jpg"))));
    Loaded loaded;
    Load(path, loaded);
    ASSERT_EQ(loaded.status, 0);
    ASSERT_EQ(loaded.image.metadata.icc.size(), 399788u);
    // The profile's own header records its size (big-endian, first 4 bytes).
    const auto& icc = loaded.image.metadata.icc;
    EXPECT_EQ(std::uint32_t{icc[0]} << 24 | std::uint32_t{icc[1]} << 16 |
                  std::uint32_t{icc[2]} << 8 | icc[3],
              399788u);
    CopyInputToOutput(loaded.image);
    ASSERT_EQ(SaveImageFile(path, loaded.image, ImageFileOptions{}, loaded.sink).code(), 0);
    EXPECT_EQ(IccChunksOf(dir.File("big_icc_lc.jpg")).size(), (399788u + 32753u) / 32754u);
    Loaded again;
    Load(dir.File("big_icc_lc.jpg"), again);
    EXPECT_EQ(again.image.metadata.icc, icc);
}

}  // namespace
}  // namespace quillon::imageio

namespace quillon::imageio {
namespace {

// The sampling factors of each component in a file's frame header (high nibble
// horizontal, low vertical).
std::vector<int> SamplingOf(const std::string& path) {
    for (const Segment& s : SegmentsOf(path)) {
        if (s.marker < 0xC0 || s.marker > 0xC2 || s.payload.size() < 6) continue;
        std::vector<int> factors;
        for (std::size_t c = 0; c < s.payload[5] && 8 + 3 * c < s.payload.size(); ++c) {
            factors.push_back(s.payload[7 + 3 * c]);
        }
        return factors;
    }
    return {};
}

std::function<void(jpeg_compress_struct&)> LumaSampling(int h, int v) {
    return [h, v](jpeg_compress_struct& cinfo) {
        cinfo.comp_info[0].h_samp_factor = h;
        cinfo.comp_info[0].v_samp_factor = v;
    };
}

// A re-encode at 4:2:0 throws away half or three quarters of the colour of a
// photo that had it; full and horizontal-only chroma are kept, anything else
// falls back to the usual 4:2:0.
TEST(JpegWrite, KeepsTheInputsChromaResolution) {
    struct Case {
        const char* name;
        int h, v;
        std::vector<int> written;
    };
    const Case cases[] = {
        {"4:4:4", 1, 1, {0x11, 0x11, 0x11}},
        {"4:2:2", 2, 1, {0x21, 0x11, 0x11}},
        {"4:2:0", 2, 2, {0x22, 0x11, 0x11}},
        {"4:4:0", 1, 2, {0x22, 0x11, 0x11}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string input = dir.File("sampled.jpg");
        ASSERT_TRUE(test::WriteTestJpeg(input, 32, 16, 3, test::SmoothPixels(32, 16, 3), {}, 95,
                                        LumaSampling(c.h, c.v)));
        ASSERT_EQ(SamplingOf(input), (std::vector<int>{c.h << 4 | c.v, 0x11, 0x11}));
        ImageFileOptions options;
        for (int generation = 0; generation < 2; ++generation) {
            Loaded loaded;
            Load(input, loaded);
            ASSERT_EQ(loaded.status, 0);
            CopyInputToOutput(loaded.image);
            ASSERT_EQ(SaveImageFile(input, loaded.image, options, loaded.sink).code(), 0);
            input = OutputPathFor(input, options);
            EXPECT_EQ(SamplingOf(input), c.written);
        }
    }
}

struct Density {
    int unit = 0, x = 0, y = 0;
    bool operator==(const Density&) const = default;
};

Density JfifDensityOf(const std::string& path) {
    for (const Segment& s : SegmentsOf(path)) {
        if (s.marker != kApp0 || s.payload.size() < 12) continue;
        const auto& p = s.payload;
        return {p[7], p[8] << 8 | p[9], p[10] << 8 | p[11]};
    }
    return {-1, -1, -1};
}

// The JFIF density is the photo's print size: 72 dpi must not become "1:1".
TEST(JpegWrite, KeepsTheJfifDensity) {
    struct Case {
        const char* name;
        std::function<void(jpeg_compress_struct&)> configure;
        Density written;
    };
    const auto density = [](int unit, int x, int y) {
        return [=](jpeg_compress_struct& cinfo) {
            cinfo.density_unit = static_cast<UINT8>(unit);
            cinfo.X_density = static_cast<UINT16>(x);
            cinfo.Y_density = static_cast<UINT16>(y);
        };
    };
    const Case cases[] = {
        {"72 dpi", density(1, 72, 72), {1, 72, 72}},
        {"per centimetre, not square", density(2, 118, 59), {2, 118, 59}},
        {"aspect ratio only", density(0, 3, 2), {0, 3, 2}},
        // Nothing to keep: the encoder's default.
        {"no JFIF segment",
         [](jpeg_compress_struct& cinfo) { cinfo.write_JFIF_header = FALSE; },
         {0, 1, 1}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir.File("dense.jpg");
        ASSERT_TRUE(test::WriteTestJpeg(input, 8, 8, 3, test::SmoothPixels(8, 8, 3),
                                        {{kApp1, test::ExifBlock(false, 1)}}, 95, c.configure));
        Loaded loaded;
        Load(input, loaded);
        ASSERT_EQ(loaded.status, 0);
        CopyInputToOutput(loaded.image);
        ASSERT_EQ(SaveImageFile(input, loaded.image, ImageFileOptions{}, loaded.sink).code(), 0);
        EXPECT_EQ(JfifDensityOf(dir.File("dense_lc.jpg")), c.written);
    }
}

Bytes ExtendedXmp(std::uint32_t offset, const std::string& part) {
    Bytes b = test::BytesOf(std::string("http://ns.adobe.com/xmp/extension/\0", 35));
    const Bytes guid = test::BytesOf("0123456789ABCDEF0123456789ABCDEF");
    b.insert(b.end(), guid.begin(), guid.end());
    for (const std::uint32_t v : {std::uint32_t{1000}, offset}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            b.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    const Bytes data = test::BytesOf(part);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// Comments and the parts of an XMP packet too long for one segment are carried
// whole, in their order, after the standard packet that refers to them; other
// APP1 segments are not.
TEST(JpegWrite, CarriesCommentsAndExtendedXmpInFileOrder) {
    TempDir dir;
    const Bytes exif = test::ExifBlock(true, 1);
    const Bytes partA = ExtendedXmp(0, "<rdf:Description first half");
    const Bytes partB = ExtendedXmp(28, " second half/>");
    const std::vector<Segment> input = {
        {0xFE, test::BytesOf("first comment")},
        {kApp1, partA},
        {kApp1, kXmp},
        {kApp1, test::BytesOf("SomethingElse\0 not carried")},
        {0xFE, test::BytesOf("second comment")},
        {kApp1, partB},
        {kApp1, exif},
    };
    std::string path = dir.File("notes.jpg");
    ASSERT_TRUE(test::WriteTestJpeg(path, 8, 8, 3, test::SmoothPixels(8, 8, 3), input));
    const std::vector<std::pair<int, Bytes>> expected = {
        {kApp1, exif},
        {kApp1, kXmp},
        {0xFE, test::BytesOf("first comment")},
        {kApp1, partA},
        {0xFE, test::BytesOf("second comment")},
        {kApp1, partB},
    };
    ImageFileOptions options;
    for (int generation = 0; generation < 2; ++generation) {
        SCOPED_TRACE(generation);
        Loaded loaded;
        Load(path, loaded);
        ASSERT_EQ(loaded.status, 0);
        CopyInputToOutput(loaded.image);
        ASSERT_EQ(SaveImageFile(path, loaded.image, options, loaded.sink).code(), 0);
        path = OutputPathFor(path, options);
        std::vector<std::pair<int, Bytes>> written;
        for (const Segment& s : SegmentsOf(path)) {
            if (s.marker == kApp1 || s.marker == 0xFE) written.emplace_back(s.marker, s.payload);
        }
        EXPECT_EQ(written, expected);
    }
}

}  // namespace
}  // namespace quillon::imageio
