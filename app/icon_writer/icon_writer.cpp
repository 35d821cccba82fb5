// quillon-icons: writes the program's icon for the desktop, as the build
// installs it: quillon.svg and quillon-<size>.png for the usual sizes.
//
//   quillon-icons FOLDER
//
// Drawn with the same code as the windows' icon; no display is needed.

#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/window/program_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon-icons FOLDER\n");
        return 1;
    }
    const std::string folder = argv[1];
    std::ofstream svg(folder + "/quillon.svg", std::ios::binary);
    svg << quillon::app::ProgramIconSvg();
    if (!svg.flush()) {
        std::fprintf(stderr, "quillon-icons: cannot write %s/quillon.svg\n", folder.c_str());
        return 1;
    }
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        quillon::app::PaintProgramIcon(painter, side);
        painter.end();
        const std::string path = folder + "/quillon-" + std::to_string(side) + ".png";
        if (!image.save(QString::fromStdString(path), "PNG")) {
            std::fprintf(stderr, "quillon-icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
