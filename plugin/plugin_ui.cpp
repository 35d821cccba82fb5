#include "plugin/plugin_ui.h"

#include <cstdlib>
#include <string>

namespace quillon::plugin {

DialogAnswer AskDialog(PluginUi& ui, DialogRequest& request) {
    if (const char* answer = std::getenv(kTestDialogVariable)) {
        const std::string text = answer;
        if (text == "ok" || text == "cancel") {
            ui.Sink().Show("Quillon: dialog requested (test hook answers " + text + ")");
            if (text == "cancel") return DialogAnswer::kCancel;
            (void)request.correctAndWrite();
            return DialogAnswer::kOk;
        }
    }
    return ui.RunDialog(request);
}

}  // namespace quillon::plugin
