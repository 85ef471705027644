// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start-up: shows the main window and, given a path, draws and checks that file.
#include "core/files/fileio.hpp"
#include "shell/modRegistry.hpp"
#include "shell/startup.hpp"
#include "ui/Form1.hpp"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    ravik::fileio::treatLimitsAsErrors();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ravik"));
    QApplication::setApplicationVersion(QStringLiteral(RAVIK_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ravik")));
    QGuiApplication::setDesktopFileName(QStringLiteral("ravik"));

    const QString argumentText = QString::fromStdString(ravik::shell::argumentText(argc, argv));
    ravik::Form1 main(
        [](const ravik::StatusSink& appendLine) { ravik::shell::RegisterGAP(appendLine); });
    main.show();
#ifdef RAVIK_WITH_RECORDING
    if (const auto folder = ravik::shell::packFolder(argumentText.toStdString()))
        main.openPack(QString::fromStdString(*folder));
    else
#endif
        main.startWith(argumentText);
    return QApplication::exec();
}
