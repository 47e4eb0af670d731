#include "shell/address_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace plimbrook {

void DesktopAddressOpener::OpenAddress(const QWidget* /*owner*/, const QString& address) {
    // Qt hands the address to the desktop with no owner window; the answer is not looked at.
    QDesktopServices::openUrl(QUrl(address));
}

}  // namespace plimbrook
