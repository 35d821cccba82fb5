// The interface where no dialog can be shown (no display, a host without
// widgets): messages on stderr, and the correction dialog refused with the
// reason. A host that runs the filter from a script gets what it needs: the
// correction when the photo is recognised, and a clear refusal when it would
// need a choice by hand.

#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/plugin_ui.h"

namespace quillon::plugin {

namespace {

class TextUi final : public PluginUi {
  public:
    platform::MessageSink& Sink() override { return sink_; }
    settings::LanguagePrompt& LanguagePrompt() override { return prompt_; }
    app::BusyIndicator& Busy() override { return busy_; }
    DialogAnswer RunDialog(DialogRequest&) override {
        sink_.Show(
            "Quillon: this photo needs the correction dialog, which cannot be shown here "
            "(no display). The document is unchanged.",
            "Error");
        return DialogAnswer::kFailed;
    }
    void ShowAbout(std::string_view heading, std::uintptr_t) override { sink_.Show(heading); }

  private:
    platform::StderrSink sink_;
    settings::NoDisplayLanguagePrompt prompt_;
    app::StderrBusyIndicator busy_;
};

}  // namespace

std::unique_ptr<PluginUi> CreateTextUi() { return std::make_unique<TextUi>(); }

}  // namespace quillon::plugin
