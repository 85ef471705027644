// Saves a picture of the main window with the bundled example loaded, for the README:
//   build/tests/ui_screenshot examples/speech.gap docs/main-window.png
#include "Form1.hpp"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: ui_screenshot GAPFILE PNGFILE\n");
        return 2;
    }
    ravik::Form1 window([](const ravik::StatusSink&) {});
    window.show();
    window.startWith(QString::fromLocal8Bit(argv[1]));
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "ui_screenshot: could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
