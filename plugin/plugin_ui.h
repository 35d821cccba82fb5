#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "app/app_state.h"
#include "app/startup.h"
#include "platform/message_sink.h"
#include "plugin/host_api.h"
#include "settings/language_dialog.h"

// Everything a filter run shows the user, behind one interface: the messages,
// the first-run language question, the busy note, the correction dialog (the
// main window in its plug-in form, with its Options and About) and the About
// box of the host's menu. The run decides when each is needed; the interface
// only shows it. A build without a display uses the text-only version.

namespace quillon::plugin {

enum class DialogAnswer {
    kOk,      // correct the document with the values now in the state
    kCancel,  // leave the document as it is
    kFailed,  // the dialog could not be shown; the reason has been shown
};

// What the correction dialog works on. The dialog edits the correction values,
// the lens choice and the preferences in `state` and sizes itself from
// state.stored.values.dialog; the run corrects the document after OK.
struct DialogRequest {
    app::AppState& state;
    const FilterRecord& record;  // the owner window, the document's ICC profile
    bool handoffFilePresent = false;
};

class PluginUi {
  public:
    virtual ~PluginUi() = default;
    virtual platform::MessageSink& Sink() = 0;
    virtual settings::LanguagePrompt& LanguagePrompt() = 0;
    virtual app::BusyIndicator& Busy() = 0;
    virtual DialogAnswer RunDialog(DialogRequest& request) = 0;
    // `heading` is "Quillon 9.0  64-bit" or "... 32-bit".
    virtual void ShowAbout(std::string_view heading, std::uintptr_t ownerWindow) = 0;
};

// The interface of this build. The text-only version writes messages and
// notes on stderr and cannot show the dialog.
std::unique_ptr<PluginUi> CreatePluginUi();

// Test hook: with QUILLON_TEST_DIALOG set to "ok" or "cancel" in the
// environment, a run that would show the correction dialog shows nothing,
// notes "Quillon: dialog requested (test hook answers ok)" (or "cancel")
// through the interface's sink, and goes on as if the user had pressed that
// button without changing anything. Any other value is ignored. Lets the
// reference host's tests run where no display exists.
inline constexpr const char* kTestDialogVariable = "QUILLON_TEST_DIALOG";

// The dialog's answer: the test hook's when set, else the interface's.
DialogAnswer AskDialog(PluginUi& ui, DialogRequest& request);

}  // namespace quillon::plugin
