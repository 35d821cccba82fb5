// The sample photos of database cameras against the default database the build
// generates: which lens each is given, against the lens its own name texts
// name. A change of the database or of the name rule that changes a choice
// shows here.

#include <string>

#include <gtest/gtest.h>

#include "imageio/image_file.h"
#include "lensdb/lens_database.h"
#include "lensdb/lens_matching.h"
#include "metadata/lens_name.h"
#include "metadata/parse_metadata.h"
#include "platform/message_sink.h"
#include "tests/lensdb/lensdb_test_support.h"
#include "tests/support/test_support.h"

namespace quillon::lensdb {
namespace {

TEST(PhotoLensNames, SamplePhotosOfDatabaseCameras) {
    const platform::TextSource& texts = testing::EnglishTexts();
    platform::CapturingSink sink;
    LensDatabase db;
    ASSERT_TRUE(LoadDatabase(QUILLON_TEST_ROOT_DIR, db, texts, sink).ok()) << sink.Last();

    struct Case {
        const char* photo;
        const char* camera;     // Model menu name
        const char* photoName;  // the lens name the photo gives, empty for none
        const char* lens;       // the lens chosen, empty for "Select Lens"
    };
    const Case cases[] = {
        {"mdx_Canon_EOS_1000D.jpg", "EOS 1000D", "EF-S18-55mm f/3.5-5.6 IS",
         "Canon EF-S 18-55mm f/3.5-5.6 IS"},
        {"pillow_xmp_test.jpg", "EOS Rebel T6", "EF-S18-55mm f/3.5-5.6 III",
         "Canon EF-S 18-55mm f/3.5-5.6 III"},
        {"exiv2_exiv2-bug876.jpg", "EOS 6D", "EF35mm f/2 IS USM", "Canon EF 35mm f/2 IS USM"},
        // A TIFF: the name from its XMP packet.
        {"exifr_tif-with-iptc-icc-xmp.tif", "EOS 5D Mark III", "EF70-200mm f/2.8L USM",
         "Canon EF 70-200mm f/2.8L USM"},
        {"exifsamples_42_IndexError.jpg", "E-P3", "OLYMPUS M.14-42mm F3.5-5.6 II R",
         "Olympus M.Zuiko Digital ED 14-42mm f/3.5-5.6 II R"},
        // The ranges leave one lens; the name is not needed.
        {"mdx_Issue_339.jpg", "E-420", "OLYMPUS 14-42mm Lens",
         "Olympus Zuiko Digital ED 14-42mm f/3.5-5.6"},
        // No name the program reads: the user chooses.
        {"mdx_Nikon_D40.jpg", "D40", "", ""},
        {"exiftool_Pentax.jpg", "K10D", "", ""},
        {"exiv2_exiv2-bug855.jpg", "K-x", "", ""},
        {"mdx_Leica_T_Typ_701.jpg", "T (Typ 701)", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photo);
        CurrentImage image;
        platform::CapturingSink imageSink;
        ASSERT_EQ(
            imageio::LoadImageFile(quillon::testing::TestDataPath(std::string("photos/") + c.photo),
                                   image, imageSink)
                .code(),
            0)
            << imageSink.Last();
        metadata::ShotInfo shot =
            metadata::ParseImageMetadata(image.metadata, metadata::DetectSwitches{});
        EXPECT_EQ(metadata::PhotoLensNameOf(shot.lensNames).text, c.photoName);

        const LensHistory history;
        const engine::CorrectionSettings correction;
        MatchSettings settings;
        const MatchContext context{db,         history,           shot,
                                   correction, settings,          texts,
                                   false,      image.input.width, image.input.height};
        LensSelection selection;
        Detect(context, selection);
        ASSERT_NE(selection.selectedCamera, nullptr);
        EXPECT_STREQ(selection.selectedCamera->menuModel, c.camera);
        EXPECT_EQ(selection.IsRealLensSelected() ? selection.selectedLens->menuLens : "",
                  std::string(c.lens));
    }
}

}  // namespace
}  // namespace quillon::lensdb
