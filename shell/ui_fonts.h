#pragma once

#include <QFont>
#include <QString>

namespace plimbrook::ui_fonts {

// Makes a Tahoma-metric font known to Qt where the system ships one as a plain file (Debian's
// fonts-wine) rather than through fontconfig. Safe to call more than once.
void loadBundledFonts();

// The windows' controls: Tahoma 8.25 pt, or the narrowest fallback that keeps every caption whole.
QFont controlFont();
// The credit line: Verdana 9.75 pt, or its closest stand-in.
QFont creditFont();
// The frame's own font, MS Sans Serif 8.25 pt; it has no caption, so only its children show text.
QFont frameFont();

}  // namespace plimbrook::ui_fonts
