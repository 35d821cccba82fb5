#include "app/window/about_dialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/window/drawn_images.h"
#include "app/window_core/window_variant.h"

namespace quillon::app {

namespace {

QString Description(AboutVariant variant) {
    if (variant == AboutVariant::kPlugin) {
        return QStringLiteral(
            "The lens correction of Quillon as a filter of an image editor: barrel and "
            "pincushion distortion from a calibrated lens database, chromatic aberration, "
            "vignetting, perspective and fisheye images, applied to the open document.");
    }
    return QStringLiteral(
        "Corrects the optical faults of photographs: barrel and pincushion distortion from a "
        "calibrated lens database, lateral chromatic aberration, vignetting, converging lines "
        "and fisheye images. JPEG and TIFF files keep their metadata.");
}

// What the software is built with, each with the notice its licence asks for.
QString Credits() {
    return QStringLiteral(
        "<p><b>Built with</b></p>"
        "<p><b>libjpeg-turbo</b>: this software is based in part on the work of the "
        "Independent JPEG Group. IJG licence, BSD 3-clause licence and zlib licence.</p>"
        "<p><b>libtiff</b>: Copyright &copy; 1988-1997 Sam Leffler, Copyright &copy; "
        "1991-1997 Silicon Graphics, Inc. libtiff licence (permissive, BSD-like).</p>"
        "<p><b>zlib</b>: Copyright &copy; 1995-2022 Jean-loup Gailly and Mark Adler. "
        "zlib licence.</p>"
        "<p><b>Little CMS (lcms2)</b>: Copyright &copy; 1998-2023 Marti Maria Saguer. "
        "MIT licence.</p>"
        "<p><b>Qt 6</b>: Copyright &copy; The Qt Company Ltd. and other contributors. "
        "GNU Lesser General Public License version 3; Qt is linked dynamically and may be "
        "replaced by a compatible build.</p>"
        "<p><b>Lens data</b>: calibration data derived from the lensfun database "
        "(lensfun.github.io), licence CC BY-SA 3.0, adapted (crop factors restated). The "
        "lens database Quillon.dat is distributed under the same licence.</p>");
}

}  // namespace

AboutDialog::AboutDialog(AboutVariant variant, UrlOpener openUrl, QWidget* parent)
    : QDialog(parent), openUrl_(std::move(openUrl)) {
    setObjectName(QStringLiteral("ABOUT"));
    setWindowTitle(QStringLiteral("About Quillon"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);

    auto* heading = new QLabel(QString::fromStdString(AboutHeading()), this);
    heading->setObjectName(QStringLiteral("AboutHeading"));
    QFont large = heading->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.4);
    heading->setFont(large);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(heading, 1);
    layout->addLayout(top);

    auto* description = new QLabel(Description(variant), this);
    description->setObjectName(QStringLiteral("AboutDescription"));
    description->setWordWrap(true);
    layout->addWidget(description);

    auto* credits = new QLabel(Credits(), this);
    credits->setObjectName(QStringLiteral("AboutCredits"));
    credits->setWordWrap(true);
    credits->setTextFormat(Qt::RichText);
    layout->addWidget(credits);

    const QString address = QString::fromLatin1(kWebAddress);
    auto* link = new QLabel(QStringLiteral("<a href=\"https://%1\">%1</a>").arg(address), this);
    link->setObjectName(QStringLiteral("AboutLink"));
    link->setAccessibleName(address);
    link->setCursor(Qt::PointingHandCursor);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link, &QLabel::linkActivated, this, [this](const QString& url) {
        (void)openUrl_(QUrl(url));
        accept();
    });
    layout->addWidget(link);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OkButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(480);
    setMaximumWidth(560);
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
    QDialog::mousePressEvent(event);
    accept();
}

void ShowAboutDialog(QWidget* parent, AboutVariant variant, UrlOpener openUrl) {
    if (!openUrl) openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    AboutDialog dialog(variant, std::move(openUrl), parent);
    dialog.exec();
}

}  // namespace quillon::app
