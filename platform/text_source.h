#pragma once

#include <string_view>

// User-visible texts are looked up by string number in the language that is
// loaded. Modules that speak to the user take a TextSource& so they never depend
// on how or where the tables are kept.

namespace quillon::platform {

class TextSource {
  public:
    virtual ~TextSource() = default;
    // The UTF-8 text of string `id`; empty when the table has no such entry.
    virtual std::string_view Text(int id) const = 0;
};

}  // namespace quillon::platform
