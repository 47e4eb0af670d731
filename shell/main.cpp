#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include "core/files/file_access.h"
#include "core/files/standard_descriptors.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/ui_fonts.h"

int main(int argc, char* argv[]) {
    // Before anything opens a file or the display connection.
    plimbrook::openClosedStandardDescriptors();

    // Qt would abort in its platform plugin with a long story; one line says it better.
    if (!plimbrook::hasDisplay()) {
        std::fputs(
            "plimbrook: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
            "not set)\n",
            stderr);
        return EXIT_FAILURE;
    }

    // A save left half-done by a logout or a lost display must not leave its temporary behind.
    plimbrook::removeTemporariesOnTermination();

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(PLIMBROOK_ID));
    plimbrook::ui_fonts::loadBundledFonts();

    // applicationDirPath() resolves the link in bin/, so the template is found beside the
    // program itself.
    plimbrook::Form1 form(QCoreApplication::applicationDirPath());
    if (!form.Form_Load()) {
        return EXIT_FAILURE;
    }
    form.show();

    // Files named on the command line, as the desktop's "Open with" passes them, go as a drop.
    QStringList files;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        files << QFileInfo(argument).absoluteFilePath();
    }
    if (!files.isEmpty()) {
        QTimer::singleShot(0, &form, [&form, files] { form.ConvertGivenFiles(files); });
    }
    return app.exec();
}
