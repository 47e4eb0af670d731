#pragma once

#include <QIcon>

namespace plimbrook {

// The 16 x 16 picture in both windows' title bars.
inline QIcon windowIcon16() {
    return QIcon(QStringLiteral(":/icons/window-16.png"));
}

}  // namespace plimbrook
