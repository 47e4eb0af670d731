#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "shell/about_box.h"
#include "shell/main_window.h"
#include "shell/ui_fonts.h"
#include "tests/shell/scripted_desktop.h"
#include "tests/shell/shell_test_support.h"

using plimbrook::About;
using plimbrook::Version;
using plimbrook::testing::ScriptedDesktop;

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

// What `widget` draws into an image `scale` times as fine as itself; at scale 0, as the screen
// shows it.
QImage drawnAt(QWidget* widget, qreal scale) {
    if (scale == 0) {
        return widget->grab().toImage();
    }
    QImage image((QSizeF(widget->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QImage onBackground(const QImage& image, const QColor& background) {
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(background);
    QImage source = image;
    source.setDevicePixelRatio(1);
    QPainter painter(&flat);
    painter.drawImage(0, 0, source);
    return flat;
}

// Mean difference of two images of one size, per colour channel, from 0 to 255.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            sum +=
                qAbs(p.red() - q.red()) + qAbs(p.green() - q.green()) + qAbs(p.blue() - q.blue());
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

// The runs of rows of `image` that carry any ink, as first and last row.
QList<QPair<int, int>> inkedRows(const QImage& image, const QColor& background) {
    QList<QPair<int, int>> runs;
    const int paper = qGray(background.rgb());
    for (int y = 0; y < image.height(); ++y) {
        bool inked = false;
        for (int x = 0; x < image.width() && !inked; ++x) {
            inked = paper - qGray(image.pixel(x, y)) > 24;
        }
        if (inked && !runs.isEmpty() && runs.last().second == y - 1) {
            runs.last().second = y;
        } else if (inked) {
            runs.append({y, y});
        }
    }
    return runs;
}

}  // namespace

class TestAboutBox : public QObject {
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
    void picturesSharp_data();
    void picturesSharp();
    void descriptionLinesApart_data();
    void descriptionLinesApart();
    void opensCentredOverTheWindow();
    void closing_data();
    void closing();
    void sameAddressEverywhere();
    void twoOpeningsFromTheWindow();
};

void TestAboutBox::window() {
    ScriptedDesktop desktop;
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
    QVERIFY(about.windowIcon().availableSizes().contains(QSize(256, 256)));

    auto* ok = part<QPushButton>(about, "cmdOK");
    QCOMPARE(QApplication::focusWidget(), ok);
    QVERIFY(ok->isDefault());
    // Only the button can take the focus.
    QTest::keyClick(ok, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ok);
}

void TestAboutBox::controls_data() {
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

void TestAboutBox::controls() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, toolTip);

    ScriptedDesktop desktop;
    About about(desktop, plimbrook::kVersion);
    QWidget* widget = about.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), &about);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->toolTip(), toolTip);
}

// Line1(1): grey, 1 pixel, from (90, 2685) to (5654, 2685); Line1(0): white, 2 pixels, from
// (105, 2700) to (5654, 2700).
void TestAboutBox::engravedRule() {
    ScriptedDesktop desktop;
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

void TestAboutBox::texts_data() {
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("version");

    QTest::newRow("1.0.0") << 1 << 0 << 0 << "Version: 1.0";
    QTest::newRow("2.5.7") << 2 << 5 << 7 << "Version: 2.7";
}

void TestAboutBox::texts() {
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, version);

    ScriptedDesktop desktop;
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

void TestAboutBox::captionsFit_data() {
    QTest::addColumn<QString>("family");
    QTest::newRow("as_chosen") << "";
    QTest::newRow("fallback") << "DejaVu Sans Condensed";
    QTest::newRow("second_fallback") << "Nimbus Sans";
}

void TestAboutBox::captionsFit() {
    QFETCH(QString, family);
    ScriptedDesktop desktop;
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

void TestAboutBox::link() {
    ScriptedDesktop desktop;
    About about(desktop, plimbrook::kVersion);
    auto* label = part<QLabel>(about, "URLLBL");
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(label->font().underline());
    QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
}

// At each scale the pictures are drawn from their sources at the resolution of the device: they
// match what another renderer makes of the same source at that size, where a small bitmap
// stretched to fit would come out blurred. Scale 0 is the screen's own.
void TestAboutBox::picturesSharp_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("source");
    QTest::addColumn<qreal>("scale");
    for (const auto& [name, source] :
         {std::pair{"Image1", "plimbrook"}, std::pair{"URLIMG", "home-page"}}) {
        for (const qreal scale : {0.0, 1.0, 1.25, 2.0, 3.0}) {
            QTest::addRow("%s_%g", name, scale) << name << source << scale;
        }
    }
}

void TestAboutBox::picturesSharp() {
    QFETCH(QString, name);
    QFETCH(QString, source);
    QFETCH(qreal, scale);
    ScriptedDesktop desktop;
    About about(desktop, plimbrook::kVersion);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QWidget* picture = about.findChild<QWidget*>(name);
    QVERIFY(picture);

    const QColor background = about.palette().color(QPalette::Window);
    const QImage shown = onBackground(drawnAt(picture, scale), background);
    const QString file =
        QStringLiteral(PLIMBROOK_TEST_PICTURES "/%1-%2.png").arg(source).arg(shown.width());
    const QImage reference(file);
    QVERIFY2(!reference.isNull(), qPrintable(file));
    QCOMPARE(shown.size(), reference.size());
    const double off = meanDifference(shown, onBackground(reference, background));
    QVERIFY2(off < 3.0, qPrintable(QString::number(off)));
}

// Each line of the description stands apart from the next, descenders clear of the capitals
// below, in every font the box may get and at any scale; and none is cut off at the bottom.
void TestAboutBox::descriptionLinesApart_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("scale");
    for (const auto& [row, family] :
         {std::pair{"as_chosen", ""}, std::pair{"fallback", "DejaVu Sans Condensed"},
          std::pair{"second_fallback", "Nimbus Sans"}}) {
        for (const qreal scale : {0.0, 1.0, 1.25, 1.5, 2.0}) {
            QTest::addRow("%s_%g", row, scale) << family << scale;
        }
    }
}

void TestAboutBox::descriptionLinesApart() {
    QFETCH(QString, family);
    QFETCH(qreal, scale);
    ScriptedDesktop desktop;
    About about(desktop, plimbrook::kVersion);
    if (!plimbrook::testing::forceControlFamily(about, family)) {
        QSKIP("the fallback font is not installed");
    }
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    auto* description = part<QLabel>(about, "lblDescription");
    const int lines = QFontMetrics(description->font())
                          .boundingRect(QRect(0, 0, description->width(), 1000), Qt::TextWordWrap,
                                        description->text())
                          .height() /
                      QFontMetrics(description->font()).lineSpacing();
    QVERIFY(lines >= 2);

    const QColor paper = about.palette().color(QPalette::Window);
    const QImage shown = onBackground(drawnAt(description, scale), paper);
    const auto runs = inkedRows(shown, paper);
    QCOMPARE(runs.size(), lines);
    QVERIFY(runs.last().second < shown.height() - 1);
}

// Over the middle of the main window, wherever that is, frame and all.
void TestAboutBox::opensCentredOverTheWindow() {
    plimbrook::testing::AppDir appDir;
    ScriptedDesktop desktop;
    plimbrook::Form1 form(appDir.path(), plimbrook::kVersion, &desktop, &desktop);
    QVERIFY(form.Form_Load());
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Off the middle of the screen, where a box placed on the screen would land as well.
    form.move(form.screen()->availableGeometry().topLeft() + QPoint(40, 30));
    QTRY_COMPARE(form.pos(), form.screen()->availableGeometry().topLeft() + QPoint(40, 30));

    QRect box;
    plimbrook::testing::whenShown<About>([&](About* about) {
        QVERIFY(QTest::qWaitForWindowExposed(about));
        box = about->frameGeometry();
        about->accept();
    });
    QTest::keyClick(&form, Qt::Key_F1);
    const QPoint off = box.center() - form.frameGeometry().center();
    QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
             qPrintable(QStringLiteral("%1, %2").arg(off.x()).arg(off.y())));
}

// OK (mouse or Enter), Escape and the close box all end the box.
void TestAboutBox::closing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("ok_click") << "click";
    QTest::newRow("enter") << "enter";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close_box") << "close";
}

void TestAboutBox::closing() {
    QFETCH(QString, how);
    ScriptedDesktop desktop;
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
void TestAboutBox::sameAddressEverywhere() {
    plimbrook::testing::AppDir appDir;
    ScriptedDesktop desktop;
    plimbrook::Form1 form(appDir.path(), plimbrook::kVersion, &desktop, &desktop);
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
void TestAboutBox::twoOpeningsFromTheWindow() {
    plimbrook::testing::AppDir appDir;
    ScriptedDesktop desktop;
    plimbrook::Form1 form(appDir.path(), Version{2, 5, 7}, &desktop, &desktop);
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

QTEST_MAIN(TestAboutBox)
#include "tst_about_box.moc"
