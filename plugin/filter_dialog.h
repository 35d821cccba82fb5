#pragma once

#include "app/window/busy_window.h"
#include "app/window/main_window.h"
#include "platform/message_sink.h"
#include "plugin/plugin_ui.h"

// The correction dialog: the main window in its plug-in form, over the host's
// document. OK corrects the document with the dialog's values and writes it
// to the host (request.correctAndWrite), Cancel leaves it alone; either
// closes the dialog.

namespace quillon::plugin {

class FilterDialogFlow final : public app::WindowFlow {
  public:
    FilterDialogFlow(DialogRequest& request, DialogAnswer& answer)
        : request_(request), answer_(answer) {}
    void Start(app::MainWindow& window) override;
    void Ok(app::MainWindow& window) override;
    void Cancel(app::MainWindow& window) override;

  private:
    DialogRequest& request_;
    DialogAnswer& answer_;
};

// Shows the dialog on the calling thread, which must be the widget
// application's, and returns when it has closed: the window, its preview and
// its display transform are gone by then. `busy` shows the busy window over
// the dialog while the document is corrected.
DialogAnswer RunFilterDialog(DialogRequest& request, app::QtBusyIndicator& busy,
                             app::WindowPrompts& prompts, platform::MessageSink& sink);

}  // namespace quillon::plugin
