#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/window_core/enabling.h"
#include "app/window_core/window_variant.h"
#include "platform/text_source.h"

// The main window's menu bar and accelerators as data: which menus and
// entries a variant has, their texts (built again after every Options dialog,
// since the viewer's name is part of one), the keys and when each entry may
// be used.

namespace quillon::app {

enum class MenuCommand : int {
    kOpenIn = 40001,
    kSelectAll = 40002,
    kRefresh = 40003,
    kDelete = 40004,
    kExit = 40005,
    kOptions = 40006,
    kAbout = 40007,
    kHelp = 40008,
};

struct MenuEntry {
    MenuCommand command;
    // With the key after a tab when it has one ("Select All\tCtrl+A").
    std::string text;
    // Portable key text of the accelerator ("Ctrl+A", "F1"); empty for none.
    std::string_view key;
};

struct Menu {
    std::string title;
    std::vector<MenuEntry> entries;
};

// The menus of `variant` in their order: File, Tools, Help. `viewerPath` is
// the ViewerPath setting, whose name the first File entry shows; `viewerName`
// reads a desktop entry's Name (see ViewerName).
std::vector<Menu> BuildMenus(WindowVariant variant, std::string_view viewerName,
                             const platform::TextSource& texts);

// The accelerator keys of `variant`: F1 alone in the editor and the plug-in's
// dialog; F1, Ctrl+O, Ctrl+A and Ctrl+R in the folder browser.
std::vector<std::string_view> AcceleratorKeys(WindowVariant variant);

// Whether the entry may be used now.
bool MenuEntryEnabled(MenuCommand command, const ControlEnabling& enabling);

}  // namespace quillon::app
