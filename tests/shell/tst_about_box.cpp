#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "about_box.h"
#include "main_window.h"
#include "scripted_platform.h"
#include "shell_test_support.h"
#include "ui_fonts.h"

using plimbrook::About;
using plimbrook::Version;
using plimbrook::testing::ScriptedPlatform;

namespace {

template <typename T = QWidget>
T* part(const QWidget& about, const char* name) {
    return about.findChild<T*>(QLatin1String(name));
}

QWidget* rule(const QWidget& about, int index) {
    for (QWidget* line : about.findChildren<QWidget*>(QStringLiteral("Line1"))) {
        if (line->property("index").toInt() == index) {
            return line;
        }
    }
    return nullptr;
}

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }

    void window();
    void controls_data();
    void controls();
    void engravedRule();
    void texts_data();
    void texts();
    void captionsFit_data();
    void captionsFit();
    void link();
    void pictures();
    void closing_data();
    void closing();
    void sameAddressEverywhere();
    void twoOpeningsFromTheWindow();
};

void AboutBoxTest::window() {
    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));

    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.size(), QSize(382, 215));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    const Qt::WindowFlags flags = about.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(about.windowIcon().availableSizes().contains(QSize(16, 16)));

    auto* ok = part<QPushButton>(about, "cmdOK");
    QCOMPARE(QApplication::focusWidget(), ok);
    QVERIFY(ok->isDefault());
    // Only the button can take the focus.
    QTest::keyClick(ok, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ok);
}

void AboutBoxTest::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("Image1") << "Image1" << QRect(4, 22, 64, 64) << "";
    QTest::newRow("lblTitle") << "lblTitle" << QRect(82, 6, 259, 16) << "";
    QTest::newRow("lblVersion") << "lblVersion" << QRect(82, 24, 259, 16) << "";
    QTest::newRow("lblDescription") << "lblDescription" << QRect(82, 60, 259, 82) << "";
    QTest::newRow("URLIMG") << "URLIMG" << QRect(346, 130, 32, 32) << "Open homepage.";
    QTest::newRow("URLLBL") << "URLLBL" << QRect(224, 162, 153, 13)
                            << "Visit the Wexmoor-Soft Homepage.";
    QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(6, 188, 258, 20) << "";
    QTest::newRow("cmdOK") << "cmdOK" << QRect(292, 186, 83, 23) << "";
}

void AboutBoxTest::controls() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, toolTip);

    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    QWidget* widget = about.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), &about);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->toolTip(), toolTip);
}

// Line1(1): grey, 1 pixel, from (90, 2685) to (5654, 2685); Line1(0): white, 2 pixels, from
// (105, 2700) to (5654, 2700).
void AboutBoxTest::engravedRule() {
    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    QCOMPARE(about.findChildren<QWidget*>(QStringLiteral("Line1")).size(), 2);
    QWidget* dark = rule(about, 1);
    QWidget* light = rule(about, 0);
    QVERIFY(dark && light);
    QCOMPARE(dark->geometry(), QRect(6, 179, 371, 1));
    QCOMPARE(light->geometry(), QRect(7, 180, 370, 2));

    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QImage shot = about.grab().toImage();
    QCOMPARE(shot.pixelColor(100, 179), QColor(128, 128, 128));
    QCOMPARE(shot.pixelColor(100, 180), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(100, 181), QColor(Qt::white));
    QVERIFY(shot.pixelColor(100, 182) != QColor(Qt::white));
}

void AboutBoxTest::texts_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("version");

    QTest::newRow("1.0.0") << 1 << 0 << 0 << "Version: 1.0";
    QTest::newRow("2.5.7") << 2 << 5 << 7 << "Version: 2.7";
}

void AboutBoxTest::texts() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, version);

    ScriptedPlatform desktop;
    About about(desktop, Version{major, minor, revision});
    QCOMPARE(part<QLabel>(about, "lblTitle")->text(), QStringLiteral("Super Wild Card Plimbrook"));
    QCOMPARE(part<QLabel>(about, "lblVersion")->text(), version);
    QCOMPARE(part<QLabel>(about, "lblDescription")->text(),
             QStringLiteral("This program converts the Super Wild Card 'BBD' (Battery Backup Data) "
                            "to an SRM (SRAM) file that most/all emulators can read."));
    QCOMPARE(part<QLabel>(about, "lblDisclaimer")->text(),
             QStringLiteral("Note: I am not responsible for anything you do."));
    QCOMPARE(part<QPushButton>(about, "cmdOK")->text(), QStringLiteral("OK"));

    const QColor black(Qt::black);
    for (const char* name : {"lblTitle", "lblDescription", "lblDisclaimer"}) {
        QCOMPARE(part(about, name)->palette().color(QPalette::WindowText), black);
    }
    QCOMPARE(part(about, "lblVersion")->palette().color(QPalette::WindowText),
             QApplication::palette(part(about, "lblVersion")).color(QPalette::WindowText));
}

void AboutBoxTest::captionsFit_data() {
    QTest::addColumn<QString>("family");
    QTest::newRow("as_chosen") << "";
    QTest::newRow("fallback") << "DejaVu Sans Condensed";
    QTest::newRow("second_fallback") << "Nimbus Sans";
}

void AboutBoxTest::captionsFit() {
    QFETCH(QString, family);
    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    if (!plimbrook::testing::forceControlFamily(about, family)) {
        QSKIP("the fallback font is not installed");
    }
    for (const char* name : {"lblTitle", "lblVersion", "lblDisclaimer", "URLLBL"}) {
        auto* label = part<QLabel>(about, name);
        const QFontMetrics metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), name);
        QVERIFY2(metrics.ascent() <= label->height(), name);
    }
    auto* description = part<QLabel>(about, "lblDescription");
    const QRect needed = QFontMetrics(description->font())
                             .boundingRect(QRect(0, 0, description->width(), 1000),
                                           Qt::TextWordWrap, description->text());
    QVERIFY(needed.height() <= description->height());
    auto* ok = part<QPushButton>(about, "cmdOK");
    QVERIFY(QFontMetrics(ok->font()).horizontalAdvance(ok->text()) <= ok->width() - 6);
}

void AboutBoxTest::link() {
    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    auto* label = part<QLabel>(about, "URLLBL");
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(label->font().underline());
    QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
}

void AboutBoxTest::pictures() {
    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    for (const char* name : {"Image1", "URLIMG"}) {
        auto* picture = part<QLabel>(about, name);
        QVERIFY2(picture->hasScaledContents(), name);
        const QPixmap pixmap = picture->pixmap();
        QVERIFY2(!pixmap.isNull(), name);
        QCOMPARE(pixmap.size(), QSize(32, 32));
    }
}

// OK (mouse or Enter), Escape and the close box all end the box.
void AboutBoxTest::closing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("ok_click") << "click";
    QTest::newRow("enter") << "enter";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close_box") << "close";
}

void AboutBoxTest::closing() {
    QFETCH(QString, how);
    ScriptedPlatform desktop;
    About about(desktop, plimbrook::kVersion);
    QSignalSpy finished(&about, &QDialog::finished);
    about.show();
    QVERIFY(QTest::qWaitForWindowActive(&about));

    if (how == QLatin1String("click")) {
        QTest::mouseClick(part<QPushButton>(about, "cmdOK"), Qt::LeftButton);
    } else if (how == QLatin1String("enter")) {
        QTest::keyClick(&about, Qt::Key_Return);
    } else if (how == QLatin1String("escape")) {
        QTest::keyClick(&about, Qt::Key_Escape);
    } else {
        QVERIFY(about.close());
    }
    QCOMPARE(finished.count(), 1);
    QVERIFY(!about.isVisible());
    QVERIFY(desktop.addresses.empty());
}

// The link label and picture name the about box as owner, the menu item the main window; all
// three hand over the one address, the one the label shows. The box stays open throughout.
void AboutBoxTest::sameAddressEverywhere() {
    plimbrook::testing::AppDir appDir;
    ScriptedPlatform desktop;
    plimbrook::Form1 form(appDir.path(), plimbrook::kVersion, &desktop);
    QVERIFY(form.Form_Load());
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    const void* aboutHandle = nullptr;
    QString shown;
    plimbrook::testing::whenShown<About>([&](About* about) {
        aboutHandle = static_cast<const QWidget*>(about);
        shown = part<QLabel>(*about, "URLLBL")->text();
        QTest::mouseClick(part(*about, "URLLBL"), Qt::LeftButton);
        QTest::mouseClick(part(*about, "URLIMG"), Qt::LeftButton);
        QTest::mouseClick(part(*about, "URLLBL"), Qt::LeftButton);
        QVERIFY(about->isVisible());
        QTest::mouseClick(part<QPushButton>(*about, "cmdOK"), Qt::LeftButton);
    });
    QTest::keyClick(&form, Qt::Key_F1);
    // Offscreen there is no window manager to hand the activation back.
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F5);

    QCOMPARE(desktop.addresses.size(), std::size_t(4));
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(desktop.addresses[i].owner, aboutHandle);
        QCOMPARE(QString::fromStdString(desktop.addresses[i].address), shown);
    }
    QCOMPARE(desktop.addresses[3].owner, static_cast<const void*>(&form));
    QCOMPARE(QString::fromStdString(desktop.addresses[3].address), shown);
    QVERIFY(desktop.messages.empty());
}

// "&About" and F1 show the box modal and return once it is gone. Each opening builds it afresh:
// a text changed while it was open is back on the next one. The close box ends it like OK.
void AboutBoxTest::twoOpeningsFromTheWindow() {
    plimbrook::testing::AppDir appDir;
    ScriptedPlatform desktop;
    plimbrook::Form1 form(appDir.path(), Version{2, 5, 7}, &desktop);
    QVERIFY(form.Form_Load());
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QList<QStringList> seen;
    for (int opening = 0; opening < 2; ++opening) {
        plimbrook::testing::whenShown<About>([&](About* about) {
            QStringList texts;
            for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "lblDisclaimer"}) {
                texts << part<QLabel>(*about, name)->text();
                part<QLabel>(*about, name)->setText(QStringLiteral("changed"));
            }
            seen << texts;
            QVERIFY(about->isModal());
            if (opening == 0) {
                about->close();
            } else {
                QTest::keyClick(about, Qt::Key_Escape);
            }
        });
        if (opening == 0) {
            QVERIFY(plimbrook::testing::clickMenuItem(form, "mnuHelp", "mnuAbout"));
        } else {
            QTest::keyClick(&form, Qt::Key_F1);
        }
        QCOMPARE(seen.size(), opening + 1);
        const auto tops = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(tops.begin(), tops.end(),
                             [](QWidget* w) { return qobject_cast<About*>(w) != nullptr; }));
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }
    QCOMPARE(seen[0], seen[1]);
    QCOMPARE(seen[0][1], QStringLiteral("Version: 2.7"));
    QVERIFY(form.isVisible());
}

QTEST_MAIN(AboutBoxTest)
#include "tst_about_box.moc"
