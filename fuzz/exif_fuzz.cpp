// Fuzzes the EXIF reader with its maker notes, the completion steps, the
// lens-name words and the information text. The input is an EXIF block as JPEG
// files carry it; the same bytes are also read as a bare TIFF structure, the
// form a host hands over.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "metadata/info_text.h"
#include "metadata/lens_name.h"
#include "metadata/parse_metadata.h"
#include "platform/text_source.h"

namespace {

class Texts final : public quillon::platform::TextSource {
  public:
    std::string_view Text(int) const override { return "No EXIF info. Choose profile."; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon::metadata;
    const std::span<const std::uint8_t> bytes(data, size);
    const Texts texts;
    for (const ExifBlockForm form : {ExifBlockForm::kApp1Payload, ExifBlockForm::kTiffStructure}) {
        MetadataBlocks blocks;
        blocks.exif = bytes;
        blocks.exifForm = form;
        const ShotInfo shot = ParseMetadata(blocks, DetectSwitches{});
        if (shot.orientationLocation != kNoLocation &&
            static_cast<std::uint64_t>(shot.orientationLocation) + 2 > size) {
            __builtin_trap();  // a location must lie inside the block
        }
        // The lens name the matching would compare, cut into its words.
        (void)SplitLensName(PhotoLensNameOf(shot.lensNames).text);
        (void)BuildInfoText(shot, InfoTextContext{true, true}, texts);
        (void)BuildInfoText(shot, InfoTextContext{}, texts);
    }
    return 0;
}
