#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "plugin/host_api.h"

// A filter plug-in loaded from its shared library: its entry point and what its
// properties say about where it goes and which documents it takes.

namespace quillon::host {

struct PluginInfo {
    std::string name;      // the menu item
    std::string category;  // the submenu
    std::uint32_t interfaceVersion = 0;
    std::string enabledWhen;  // the enable expression; empty = always
    FilterPoint32 largest{};  // the largest document it takes; 0 = no limit
    bool rgb = false;         // takes RGB documents
    bool scriptable = false;
    const FilterTerminology* terminology = nullptr;  // null when not exported
};

class PluginLibrary {
  public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library and reads its properties. False with `error` set when
    // it cannot be loaded or is no filter for this architecture.
    bool Load(const std::string& path, std::string& error);

    FilterEntryPoint entry() const { return entry_; }
    const PluginInfo& info() const { return info_; }
    // "Filter > Velmora > Quillon".
    std::string MenuEntry() const;

  private:
    void* handle_ = nullptr;
    FilterEntryPoint entry_ = nullptr;
    PluginInfo info_;
};

// Evaluates an enable expression for a document. Names are prefixed "HOST_"
// (ImageMode, ImageDepth); the operators are "in (x, a, b...)", "==", "&&",
// "||" and parentheses. Nothing when the expression cannot be read.
std::optional<bool> EvaluateEnableExpression(std::string_view expression, bool rgb, int depth);

// The filter may be applied to an RGB document of this depth and size.
bool PluginEnabledFor(const PluginInfo& info, int depth, std::int32_t width, std::int32_t height);

}  // namespace quillon::host
