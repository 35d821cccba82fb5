#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/text_source.h"

namespace quillon::metadata::testing {

// The English texts the metadata module shows.
class FakeTexts : public platform::TextSource {
  public:
    std::string_view Text(int id) const override {
        const auto it = texts_.find(id);
        return it == texts_.end() ? std::string_view() : std::string_view(it->second);
    }

  private:
    std::map<int, std::string> texts_ = {{20, "No EXIF info. Choose profile."}};
};

}  // namespace quillon::metadata::testing
