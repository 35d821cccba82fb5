// The plug-in and the program's quiet correction are one correction: on the
// same photo with the same stored values they must give the same pixels.

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "imageio/image_file.h"
#include "settings/language_dialog.h"
#include "tests/plugin/plugin_run.h"

namespace quillon::plugin_test {
namespace {

class SameAsProgramTest : public PluginTest {
  protected:
    // `quillon -Q` on a copy of the sample `photo` (or on the file at that path),
    // with the settings the plug-in uses.
    std::string CorrectWithProgram(const std::string& photo) {
        const std::string path =
            photo.find('/') != std::string::npos ? photo : work_.File("program-" + photo);
        if (path != photo) {
            EXPECT_TRUE(testing::WriteBytes(
                path, testing::ReadBytes(testing::TestDataPath("photos/" + photo))));
        }
        platform::CapturingSink sink;
        platform::FileSettingsStore user(SettingsPath());
        const platform::MemorySettingsStore machine(
            {platform::StoredValue::String("Root", QUILLON_TEST_ROOT_DIR)});
        settings::NoDisplayLanguagePrompt prompt;
        app::StderrBusyIndicator busy;
        const app::ProgramEnvironment env{sink, user, machine, prompt, busy, {}};
        const std::vector<std::string> args = {"-Q", path};
        EXPECT_EQ(app::RunProgram(args, env), 0) << sink.Last();
        return path;
    }

    // The plug-in through the host on `photo`, the result written to `output`.
    void CorrectWithPlugin(const std::string& photo, const std::string& output) {
        host::Document document = Open(photo);
        const PluginRun run = Run(document);
        ASSERT_EQ(run.report.result, 0) << run.messages;
        platform::CapturingSink sink;
        ASSERT_TRUE(host::SaveDocument(document, output, 90, sink)) << sink.Last();
    }

    static CurrentImage Load(const std::string& path) {
        platform::CapturingSink sink;
        CurrentImage image;
        EXPECT_EQ(imageio::LoadImageFile(path, image, sink).code(), 0) << sink.Last();
        return image;
    }
};

TEST_F(SameAsProgramTest, EightBitPhotoWithItsLensGivesTheSamePixels) {
    const std::string plugin = work_.File("plugin.jpg");
    CorrectWithPlugin("mdx_Issue_339.jpg", plugin);
    const std::string program = CorrectWithProgram("mdx_Issue_339.jpg");

    // Both are encoded alike, so equal pixels make equal files' pixels.
    const CurrentImage a = Load(plugin);
    const CurrentImage b = Load(program);
    ASSERT_EQ(a.input.dataSize, b.input.dataSize);
    EXPECT_EQ(
        0, std::memcmp(a.input.pixels, b.input.pixels, static_cast<std::size_t>(a.input.dataSize)));
    const CurrentImage original = Load(testing::TestDataPath("photos/mdx_Issue_339.jpg"));
    EXPECT_NE(0, std::memcmp(a.input.pixels, original.input.pixels,
                             static_cast<std::size_t>(a.input.dataSize)));
}

TEST_F(SameAsProgramTest, SixteenBitPhotoDiffersAtMostByTheHostsLostBit) {
    // Every step of the pipeline: vignetting, chromatic aberration and a
    // rotation on the enlarged perspective canvas.
    StoreSettings({"\"CorChoice\"=dword:00000002", "\"ResetAlways\"=dword:00000000",
                   "\"VigAmount\"=dword:0000001e", "\"CaRed\"=dword:00000014",
                   "\"PerspectRotate\"=dword:0000000f"});
    // The program gets the photo as the host holds it, so both start from the
    // same samples and only the host's coarser range lies between them.
    host::Document document = Open("libtiff_rgb-3c-16b.tiff");
    const std::string program = work_.File("program.tif");
    platform::CapturingSink sink;
    ASSERT_TRUE(host::SaveDocument(document, program, 90, sink)) << sink.Last();
    const PluginRun run = Run(document);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    CorrectWithProgram(program);

    const host::Document expected = host::DocumentFromImage(Load(program).input);
    ASSERT_EQ(expected.planes.size(), 3u);
    const host::Document original = Open("libtiff_rgb-3c-16b.tiff");
    int worst = 0;
    int changed = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const auto* a = reinterpret_cast<const std::uint16_t*>(document.planes[k].data());
        const auto* b = reinterpret_cast<const std::uint16_t*>(expected.planes[k].data());
        const auto* before = reinterpret_cast<const std::uint16_t*>(original.planes[k].data());
        for (std::size_t i = 0; i < document.planes[k].size() / 2; ++i) {
            worst = std::max(worst, std::abs(int{a[i]} - int{b[i]}));
            changed += a[i] != before[i];
        }
    }
    EXPECT_LE(worst, 1);
    EXPECT_GT(changed, 1000);
}

}  // namespace
}  // namespace quillon::plugin_test
