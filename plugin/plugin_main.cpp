// The filter's entry point, the one function the plug-in exports. The host
// calls it once per step of a filter run; all the work happens in the start
// step, and nothing but the parameters request survives from one call to the
// next.

#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <dlfcn.h>

#include "app/window_core/window_variant.h"
#include "platform/settings_store.h"
#include "plugin/filter_run.h"
#include "plugin/host_api.h"
#include "plugin/host_metadata.h"
#include "plugin/plugin_ui.h"
#include "settings/settings_location.h"
#include "text/memory_messages.h"

#define QUILLON_EXPORT __attribute__((visibility("default")))

extern "C" QUILLON_EXPORT void PluginMain(std::int16_t selector, void* record, std::intptr_t* data,
                                          std::int16_t* result);

namespace {

using namespace quillon;

// The host asked for the parameters; the next start shows the dialog.
bool parametersRequested = false;

// The machine-wide settings follow the library, not the host program: a
// plug-in run from its build tree finds that tree's installation folder
// whoever loads it.
std::string PluginLibraryPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&PluginMain), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

void About(const AboutRecord* about) {
    const std::uintptr_t owner =
        about != nullptr && about->platformData != nullptr ? about->platformData->ownerWindow : 0;
    plugin::CreatePluginUi()->ShowAbout(app::AboutHeading(), owner);
}

void Start(FilterRecord& record, std::int16_t& result) {
    const std::unique_ptr<plugin::PluginUi> ui = plugin::CreatePluginUi();
    // Without a usable home folder the run works on the defaults and keeps
    // nothing.
    settings::UserSettings user;
    platform::SettingsStore& userStore = user.Store();
    const platform::FileSettingsStore machineStore(settings::MachineSettingsPathFor(
        PluginLibraryPath(), std::getenv(settings::kMachineSettingsVariable)));
    const plugin::RunEnvironment env{*ui, userStore, machineStore, plugin::HandoffFilePath(),
                                     parametersRequested};
    plugin::RunFilter({record, result}, env);
}

void Dispatch(std::int16_t selector, void* record, std::int16_t& result) {
    auto* filter = static_cast<FilterRecord*>(record);
    switch (selector) {
        case FILTER_SELECTOR_ABOUT:
            About(static_cast<const AboutRecord*>(record));
            break;
        case FILTER_SELECTOR_PARAMETERS:
            parametersRequested = true;
            break;
        case FILTER_SELECTOR_PREPARE:
            // Memory is taken through the buffer procs as it is needed.
            if (filter != nullptr) filter->maxSpace = filter->bufferSpace = 0;
            break;
        case FILTER_SELECTOR_START:
            if (filter != nullptr) Start(*filter, result);
            parametersRequested = false;
            break;
        case FILTER_SELECTOR_CONTINUE:
            // Everything was handed over in the start step.
            if (filter != nullptr) filter->inRect = filter->outRect = filter->maskRect = {};
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" void PluginMain(std::int16_t selector, void* record, std::intptr_t*,
                           std::int16_t* result) {
    if (result == nullptr) return;
    *result = FILTER_RESULT_OK;
    // Nothing may unwind into the host. Pixel memory never throws; this
    // catches the small containers.
    try {
        Dispatch(selector, record, *result);
    } catch (const std::bad_alloc&) {
        platform::StderrSink().Show(text::kAllocMemError2);
        *result = FILTER_RESULT_OUT_OF_MEMORY;
    } catch (...) {
        platform::StderrSink().Show("Quillon: internal error");
        *result = FILTER_RESULT_REPORTED;
    }
}
