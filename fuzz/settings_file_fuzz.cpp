// The settings file is read at every start and may have been damaged or edited
// by hand. Parsing must never fail on it, and whatever it reads must survive
// being written and read again unchanged, or a save would alter settings the
// user never touched.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quillon::platform::FormatSettingsText;
    using quillon::platform::ParseSettingsText;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto values = ParseSettingsText(text);
    const auto again = ParseSettingsText(FormatSettingsText(values));
    if (again != values) std::abort();
    return 0;
}
