// The program from command line to exit code, on real photos and the default
// lens database the build generates.

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "imageio/image_file.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/language_dialog.h"
#include "tests/support/test_support.h"

namespace quillon::app {
namespace {

using platform::StoredValue;

class RecordingBusy final : public BusyIndicator {
  public:
    int Run(std::string_view text, const std::function<int(engine::WorkProgress&)>& work) override {
        opened.emplace_back(text);
        engine::WorkProgress progress;
        const int result = work(progress);
        stages = progress.Stages();
        return result;
    }
    std::vector<std::string> opened;
    int stages = 0;  // of the correction's progress
};

// One program run with settings kept in memory and the database of the build.
class ProgramRun {
  public:
    explicit ProgramRun(std::vector<StoredValue> userValues = {})
        : user(std::move(userValues)),
          machine({StoredValue::String("Root", QUILLON_TEST_ROOT_DIR)}) {}

    int Run(const std::vector<std::string>& args) {
        const ProgramEnvironment env{sink, user, machine, prompt, busy, {}};
        return RunProgram(args, env);
    }

    platform::CapturingSink sink;
    platform::MemorySettingsStore user;
    platform::MemorySettingsStore machine;
    settings::NoDisplayLanguagePrompt prompt;
    RecordingBusy busy;
};

std::string Copy(const testing::TempDir& dir, const std::string& photo,
                 const std::string& name = {}) {
    const std::string target = dir.File(name.empty() ? photo : name);
    EXPECT_TRUE(
        testing::WriteBytes(target, testing::ReadBytes(testing::TestDataPath("photos/" + photo))));
    return target;
}

CurrentImage Load(const std::string& path) {
    platform::CapturingSink sink;
    CurrentImage image;
    EXPECT_EQ(imageio::LoadImageFile(path, image, sink).code(), 0) << sink.Last();
    return image;
}

TEST(QuietModeTest, CommandLineFaultsEndWithTheirMessageAndExitCode) {
    testing::TempDir dir;
    const std::string a = Copy(dir, "mdx_Issue_339.jpg");
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"-q", a, a}, "Only one file may be specified with the -q option"},
        {{"-Q"}, "Only one file may be specified with the -q option"},
        {{"-q", "photo.png"}, "Quillon: error, file must be jpg or tif: photo.png"},
        {{"-q", dir.File("missing.jpg")},
         "Quillon: error, file not found: " + dir.File("missing.jpg")},
        {{"-q", dir.File("noSuffix")},
         "Quillon: error, file has no suffix: " + dir.File("noSuffix")},
        {{"-Q", "-x", a}, UnknownOptionText("-x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        ProgramRun run;
        EXPECT_EQ(run.Run(c.args), 1);
        EXPECT_EQ(run.sink.Last(), c.message);
    }
}

// Two files with -q fail before anything else is loaded or stored.
TEST(QuietModeTest, TooManyFilesStoresNothing) {
    ProgramRun run;
    EXPECT_EQ(run.Run({"-q", "a.jpg", "b.jpg"}), 1);
    EXPECT_TRUE(run.user.Values().empty());
}

TEST(QuietModeTest, RecognisedJpegIsCorrectedInPlaceWithItsMetadata) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "mdx_Issue_339.jpg");
    const CurrentImage before = Load(path);
    ProgramRun run;
    EXPECT_EQ(run.Run({"-q", path}), 0) << run.sink.Last();
    EXPECT_EQ(run.busy.opened, std::vector<std::string>{"Correcting mdx_Issue_339.jpg"});
    // The correction ran while the note was shown, and reported its remap.
    EXPECT_GE(run.busy.stages, 1);

    const CurrentImage after = Load(path);
    ASSERT_EQ(after.input.width, before.input.width);
    ASSERT_EQ(after.input.height, before.input.height);
    EXPECT_EQ(after.metadata.exif, before.metadata.exif);
    EXPECT_EQ(after.metadata.icc, before.metadata.icc);
    EXPECT_EQ(after.metadata.xmp, before.metadata.xmp);
    EXPECT_EQ(after.metadata.iptc, before.metadata.iptc);
    // The lens has barrel distortion: the pixels must have moved, not merely
    // been re-encoded. Compare a row near the top edge, where they move most.
    int changed = 0;
    const std::uint8_t* a = before.input.Row(3);
    const std::uint8_t* b = after.input.Row(3);
    for (std::int64_t i = 0; i < before.input.rowBytes; ++i) {
        if (std::abs(int{a[i]} - int{b[i]}) > 12) ++changed;
    }
    EXPECT_GT(changed, 10);
    // The shutdown stored the settings of the run.
    EXPECT_TRUE(run.user.Find("Language").has_value());
}

// Runs a test step in another working folder and returns to the first.
class InFolder {
  public:
    explicit InFolder(const std::string& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InFolder() { std::filesystem::current_path(previous_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

  private:
    std::filesystem::path previous_;
};

// Only the photo the user named may change. Each name here, given relative to
// the working folder as a shell passes it, once led to another file being
// corrected or to an option being read from a file name.
TEST(QuietModeTest, OnlyTheNamedPhotoChanges) {
    testing::TempDir dir;
    const std::vector<std::uint8_t> original =
        testing::ReadBytes(testing::TestDataPath("photos/mdx_Issue_339.jpg"));
    for (const char* name : {"phone.jpg", "a.jpg", "photo.jpg", "-photo.jpg"}) {
        ASSERT_TRUE(testing::WriteBytes(dir.File(name), original));
    }
    const auto unchanged = [&](const char* name) {
        return testing::ReadBytes(dir.File(name)) == original;
    };
    const InFolder inDir(dir.path());

    // "-iphone.jpg" is no option, and it names no file.
    ProgramRun unknown;
    EXPECT_EQ(unknown.Run({"-Q", "-iphone.jpg"}), 1);
    EXPECT_EQ(unknown.sink.Last(), UnknownOptionText("-iphone.jpg"));
    EXPECT_TRUE(unchanged("phone.jpg"));

    // The quotes are part of the name, whose suffix is then no image suffix.
    ProgramRun quoted;
    EXPECT_EQ(quoted.Run({"-Q", "\"a.jpg\""}), 1);
    EXPECT_EQ(quoted.sink.Last(), "Quillon: error, file must be jpg or tif: \"a.jpg\"");
    EXPECT_TRUE(unchanged("a.jpg"));

    ProgramRun afterDashes;
    ASSERT_EQ(afterDashes.Run({"-Q", "--", "-photo.jpg"}), 0) << afterDashes.sink.Last();
    EXPECT_FALSE(unchanged("-photo.jpg"));
    EXPECT_TRUE(unchanged("photo.jpg"));
}

TEST(QuietModeTest, SilentModeShowsNoProgress) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "mdx_Issue_339.jpg");
    ProgramRun run;
    EXPECT_EQ(run.Run({"-Q", path}), 0) << run.sink.Last();
    EXPECT_TRUE(run.busy.opened.empty());
    EXPECT_EQ(run.sink.Count(), 0u);
}

// Centroid of the dark pixels in a window around (x0, y0).
std::pair<double, double> DarkCentroid(const CurrentImage& image, int x0, int y0) {
    double sx = 0, sy = 0, sw = 0;
    for (int y = y0 - 14; y <= y0 + 14; ++y) {
        for (int x = x0 - 14; x <= x0 + 14; ++x) {
            const double w = 255.0 - image.input.Row(y)[3 * x + 1];
            sx += w * x;
            sy += w * y;
            sw += w;
        }
    }
    return {sx / sw, sy / sw};
}

// A photo of the recognised camera and lens showing one dark dot near a corner,
// where the lens's barrel distortion moves it most.
std::string MakeDotPhoto(const testing::TempDir& dir, const std::string& name) {
    CurrentImage image = Load(Copy(dir, "mdx_Issue_339.jpg"));
    for (int y = 0; y < image.output.height; ++y) {
        std::uint8_t* row = image.output.Row(y);
        for (int x = 0; x < image.output.width; ++x) {
            const bool dot = (x - 40) * (x - 40) + (y - 35) * (y - 35) <= 36;
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = dot ? 0 : 255;
        }
    }
    const std::string path = dir.File(name);
    imageio::ImageFileOptions options;
    options.interactiveMode = false;
    options.jpegQuality = 100;
    platform::CapturingSink sink;
    EXPECT_EQ(imageio::SaveImageFile(path, image, options, sink).code(), 0) << sink.Last();
    return path;
}

// -i must add the distortion that the plain run removes: the dot moves the
// same distance the other way.
TEST(QuietModeTest, InvertedRunMovesPixelsTheOtherWay) {
    testing::TempDir dir;
    const std::string corrected = MakeDotPhoto(dir, "corrected.jpg");
    const std::string inverted = MakeDotPhoto(dir, "inverted.jpg");
    const auto [x0, y0] = DarkCentroid(Load(corrected), 40, 35);

    ProgramRun plain;
    ASSERT_EQ(plain.Run({"-Q", corrected}), 0) << plain.sink.Last();
    ProgramRun invert;
    ASSERT_EQ(invert.Run({"-Qi", inverted}), 0) << invert.sink.Last();
    const auto [xc, yc] = DarkCentroid(Load(corrected), 40, 35);
    const auto [xi, yi] = DarkCentroid(Load(inverted), 40, 35);

    // Barrel distortion is removed by pushing the corners outwards.
    EXPECT_LT(xc - x0, -0.2);
    EXPECT_LT(yc - y0, -0.1);
    EXPECT_NEAR(xi - x0, -(xc - x0), 0.15);
    EXPECT_NEAR(yi - y0, -(yc - y0), 0.15);
}

TEST(QuietModeTest, EverySamplePhotoGivesItsOutcome) {
    struct Case {
        const char* photo;
        const char* reason;  // empty: recognised and corrected
    };
    const Case cases[] = {
        {"mdx_Issue_339.jpg", ""},  // Olympus E-420 with its only fitting 14-42 mm
        // Several lenses fit; the photo's lens name tells them apart.
        {"exifr_tif-with-iptc-icc-xmp.tif", ""},
        {"exifsamples_42_IndexError.jpg", ""},
        {"exiv2_exiv2-bug876.jpg", ""},
        {"mdx_Canon_EOS_1000D.jpg", ""},
        {"pillow_xmp_test.jpg", ""},
        // Known cameras, several lenses fit and no name to tell them: the user
        // must choose.
        {"exiftool_Pentax.jpg", "Select lens"},
        {"mdx_Leica_T_Typ_701.jpg", "Select lens"},
        {"mdx_Nikon_D40.jpg", "Select lens"},
        // No focal length: matched at 2 mm, which no lens of the camera covers.
        {"exiv2_exiv2-bug855.jpg", "Lens has not been calibrated"},
        // Cameras the database does not hold.
        {"exifsamples_87_OSError.jpg", "Camera has not been calibrated"},
        {"exifsamples_Canon_PowerShot_S40.jpg", "Camera has not been calibrated"},
        {"exifsamples_nikon-e950.jpg", "Camera has not been calibrated"},
        {"exiftool_Apple.jpg", "Camera has not been calibrated"},
        {"exiftool_Canon.jpg", "Camera has not been calibrated"},
        {"exiftool_ExifTool.jpg", "Camera has not been calibrated"},
        {"exiftool_ExifTool.tif", "Camera has not been calibrated"},
        {"exiftool_FujiFilm.jpg", "Camera has not been calibrated"},
        {"exiftool_Nikon.jpg", "Camera has not been calibrated"},
        {"exiftool_NikonD70.jpg", "Camera has not been calibrated"},
        {"exiftool_Olympus.jpg", "Camera has not been calibrated"},
        {"exiftool_OlympusE1.jpg", "Camera has not been calibrated"},
        {"exiftool_Panasonic.jpg", "Camera has not been calibrated"},
        {"exiftool_Sony.jpg", "Camera has not been calibrated"},
        {"exiv2_Reagan.jpg", "Camera has not been calibrated"},
        {"exiv2_exiv2-bug884c.jpg", "Camera has not been calibrated"},
        {"mdx_Pentax_ist_D.jpg", "Camera has not been calibrated"},
        {"mdx_Samsung_GT-I9000_Galaxy_S.jpg", "Camera has not been calibrated"},
        // No camera names at all.
        {"libtiff_rgb-3c-16b.tiff", "No EXIF info. Choose profile."},
        {"pillow_app13-multiple.jpg", "No EXIF info. Choose profile."},
        {"pillow_icc_profile_big.jpg", "No EXIF info. Choose profile."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photo);
        testing::TempDir dir;
        const std::string path = Copy(dir, c.photo);
        const std::vector<std::uint8_t> original =
            testing::ReadBytes(testing::TestDataPath(std::string("photos/") + c.photo));
        ProgramRun run;
        const int result = run.Run({"-Q", path});
        if (*c.reason == '\0') {
            EXPECT_EQ(result, 0) << run.sink.Last();
            EXPECT_NE(testing::ReadBytes(path), original);
        } else {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(run.sink.Last(), "Quillon: " + path + ": " + c.reason);
            EXPECT_EQ(testing::ReadBytes(path), original);
        }
        EXPECT_TRUE(run.busy.opened.empty());  // -Q shows no progress
    }
}

// With the history pointing at one of the fitting lenses, the same photo is
// recognised without asking.
TEST(QuietModeTest, LensHistoryDecidesBetweenFittingLenses) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "mdx_Nikon_D40.jpg");
    ProgramRun ask;
    ASSERT_EQ(ask.Run({"-Q", path}), 1);
    EXPECT_EQ(testing::ReadBytes(path),
              testing::ReadBytes(testing::TestDataPath("photos/mdx_Nikon_D40.jpg")));

    // What the editor stores after the user picked the lens for this kind of
    // shot by hand: an 18-55 f/3.5-5.6 without a maker lens number has the
    // signature 35 + 56 + 180 + 550 = 821. Reals are stored as their bits.
    const auto bits = [](float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return u;
    };
    ProgramRun known(
        {StoredValue::Dword("Hist", 1), StoredValue::String("Hist.00.menuMake", "Nikon"),
         StoredValue::String("Hist.00.menuModel", "D40"),
         StoredValue::String("Hist.00.menuLens", "Nikkor AF-S 18-55mm f/3.5-5.6G DX VR"),
         StoredValue::String("Hist.00.group", "Nikon F DX"),
         StoredValue::Dword("Hist.00.minFlen", bits(18.0f)),
         StoredValue::Dword("Hist.00.maxFlen", bits(55.0f)),
         StoredValue::Dword("Hist.00.signature", 821)});
    EXPECT_EQ(known.Run({"-Q", path}), 0) << known.sink.Last();
    EXPECT_NE(testing::ReadBytes(path),
              testing::ReadBytes(testing::TestDataPath("photos/mdx_Nikon_D40.jpg")));
}

// A correction kind that needs no lens corrects every photo; here the
// vignetting of the stored values on a TIFF, which must keep its blocks.
TEST(QuietModeTest, TiffCorrectedWithoutALensKeepsItsMetadata) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "exiv2_Reagan.tiff");
    const CurrentImage before = Load(path);
    ProgramRun run({StoredValue::Dword("CorChoice", 2), StoredValue::Dword("ResetAlways", 0),
                    StoredValue::Dword("VigAmount", 60)});
    ASSERT_EQ(run.Run({"-Q", path}), 0) << run.sink.Last();
    const CurrentImage after = Load(path);
    EXPECT_EQ(after.metadata.xmp, before.metadata.xmp);
    EXPECT_EQ(after.metadata.icc, before.metadata.icc);
    EXPECT_EQ(after.metadata.iptc, before.metadata.iptc);
    EXPECT_EQ(after.metadata.tiff.make, before.metadata.tiff.make);
    EXPECT_EQ(after.metadata.tiff.model, before.metadata.tiff.model);
    // Vignetting brightens the corners and leaves the centre alone.
    const auto at = [](const CurrentImage& image, int x, int y) {
        return int{image.input.Row(y)[3 * x + 1]};
    };
    const int cx = before.input.width / 2;
    const int cy = before.input.height / 2;
    EXPECT_NEAR(at(after, cx, cy), at(before, cx, cy), 2);
    // Summed over the four corner blocks, so a corner that is already white
    // cannot hide the change.
    const auto corners = [&](const CurrentImage& image) {
        long sum = 0;
        const int w = image.input.width;
        const int h = image.input.height;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                sum += at(image, x, y) + at(image, w - 1 - x, y) + at(image, x, h - 1 - y) +
                       at(image, w - 1 - x, h - 1 - y);
            }
        }
        return sum;
    };
    EXPECT_GT(corners(after), corners(before) + 400);
}

// A perspective scale of 10000 in the settings file once blanked the photo and
// reported success; it corrects as the largest scale the window offers.
TEST(QuietModeTest, StoredScaleFarOutOfRangeCorrectsAsTheLargestScale) {
    testing::TempDir dir;
    const std::string huge = Copy(dir, "mdx_Issue_339.jpg");
    const std::string largest = dir.File("largest.jpg");
    ASSERT_TRUE(testing::WriteBytes(largest, testing::ReadBytes(huge)));
    const auto run = [](std::uint32_t scale, const std::string& path) {
        ProgramRun program({StoredValue::Dword("CorChoice", 2),
                            StoredValue::Dword("ResetAlways", 0),
                            StoredValue::Dword("PerspectScale", scale)});
        return program.Run({"-Q", path});
    };
    ASSERT_EQ(run(10000, huge), 0);
    ASSERT_EQ(run(125, largest), 0);
    EXPECT_EQ(testing::ReadBytes(huge), testing::ReadBytes(largest));

    const CurrentImage after = Load(huge);
    long sum = 0;
    for (int y = 0; y < after.input.height; ++y) {
        for (std::int64_t i = 0; i < after.input.rowBytes; ++i) sum += after.input.Row(y)[i];
    }
    EXPECT_GT(sum / (after.input.rowBytes * after.input.height), 40);
}

// The settings file exists but cannot be read (here: a folder stands in its
// place, which stops the superuser too). Correcting with the defaults instead
// would change the photo in a way the user never chose.
TEST(QuietModeTest, UnreadableSettingsFileCorrectsNothing) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "mdx_Issue_339.jpg");
    const std::string settingsPath = dir.File("Quillon.reg");
    std::filesystem::create_directory(settingsPath);
    ProgramRun run;
    platform::FileSettingsStore user(settingsPath);
    const ProgramEnvironment env{run.sink, user, run.machine, run.prompt, run.busy, {}};
    const std::vector<std::string> args = {"-Q", path};
    EXPECT_EQ(RunProgram(args, env), 1);
    EXPECT_EQ(run.sink.Last(), "Quillon: error, settings file cannot be read: " + settingsPath);
    EXPECT_EQ(testing::ReadBytes(path),
              testing::ReadBytes(testing::TestDataPath("photos/mdx_Issue_339.jpg")));
}

TEST(QuietModeTest, StartWithoutAnInstallationFolderFails) {
    ProgramRun run;
    run.machine = platform::MemorySettingsStore();
    EXPECT_EQ(run.Run({"-q", "x.jpg"}), 1);
    EXPECT_EQ(run.sink.Last(), "Please re-install Quillon (code 01)");
}

TEST(QuietModeTest, NoWindowForTheEditorOrTheBrowser) {
    ProgramRun run;
    EXPECT_EQ(run.Run({}), 1);
    EXPECT_EQ(run.sink.Last(), std::string(kNoWindowText));
}

}  // namespace
}  // namespace quillon::app

namespace quillon::app {
namespace {

// A photo cut short used to be "corrected" with its missing part filled grey,
// written over the original, with exit code 0.
TEST(QuietModeTest, TruncatedJpegIsRefusedAndLeftUntouched) {
    testing::TempDir dir;
    const std::string path = dir.File("cut.jpg");
    std::vector<std::uint8_t> bytes =
        testing::ReadBytes(testing::TestDataPath("photos/mdx_Issue_339.jpg"));
    bytes.resize(bytes.size() * 3 / 4);
    ASSERT_TRUE(testing::WriteBytes(path, bytes));
    ProgramRun run;
    ::testing::internal::CaptureStderr();
    const int result = run.Run({"-Q", path});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(result, 1);
    // The library's text is the one message, where a window would show it.
    ASSERT_EQ(run.sink.Count(), 1u);
    EXPECT_EQ(run.sink.Last(), "Premature end of JPEG file");
    EXPECT_EQ(testing::ReadBytes(path), bytes);
}

// The quiet mode corrects the pixels as stored; a TIFF tagged "rotate 90°"
// must keep saying so, or it comes out sideways.
TEST(QuietModeTest, TiffKeepsTheOrientationItsPixelsNeed) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "exiv2_Reagan.tiff");
    {
        CurrentImage image = Load(path);
        std::memcpy(image.output.pixels, image.input.pixels,
                    static_cast<std::size_t>(image.input.dataSize));
        image.metadata.tiff.orientation = 6;
        imageio::ImageFileOptions editor;
        editor.interactiveMode = false;
        platform::CapturingSink sink;
        ASSERT_EQ(imageio::SaveImageFile(path, image, editor, sink).code(), 0) << sink.Last();
    }
    ProgramRun run({StoredValue::Dword("CorChoice", 2), StoredValue::Dword("ResetAlways", 0),
                    StoredValue::Dword("VigAmount", 60)});
    ASSERT_EQ(run.Run({"-Q", path}), 0) << run.sink.Last();
    const CurrentImage after = Load(path);
    EXPECT_TRUE(after.metadata.tiff.orientationFound);
    EXPECT_EQ(after.metadata.tiff.orientation, 6);
}

// A corrected TIFF must still be recognised: its focal length and exposure
// live in the EXIF directory, which the writer once dropped, after which the
// photo matched no lens ("Lens has not been calibrated").
TEST(QuietModeTest, CorrectedTiffIsRecognisedLikeTheOriginal) {
    testing::TempDir dir;
    const std::string path = Copy(dir, "exifr_tif-with-iptc-icc-xmp.tif");
    ProgramRun vignetting({StoredValue::Dword("CorChoice", 2), StoredValue::Dword("ResetAlways", 0),
                           StoredValue::Dword("VigAmount", 60)});
    ASSERT_EQ(vignetting.Run({"-Q", path}), 0) << vignetting.sink.Last();
    ASSERT_NE(testing::ReadBytes(path),
              testing::ReadBytes(testing::TestDataPath("photos/exifr_tif-with-iptc-icc-xmp.tif")));
    EXPECT_FLOAT_EQ(Load(path).metadata.tiff.focalLength, 200.0f);
    // The corrected copy is recognised as the original is: its lens is chosen
    // by the name in its XMP, so the copy is corrected again without a choice.
    const std::string original = Copy(dir, "exifr_tif-with-iptc-icc-xmp.tif", "original.tif");
    ProgramRun detectOriginal;
    ProgramRun detectCorrected;
    EXPECT_EQ(detectOriginal.Run({"-Q", original}), 0) << detectOriginal.sink.Last();
    EXPECT_EQ(detectCorrected.Run({"-Q", path}), 0) << detectCorrected.sink.Last();
}

}  // namespace
}  // namespace quillon::app
