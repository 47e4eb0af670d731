#pragma once

#include <QDialog>

#include "app_facts.h"

class QLabel;
class QPushButton;

namespace plimbrook {

class AddressOpener;
class ClickableLabel;

// About: the modal box behind "&About". It is built afresh for every opening, so its load step
// sets the texts each time.
class About : public QDialog {
    Q_OBJECT

public:
    // The home page's link hands its address to `addresses`.
    About(AddressOpener& addresses, const Version& version, QWidget* parent = nullptr);

private slots:
    void cmdOK_Click();
    void URLIMG_Click();
    void URLLBL_Click();

private:
    void Form_Load();

    AddressOpener& addresses_;
    Version version_;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblDescription_ = nullptr;
    QLabel* lblDisclaimer_ = nullptr;
};

}  // namespace plimbrook
