#pragma once

#include <QString>

#include "window_commands/dialogs.h"

namespace plimbrook {

// Module1::CheckDataFile: looks for the header template among ordinary files only: a directory
// of that name, a hidden file, a file shorter than a header or no file at all counts as missing.
// When it is missing the user is told through `dialogs`, and false means the program must end now.
namespace Module1 {
bool CheckDataFile(const QString& path, Dialogs& dialogs);
}

// Where the template lies: beside the program.
QString templatePath(const QString& applicationDir);

// Whether Qt has any display to open: without one it would abort in its platform plugin.
bool hasDisplay();

}  // namespace plimbrook
