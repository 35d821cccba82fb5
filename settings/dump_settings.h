#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"

// A diagnostic copy of the user's settings that a user can mail in: every
// value as one line of a registry export, lightly scrambled so that it is not
// edited by hand before it reaches us.

namespace quillon::settings {

inline constexpr std::string_view kDumpFileName = "QuillonDump.dat";

// The lines of the dump, in the key's order, before scrambling. Values whose
// name exceeds 254 characters or whose text exceeds 254 bytes are left out.
std::string DumpText(const std::vector<platform::StoredValue>& values);

// The scramble applied to every byte of the dump: c -> (c * 103 + 48) mod 256.
std::vector<std::uint8_t> ScrambleDump(std::string_view text);

// Writes QuillonDump.dat into `desktopDir` (the user's desktop folder unless a
// caller says otherwise) and tells the user. A key that does not exist yet
// leaves nothing to dump and says nothing.
Status DumpSettings(const platform::SettingsStore& user, platform::MessageSink& sink,
                    const std::string& desktopDir);
Status DumpSettings(const platform::SettingsStore& user, platform::MessageSink& sink);

}  // namespace quillon::settings
