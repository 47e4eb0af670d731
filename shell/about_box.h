#pragma once

#include <QDialog>

#include "core/app_facts.h"

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
    // The box's parts from top to bottom, each at its fixed place: the program's picture, title,
    // version and description; the home page's picture and link; the engraved rule; the
    // disclaimer and OK.
    void addHeading();
    void addHomePageLink();
    void addDivider();
    void addFooter();
    void Form_Load();

    AddressOpener& addresses_;
    Version version_;
    QLabel* lblVersion_ = nullptr;
    QLabel* lblDescription_ = nullptr;
    QLabel* lblDisclaimer_ = nullptr;
};

}  // namespace plimbrook
