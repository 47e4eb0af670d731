#include "shell/startup.h"

#include <QFileInfo>

#include <filesystem>

#include "core/app_facts.h"

namespace plimbrook {

bool Module1::CheckDataFile(const QString& path, Dialogs& dialogs) {
    const QFileInfo file(path);
    if (file.isFile() && !file.isHidden()) {
        return true;
    }
    dialogs.ShowMessage(
        "You are missing a vital data file, you will need to reinstall the program to fix this "
        "error.  This application will now close.",
        MessageIcon::Critical, std::string(kAppTitle));
    return false;
}

QString templatePath(const QString& applicationDir) {
    const std::filesystem::path folder(applicationDir.toStdU16String());
    return QString::fromStdU16String(templatePathIn(folder).u16string());
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            return true;
        }
    }
    return false;
}

}  // namespace plimbrook
