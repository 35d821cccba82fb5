#pragma once

#include <string>

#include "platform/settings_store.h"
#include "plugin/host_call.h"
#include "plugin/plugin_ui.h"

// One filter run: everything the start selector does, from building the run's
// state to releasing it before the host gets control back. Nothing of a run
// outlives it; settings and the lens history persist through the settings
// store, the parameters through the descriptor handed back to the host.

namespace quillon::plugin {

struct RunEnvironment {
    PluginUi& ui;
    platform::SettingsStore& userStore;
    const platform::SettingsStore& machineStore;
    // Where the handoff file would be; empty when there is no such place.
    std::string handoffPath;
    // The host asked for the parameters (selector 1) before this run.
    bool parametersRequested = false;
};

// The start selector. Sets call.result: 0 when the document was corrected or
// left alone on purpose (Cancel with a handoff file present), the host's own
// code when a transfer failed, FILTER_RESULT_OUT_OF_MEMORY, FILTER_RESULT_
// CANCELLED, or FILTER_RESULT_REPORTED when the run failed after telling the
// user why. Only a run that corrected the document hands a descriptor back.
void RunFilter(HostCall call, const RunEnvironment& env);

// Whether the run shows the correction dialog, by the first rule that holds:
// the host asks for it, the user always wants it, the lens-profile correction
// cannot be set up from the metadata alone, or a handoff file is present.
struct DialogRules {
    bool hostAsks = false;
    bool alwaysDisplayDialog = false;
    bool profileCorrection = false;  // CorChoice is the lens profile
    bool lensReady = false;          // a lens is known and covers the focal length
    bool handoffFilePresent = false;
};
bool ShowsDialog(const DialogRules& rules);

// The host's wish: the play information of its descriptor parameters when it
// has them, else whether it asked for the parameters.
bool HostAsksForDialog(const FilterRecord& record, bool parametersRequested);

}  // namespace quillon::plugin
