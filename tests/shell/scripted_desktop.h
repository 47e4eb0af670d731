#pragma once

#include <string>
#include <vector>

#include <QString>

#include "shell/address_opener.h"
#include "tests/support/scripted_dialogs.h"

namespace plimbrook::testing {

// The scripted dialogs, plus a record of every web address the window hands to the desktop.
class ScriptedDesktop : public ScriptedDialogs, public AddressOpener {
public:
    struct Hint {
        const void* owner;
        std::string address;
    };

    std::vector<Hint> addresses;

    void OpenAddress(const QWidget* owner, const QString& address) override {
        addresses.push_back({owner, address.toStdString()});
    }
};

}  // namespace plimbrook::testing
