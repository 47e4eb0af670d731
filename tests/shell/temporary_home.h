#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include "tests/support/golden_files.h"

namespace plimbrook::testing {

// The program keeps no settings, so the tests run with a home of their own that must stay empty.
struct TemporaryHome {
    QTemporaryDir dir;
    TemporaryHome() {
        qputenv("HOME", dir.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral(".config")).toUtf8());
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral(".cache")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral(".local/share")).toUtf8());
    }
    QStringList files() const { return plimbrook::testing::snapshotTree(dir.path()).keys(); }
};

}  // namespace plimbrook::testing
