// JPEG files that are not what they declare: cut short, with damaged entropy
// data, declaring a huge image they do not hold, flooding the decoder with
// scans. Each is refused before a correction could write invented pixels over
// the photo, and without decoding what the file never held.

#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "imageio/image_file.h"
#include "imageio/jpeg_file.h"
#include "platform/message_sink.h"
#include "tests/imageio/imageio_test_files.h"
#include "tests/support/test_support.h"

namespace quillon::imageio {
namespace {

using test::Bytes;
using testing::TempDir;

Bytes EncodedJpeg(const TempDir& dir, std::int32_t width, std::int32_t height,
                  const std::function<void(jpeg_compress_struct&)>& configure = {}) {
    const std::string path = dir.File("encoded.jpg");
    EXPECT_TRUE(test::WriteTestJpeg(path, width, height, 3, test::SmoothPixels(width, height, 3),
                                    {}, 95, configure));
    return testing::ReadBytes(path);
}

// Where the entropy data of a single-scan file begins: after its SOS segment.
std::size_t ScanDataStart(const Bytes& file) {
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (file[at + 1] == 0xDA) return at + 2 + length;
        at += 2 + length;
    }
    return 0;
}

struct Outcome {
    int status = -99;
    std::string stderrText;  // what reached stderr: nothing may
    platform::CapturingSink sink;
    CurrentImage image;
};

void LoadFile(const std::string& path, Outcome& out, ReadScope scope = ReadScope::kWholeImage) {
    ::testing::internal::CaptureStderr();
    out.status = scope == ReadScope::kWholeImage
                     ? LoadImageFile(path, out.image, out.sink).code()
                     : LoadImageMetadata(path, out.image, out.sink).code();
    out.stderrText = ::testing::internal::GetCapturedStderr();
}

struct Damage {
    const char* name;
    void (*apply)(Bytes& file, std::size_t scanStart);
    const char* libraryText;
};

// Every damage leaves the header intact, so only the pixels are wrong; the
// library would go on and fill them with grey or noise. Its text is the one
// message, where a window shows it too.
TEST(JpegDamage, DamagedPixelDataIsRefusedWithTheLibrarysText) {
    const Damage damages[] = {
        {"cut inside the scan data",
         [](Bytes& f, std::size_t scan) { f.resize(scan + (f.size() - scan) / 2); },
         "Premature end of JPEG file"},
        {"end marker inside the scan data",
         [](Bytes& f, std::size_t scan) {
             f.resize(scan + (f.size() - scan) / 2);
             f.insert(f.end(), {0xFF, 0xD9});
         },
         "Corrupt JPEG data: premature end of data segment"},
        {"codes no table has",
         [](Bytes& f, std::size_t scan) {
             // Stuffed 0xFF bytes make a run of one-bits: the all-ones code is
             // never assigned.
             for (std::size_t i = scan + 20; i < scan + 60; i += 2) {
                 f[i] = 0xFF;
                 f[i + 1] = 0x00;
             }
         },
         "Corrupt JPEG data: bad Huffman code"},
    };
    TempDir dir;
    const Bytes clean = EncodedJpeg(dir, 64, 48);
    const std::size_t scan = ScanDataStart(clean);
    ASSERT_GT(scan, 0u);
    ASSERT_GT(clean.size(), scan + 100);
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        Bytes file = clean;
        damage.apply(file, scan);
        const std::string path = dir.File("damaged.jpg");
        ASSERT_TRUE(testing::WriteBytes(path, file));
        Outcome out;
        LoadFile(path, out);
        EXPECT_EQ(out.status, 2);
        ASSERT_EQ(out.sink.Count(), 1u);
        EXPECT_NE(out.sink.Last().find(damage.libraryText), std::string::npos) << out.sink.Last();
        EXPECT_EQ(out.stderrText, "");
        EXPECT_TRUE(out.image.blocks.source.empty());
        EXPECT_EQ(out.image.input.pixels, nullptr);
    }
}

// Junk between two header segments is skipped by the library with a note; the
// picture is complete, so the photo is read as if the junk were not there.
TEST(JpegDamage, ExtraneousBytesBeforeAMarkerAreHarmless) {
    TempDir dir;
    const Bytes clean = EncodedJpeg(dir, 32, 24);
    // Right after SOI and the 18-byte JFIF segment.
    ASSERT_EQ(clean[2], 0xFF);
    ASSERT_EQ(clean[3], 0xE0);
    Bytes junk = clean;
    junk.insert(junk.begin() + 20, {0x00, 0x11, 0x22});
    const std::string cleanPath = dir.File("clean.jpg");
    const std::string junkPath = dir.File("junk.jpg");
    ASSERT_TRUE(testing::WriteBytes(cleanPath, clean));
    ASSERT_TRUE(testing::WriteBytes(junkPath, junk));
    Outcome plain;
    LoadFile(cleanPath, plain);
    Outcome skipped;
    LoadFile(junkPath, skipped);
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(skipped.status, 0) << skipped.sink.Last();
    EXPECT_EQ(skipped.stderrText, "");
    EXPECT_EQ(skipped.sink.Count(), 0u);
    ASSERT_EQ(skipped.image.input.dataSize, plain.image.input.dataSize);
    EXPECT_EQ(std::memcmp(skipped.image.input.pixels, plain.image.input.pixels,
                          static_cast<std::size_t>(plain.image.input.dataSize)),
              0);
}

long MaxResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A few hundred bytes that declare 32767 x 32767 pixels: decoded to the end,
// the grey fill alone would touch 3 GB. The read must stop at the first damage,
// and a metadata read must not decode at all.
TEST(JpegDamage, AHugeDeclaredImageIsLeftAtItsFirstDamage) {
    TempDir dir;
    Bytes file = EncodedJpeg(dir, 16, 16);
    const std::size_t scan = ScanDataStart(file);
    ASSERT_GT(scan, 0u);
    // The frame header: FF C0, length, precision, height, width.
    const std::uint8_t sofMarker[] = {0xFF, 0xC0};
    const auto sof =
        std::search(file.begin(), file.end(), std::begin(sofMarker), std::end(sofMarker));
    ASSERT_NE(sof, file.end());
    for (const std::size_t at : {std::size_t{5}, std::size_t{7}}) {
        sof[static_cast<std::ptrdiff_t>(at)] = 0x7F;
        sof[static_cast<std::ptrdiff_t>(at + 1)] = 0xFF;
    }
    file.resize(std::min(file.size(), scan + 40));
    const std::string path = dir.File("huge.jpg");
    ASSERT_TRUE(testing::WriteBytes(path, file));

    const long before = MaxResidentKilobytes();
    Outcome whole;
    LoadFile(path, whole);
    EXPECT_EQ(whole.status, 2);
    EXPECT_EQ(whole.sink.Last(), "Premature end of JPEG file");
    EXPECT_TRUE(whole.image.blocks.source.empty());

    Outcome metadata;
    LoadFile(path, metadata, ReadScope::kMetadataOnly);
    EXPECT_EQ(metadata.status, 0) << metadata.sink.Last();
    EXPECT_TRUE(metadata.image.blocks.source.empty());
    EXPECT_TRUE(metadata.image.blocks.work.empty());
    // Far below the 3 GB a full decode would have written. (A few megabytes
    // in a plain build; the address sanitizer's bookkeeping of the reserved
    // blocks alone takes some 400 MB.)
    EXPECT_LT(MaxResidentKilobytes() - before, 1024L * 1024);
}

// One more AC scan of the first component: a Huffman table whose only code, a
// single 0 bit, means "end of block", and a data byte holding that code for the
// one 8 x 8 block of an 8 x 8 image at 4:4:4. A valid scan that changes nothing.
Bytes EmptyScans(int count) {
    Bytes out = {0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01};
    out.insert(out.end(), 15, 0x00);
    out.push_back(0x00);
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3F, 0x00, 0x7F});
    }
    return out;
}

int CountScans(const Bytes& file) {
    int n = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) n += file[i] == 0xFF && file[i + 1] == 0xDA;
    return n;
}

TEST(JpegDamage, AFloodOfScansIsRefusedPastTheLimit) {
    TempDir dir;
    const Bytes progressive = EncodedJpeg(dir, 8, 8, [](jpeg_compress_struct& cinfo) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
        jpeg_simple_progression(&cinfo);
    });
    const int ownScans = CountScans(progressive);
    ASSERT_GT(ownScans, 1);
    ASSERT_EQ(progressive[progressive.size() - 2], 0xFF);
    ASSERT_EQ(progressive.back(), 0xD9);
    for (const int total : {kMaxJpegScans, kMaxJpegScans + 1, 20 * kMaxJpegScans}) {
        SCOPED_TRACE(total);
        Bytes file = progressive;
        const Bytes extra = EmptyScans(total - ownScans);
        file.insert(file.end() - 2, extra.begin(), extra.end());
        ASSERT_EQ(CountScans(file), total);
        const std::string path = dir.File("flood.jpg");
        ASSERT_TRUE(testing::WriteBytes(path, file));
        Outcome out;
        LoadFile(path, out);
        if (total <= kMaxJpegScans) {
            // The scans are valid: the library has nothing to warn about.
            EXPECT_EQ(out.status, 0) << out.sink.Last();
            EXPECT_EQ(out.stderrText, "");
            EXPECT_EQ(out.sink.Count(), 0u);
        } else {
            EXPECT_EQ(out.status, 2);
            EXPECT_EQ(out.sink.Last(), "JPEG file has too many scans (more than 500)");
            EXPECT_EQ(out.sink.Count(), 1u);
            EXPECT_TRUE(out.image.blocks.source.empty());
        }
    }
}

}  // namespace
}  // namespace quillon::imageio
