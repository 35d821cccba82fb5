#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

// The About box of the program and of the plug-in: the heading with the
// version and the build's word size, what the software does, the credits and
// licences of what it is built with, and the web address, opened with the
// desktop's URL opener. Enter, Esc, OK or a click anywhere closes it.

namespace quillon::app {

enum class AboutVariant { kProgram, kPlugin };

// The web address the About box shows (opened with the https scheme).
inline constexpr const char* kWebAddress = "www.velmora.example";

using UrlOpener = std::function<bool(const QUrl&)>;

class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    AboutDialog(AboutVariant variant, UrlOpener openUrl, QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    UrlOpener openUrl_;
};

// Shows the modal About box; `openUrl` defaults to the desktop's opener.
void ShowAboutDialog(QWidget* parent, AboutVariant variant, UrlOpener openUrl = {});

}  // namespace quillon::app
