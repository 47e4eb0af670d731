#pragma once

#include <QIcon>

namespace plimbrook {

// The picture in both windows' title bars and in the desktop's task switcher: at each size the
// program's icon is installed in (16 to 256 pixels) the PNG drawn for that size, and at any other
// size its SVG, so that it is sharp wherever it is shown.
QIcon programIcon();

}  // namespace plimbrook
