#include "plugin/plugin_ui.h"

#include <cstdlib>
#include <string>

namespace quillon::plugin {

DialogAnswer AskDialog(PluginUi& ui, DialogRequest& request) {
    if (const char* answer = std::getenv(kTestDialogVariable)) {
        const std::string text = answer;
        if (text == "ok" || text == "cancel") {
            ui.Sink().Show("Quillon: dialog requested (test hook answers " + text + ")");
            return text == "ok" ? DialogAnswer::kOk : DialogAnswer::kCancel;
        }
    }
    return ui.RunDialog(request);
}

}  // namespace quillon::plugin
