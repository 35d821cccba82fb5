// The pixels between host and engine: how the document is walked, what each
// direction does with 16-bit samples, and what a failing host leaves.

#include "plugin/host_transfer.h"
#include "tests/plugin/plugin_run.h"

namespace quillon::plugin_test {
namespace {

using host::Document;
using host::HostOptions;

// A real photo, cut to 1000 x 700 and stripped of its camera data; with the
// distortion correction disabled and vignetting on, the plug-in corrects it
// without a dialog.
Document Photo1000x700() {
    Document full = [] {
        platform::CapturingSink sink;
        Document d;
        EXPECT_TRUE(host::OpenDocument(testing::TestDataPath("photos/mdx_Nikon_D40.jpg"), d, sink));
        return d;
    }();
    Document cut;
    cut.width = 1000;
    cut.height = 700;
    cut.planes.assign(3, std::vector<std::uint8_t>(1000 * 700));
    for (std::size_t k = 0; k < 3; ++k) {
        for (std::size_t y = 0; y < 700; ++y) {
            std::copy_n(
                full.planes[k].begin() + static_cast<std::ptrdiff_t>((y + 600) * 3008 + 900), 1000,
                cut.planes[k].begin() + static_cast<std::ptrdiff_t>(y * 1000));
        }
    }
    return cut;
}

class TransferTest : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        StoreSettings({"\"CorChoice\"=dword:00000002", "\"ResetAlways\"=dword:00000000",
                       "\"VigAmount\"=dword:00000028"});
    }
};

TEST_F(TransferTest, WholeDocumentIsOneTileThreePlanesEachWay) {
    Document document = Photo1000x700();
    const PluginRun run = Run(document);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    ASSERT_EQ(run.report.requests.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const host::TransferRequest& r = run.report.requests[i];
        EXPECT_EQ(r.input, i < 3);
        EXPECT_EQ(r.plane, static_cast<std::int16_t>(i % 3));
        EXPECT_EQ(r.rect.top, 0);
        EXPECT_EQ(r.rect.left, 0);
        EXPECT_EQ(r.rect.bottom, 700);
        EXPECT_EQ(r.rect.right, 1000);
    }
}

TEST_F(TransferTest, SelectionTilesTheWholeDocumentFromItsCorner) {
    Document document = Photo1000x700();
    Document whole = document;
    HostOptions options;
    options.selection = FilterRect16{250, 120, 450, 420};  // 300 x 200 anywhere
    const PluginRun run = Run(document, options);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    ASSERT_EQ(run.report.requests.size(), 96u);  // 48 each way
    for (std::size_t i = 0; i < 48; ++i) {
        const host::TransferRequest& r = run.report.requests[i];
        const int tile = static_cast<int>(i / 3);
        EXPECT_TRUE(r.input);
        EXPECT_EQ(r.plane, static_cast<std::int16_t>(i % 3));
        EXPECT_EQ(r.rect.top, tile / 4 * 200);
        EXPECT_EQ(r.rect.left, tile % 4 * 300);
        EXPECT_EQ(r.rect.bottom, std::min(tile / 4 * 200 + 200, 700));
        EXPECT_EQ(r.rect.right, std::min(tile % 4 * 300 + 300, 1000));
    }
    const FilterRect16 last = run.report.requests[47].rect;
    EXPECT_EQ(last.bottom - last.top, 100);
    EXPECT_EQ(last.right - last.left, 100);
    EXPECT_FALSE(run.report.requests[48].input);

    // Tiles or not, the same document comes out.
    EXPECT_EQ(Run(whole).report.result, 0);
    EXPECT_EQ(document.planes, whole.planes);
}

TEST_F(TransferTest, SixteenBitSamplesSurviveTheWayThereAndBack) {
    StoreSettings({"\"CorChoice\"=dword:00000002"});  // nothing to correct
    Document document;
    document.width = 64;
    document.height = 32;
    document.depth = 16;
    document.planes.assign(3, std::vector<std::uint8_t>(64 * 32 * 2));
    auto* red = reinterpret_cast<std::uint16_t*>(document.planes[0].data());
    for (std::uint16_t i = 0; i < 64 * 32; ++i) red[i] = static_cast<std::uint16_t>(i * 16 + 1);
    red[0] = 32768;
    red[1] = 1;
    red[2] = 0;
    const Document before = document;
    const PluginRun run = Run(document);
    ASSERT_EQ(run.report.result, 0) << run.messages;
    EXPECT_EQ(document.planes, before.planes);
}

TEST(SampleConversionTest, HostRangeMapsOntoTheEngineRangeAndBackExactly) {
    EXPECT_EQ(plugin::HostToEngineSample(32768), 65535);
    EXPECT_EQ(plugin::EngineToHostSample(65535), 32768);
    EXPECT_EQ(plugin::HostToEngineSample(0), 0);
    for (std::uint32_t v = 0; v <= 32768; ++v) {
        ASSERT_EQ(
            plugin::EngineToHostSample(plugin::HostToEngineSample(static_cast<std::uint16_t>(v))),
            v);
    }
    // A host sample above its range is full scale, not a wrapped dark one.
    EXPECT_EQ(plugin::HostToEngineSample(65535), 65535);
}

TEST_F(TransferTest, HostErrorWhileWritingTheSecondPlaneIsTheResult) {
    Document document = Photo1000x700();
    const Document before = document;
    HostOptions options;
    options.failAdvanceCall = 5;  // reading takes 1-3, writing red 4, green 5
    options.advanceFailureCode = -9;
    const PluginRun run = Run(document, options);
    EXPECT_EQ(run.report.result, -9);
    EXPECT_EQ(run.report.requests.size(), 5u);
    EXPECT_NE(run.messages.find("cpyBufToPs error: advanceState"), std::string::npos);
    // Red was handed over before the failure; the result says the document
    // is not what the filter meant to leave.
    EXPECT_NE(document.planes[0], before.planes[0]);
    EXPECT_EQ(document.planes[1], before.planes[1]);
    EXPECT_EQ(document.planes[2], before.planes[2]);
    EXPECT_FALSE(run.report.recorded);
    EXPECT_EQ(run.report.continueCalls, 0);
}

TEST_F(TransferTest, HostErrorWhileReadingLeavesTheDocumentAlone) {
    Document document = Photo1000x700();
    const Document before = document;
    HostOptions options;
    options.failAdvanceCall = 2;
    options.advanceFailureCode = -30;
    const PluginRun run = Run(document, options);
    EXPECT_EQ(run.report.result, -30);
    EXPECT_EQ(run.report.requests.size(), 2u);
    EXPECT_NE(run.messages.find("cpyPsToBuf error: advanceState"), std::string::npos);
    EXPECT_EQ(document.planes, before.planes);
}

}  // namespace
}  // namespace quillon::plugin_test
