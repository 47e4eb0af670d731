#include "shell/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QToolTip>

#include "shell/add_label.h"
#include "shell/address_opener.h"
#include "shell/clickable_label.h"
#include "shell/help_texts.h"
#include "shell/paragraph_label.h"
#include "shell/qt_text.h"
#include "shell/svg_picture.h"
#include "shell/twips.h"
#include "shell/ui_fonts.h"
#include "shell/window_icon.h"

namespace plimbrook {

namespace {

SvgPicture* addPicture(QWidget* parent, const char* name, const QString& source,
                       const QRect& geometry) {
    auto* picture = new SvgPicture(source, parent);
    picture->setObjectName(QLatin1String(name));
    picture->setGeometry(geometry);
    return picture;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// One stroke of the engraved rule: a dark line with a light one just below it.
QWidget* addRule(QWidget* parent, int index, const QRect& geometry, const QColor& colour) {
    auto* line = new QWidget(parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setProperty("index", index);
    line->setGeometry(geometry);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    return line;
}

}  // namespace

About::About(AddressOpener& addresses, const Version& version, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      addresses_(addresses),
      version_(version) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(programIcon());
    setFixedSize(twips(5730), twips(3225));
    setFont(ui_fonts::controlFont());
    QToolTip::setFont(ui_fonts::controlFont());

    addHeading();
    addHomePageLink();
    addDivider();
    addFooter();

    Form_Load();
}

void About::addHeading() {
    addPicture(this, "Image1", QStringLiteral(":/icons/plimbrook.svg"),
               twipRect(60, 330, 960, 960));

    auto* lblTitle =
        addLabel(this, "lblTitle", twipRect(1230, 90, 3885, 240), toQString(help::kAboutTitle));
    setTextColour(lblTitle, Qt::black);
    lblVersion_ = addLabel(this, "lblVersion", twipRect(1230, 360, 3885, 240));
    lblDescription_ =
        addLabel<ParagraphLabel>(this, "lblDescription", twipRect(1230, 900, 3885, 1230));
    lblDescription_->setWordWrap(true);
    setTextColour(lblDescription_, Qt::black);
}

void About::addHomePageLink() {
    auto* urlImage = addPicture(this, "URLIMG", QStringLiteral(":/icons/home-page.svg"),
                                twipRect(5190, 1950, 480, 480));
    urlImage->setToolTip(toQString(help::kHomePagePictureTip));
    urlImage->setCursor(Qt::PointingHandCursor);
    connect(urlImage, &ClickableLabel::clicked, this, &About::URLIMG_Click);

    auto* urlLabel = addLabel<ClickableLabel>(this, "URLLBL", twipRect(3360, 2430, 2295, 195),
                                              toQString(help::kHomePage));
    urlLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextColour(urlLabel, QColor(0, 0, 255));
    QFont underlined = urlLabel->font();
    underlined.setUnderline(true);
    urlLabel->setFont(underlined);
    urlLabel->setToolTip(toQString(help::kHomePageLinkTip));
    urlLabel->setCursor(Qt::PointingHandCursor);
    connect(urlLabel, &ClickableLabel::clicked, this, &About::URLLBL_Click);
}

void About::addDivider() {
    // Line1(1) from (90, 2685) and Line1(0) from (105, 2700), both to x = 5654.
    addRule(this, 1, QRect(twips(90), twips(2685), twips(5654) - twips(90), 1),
            QColor(128, 128, 128));
    addRule(this, 0, QRect(twips(105), twips(2700), twips(5654) - twips(105), 2), Qt::white);
}

void About::addFooter() {
    lblDisclaimer_ = addLabel(this, "lblDisclaimer", twipRect(90, 2820, 3870, 300));
    setTextColour(lblDisclaimer_, Qt::black);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipRect(4380, 2790, 1245, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &About::cmdOK_Click);

    // Only the button takes the focus; the labels' tab positions order nothing focusable.
    cmdOK->setFocus();
}

void About::Form_Load() {
    lblDescription_->setText(toQString(help::kAboutDescription));
    lblVersion_->setText(QStringLiteral("Version: ") + toQString(versionText(version_)));
    lblDisclaimer_->setText(toQString(help::kAboutDisclaimer));
}

void About::cmdOK_Click() {
    accept();
}

void About::URLIMG_Click() {
    addresses_.OpenAddress(this, toQString(help::kHomePage));
}

void About::URLLBL_Click() {
    URLIMG_Click();
}

}  // namespace plimbrook
