#include "shell/startup.h"

#include <QFileInfo>

#include <filesystem>

#include "core/app_facts.h"
#include "core/bbd_layout.h"

namespace plimbrook {

bool Module1::CheckDataFile(const QString& path, Dialogs& dialogs) {
    const QFileInfo file(path);
    // A template cut short would give every BBD file a header the copier cannot read.
    if (file.isFile() && !file.isHidden() && file.size() >= qint64(layout::kHeaderSize)) {
        return true;
    }
    dialogs.ShowMessage(std::string(kMissingTemplateText), MessageIcon::Critical,
                        std::string(kAppTitle));
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
