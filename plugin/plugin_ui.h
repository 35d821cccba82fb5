#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "app/app_state.h"
#include "app/startup.h"
#include "imageio/image_file.h"
#include "metadata/shot_info.h"
#include "platform/message_sink.h"
#include "settings/language_dialog.h"

// Everything a filter run shows the user, behind one interface: the messages,
// the first-run language question, the busy note, the correction dialog (the
// main window in its plug-in form, with its Options and About) and the About
// box of the host's menu. The run decides when each is needed; the interface
// only shows it. A build or a host without a display uses the text-only
// version.

namespace quillon::plugin {

enum class DialogAnswer {
    kOk,      // OK was pressed: correctAndWrite has run
    kCancel,  // leave the document as it is
    kFailed,  // the dialog could not be shown; the reason has been shown
};

// What the correction dialog works on. The dialog edits the correction values,
// the lens choice and the preferences in `state` and sizes itself from
// state.stored.values.dialog. The host's document is in state.current.image.
struct DialogRequest {
    app::AppState& state;
    bool handoffFilePresent = false;
    // Reads the document's metadata from the host again, as the dialog does
    // whenever it shows the document, and puts the preview's source profile
    // into `metadata.icc` (or clears it).
    std::function<metadata::ShotInfo(ImageMetadata& metadata)> readMetadata;
    // OK: corrects the document with the values now in the state, showing the
    // busy note, and writes it to the host. True when the host has it.
    std::function<bool()> correctAndWrite;
    // OK in the Options dialog: saves the preferences at once.
    std::function<void()> savePreferences;
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
    // Runs `call` on the thread the host called the plug-in on, and waits for
    // it. The host's procs may be called on that thread only, while Busy()
    // may run its work on a thread of its own; such work reaches the host
    // through here. The host's thread serves these calls while Busy() runs.
    virtual void OnHostThread(const std::function<void()>& call) { call(); }
};

// The interface of this build: the dialog when the host has a widget
// application on its thread or a display can be opened, else the text-only
// version.
std::unique_ptr<PluginUi> CreatePluginUi();

// The text-only version: messages and notes on stderr, work on the calling
// thread, and no dialog (it is refused with the reason).
std::unique_ptr<PluginUi> CreateTextUi();

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
