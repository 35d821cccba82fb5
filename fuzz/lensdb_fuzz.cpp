// Feeds arbitrary bytes to the lens database loader: it must refuse them with a
// message or load a database whose every list can be walked to its end.

#include <cstddef>
#include <cstdint>
#include <span>

#include "lensdb/database_writer.h"
#include "lensdb/lens_database.h"
#include "platform/message_sink.h"
#include "platform/text_source.h"

namespace {

class FuzzTexts final : public quillon::platform::TextSource {
  public:
    std::string_view Text(int) const override { return "%s %d %d.%d %%"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzTexts texts;
    quillon::platform::CapturingSink sink;
    quillon::lensdb::LensDatabase database;
    const std::span<const std::uint8_t> bytes(data, size);
    if (quillon::lensdb::ParseDatabase(bytes, database, texts, sink).ok()) {
        // Walks every list, every group chain and every calibration range.
        (void)quillon::lensdb::DescribeDatabase(database);
    }
    return 0;
}
