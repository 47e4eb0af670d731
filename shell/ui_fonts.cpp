#include "shell/ui_fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QStringList>

namespace plimbrook::ui_fonts {

namespace {

// The windows are laid out in 96-DPI pixels, so the point sizes are taken at 96 DPI as well;
// a display that reports another DPI then scales text and layout alike.
constexpr double kPixelsPerPoint = 96.0 / 72.0;

// The first family the system really has: a family it lacks resolves to another one. Matching a
// family loads its font files, and every control asks for its font, so each list is matched
// once; the fonts do not change while the program runs.
QFont firstAvailable(const QStringList& families, double points) {
    static QHash<QStringList, QString> chosen;
    auto found = chosen.find(families);
    if (found == chosen.end()) {
        QString match;
        for (const QString& family : families) {
            // Qt names a family found at several foundries "Family [foundry]".
            const QString name =
                QFontInfo(QFont(family)).family().section(QStringLiteral(" ["), 0, 0);
            if (name.compare(family, Qt::CaseInsensitive) == 0) {
                match = family;
                break;
            }
        }
        found = chosen.insert(families, match);
    }
    QFont font;
    if (!found->isEmpty()) {
        font.setFamily(*found);
    }
    font.setPixelSize(qRound(points * kPixelsPerPoint));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

void loadBundledFonts() {
    static bool loaded = false;
    if (loaded) {
        return;
    }
    loaded = true;
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        return;
    }
    for (const char* path :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QString::fromLatin1(path))) {
            QFontDatabase::addApplicationFont(QString::fromLatin1(path));
        }
    }
}

QFont controlFont() {
    // Plain DejaVu Sans, Debian's default sans, is about 10 % wider than Tahoma and clips
    // "Open BBD Comment ->" and "Comment:"; its condensed cut (fonts-dejavu-extra) is within
    // 3 % of Tahoma's widths, and Nimbus Sans (fonts-urw-base35) still fits every caption.
    return firstAvailable({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                           QStringLiteral("Nimbus Sans")},
                          8.25);
}

QFont creditFont() {
    // DejaVu Sans, grown from Bitstream Vera, has Verdana's wide, open letters and still fits.
    return firstAvailable({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")}, 9.75);
}

QFont frameFont() {
    return firstAvailable({QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"),
                           QStringLiteral("DejaVu Sans Condensed")},
                          8.25);
}

}  // namespace plimbrook::ui_fonts
