#pragma once

#include <QString>

class QWidget;

namespace plimbrook {

// The hand-off of a web address to the desktop's handler: the about box's link and the
// "Goto Wexmoor-Soft" menu item. Tests record the addresses instead.
class AddressOpener {
public:
    virtual ~AddressOpener() = default;

    // `owner` is the window the request comes from; the outcome is not looked at.
    virtual void OpenAddress(const QWidget* owner, const QString& address) = 0;
};

// The desktop's own handler, through Qt.
class DesktopAddressOpener final : public AddressOpener {
public:
    void OpenAddress(const QWidget* owner, const QString& address) override;
};

}  // namespace plimbrook
