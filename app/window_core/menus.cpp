#include "app/window_core/menus.h"

#include "text/messages.h"

namespace quillon::app {

namespace {

// String numbers of the menu texts.
constexpr int kTextOptions = 36;
constexpr int kTextExit = 66;
constexpr int kTextDelete = 73;
constexpr int kTextHelpMenu = 76;
constexpr int kTextAbout = 77;
constexpr int kTextFile = 80;
constexpr int kTextTools = 81;
constexpr int kTextOpenIn = 82;
constexpr int kTextHelp = 83;
constexpr int kTextExternalEditor = 84;
constexpr int kTextSelectAll = 89;
constexpr int kTextRefresh = 90;

std::string TextOf(const platform::TextSource& texts, int id) {
    return std::string(texts.Text(id));
}

MenuEntry Entry(MenuCommand command, std::string text, std::string_view key = {}) {
    if (!key.empty()) text += "\t" + std::string(key);
    return {command, std::move(text), key};
}

}  // namespace

std::vector<Menu> BuildMenus(WindowVariant variant, std::string_view viewerName,
                             const platform::TextSource& texts) {
    Menu file{TextOf(texts, kTextFile), {}};
    if (TraitsOf(variant).hasFileList) {
        const std::string name =
            viewerName.empty() ? TextOf(texts, kTextExternalEditor) : std::string(viewerName);
        file.entries.push_back(
            Entry(MenuCommand::kOpenIn, text::FormatText(texts.Text(kTextOpenIn), name), "Ctrl+O"));
        file.entries.push_back(
            Entry(MenuCommand::kSelectAll, TextOf(texts, kTextSelectAll), "Ctrl+A"));
        file.entries.push_back(Entry(MenuCommand::kRefresh, TextOf(texts, kTextRefresh), "Ctrl+R"));
        file.entries.push_back(Entry(MenuCommand::kDelete, TextOf(texts, kTextDelete)));
    }
    file.entries.push_back(Entry(MenuCommand::kExit, TextOf(texts, kTextExit)));
    Menu tools{TextOf(texts, kTextTools),
               {Entry(MenuCommand::kOptions, TextOf(texts, kTextOptions) + "...")}};
    Menu help{TextOf(texts, kTextHelpMenu),
              {Entry(MenuCommand::kHelp, TextOf(texts, kTextHelp), "F1"),
               Entry(MenuCommand::kAbout, TextOf(texts, kTextAbout))}};
    return {std::move(file), std::move(tools), std::move(help)};
}

std::vector<std::string_view> AcceleratorKeys(WindowVariant variant) {
    if (TraitsOf(variant).hasFileList) return {"F1", "Ctrl+O", "Ctrl+A", "Ctrl+R"};
    return {"F1"};
}

bool MenuEntryEnabled(MenuCommand command, const ControlEnabling& enabling) {
    switch (command) {
        case MenuCommand::kOpenIn:
            return enabling.openIn;
        case MenuCommand::kDelete:
            return enabling.deleteFiles && enabling.menus;
        case MenuCommand::kExit:
            return enabling.cancel;
        default:
            return enabling.menus;
    }
}

}  // namespace quillon::app
