// The main window as it looks: its size and place, each control where it belongs with its
// caption and tip, captions whole in every font it may fall back to, the menus and the tab order.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QToolTip>

#include "shell/ui_fonts.h"
#include "tests/shell/main_window_fixture.h"

class TestMainWindowLayout : public QObject, private plimbrook::testing::MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void window();
    void controls_data();
    void controls();
    void captionsFit_data();
    void captionsFit();
    void menus_data();
    void menus();
    void focusAndTabOrder();
    void toolTipsInWindowFont_data();
    void toolTipsInWindowFont();
};

void TestMainWindowLayout::window() {
    showForm();
    QCOMPARE(form_->centralWidget()->size(), QSize(309, 144));
    QCOMPARE(form_->centralWidget()->geometry().top(), form_->menuBar()->geometry().bottom() + 1);
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QCOMPARE(form_->size(), form_->minimumSize());

    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(form_->frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form_->frameGeometry().center().y() - screen.center().y()) <= 1);

    QVERIFY(form_->windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(form_->windowIcon().availableSizes().contains(QSize(256, 256)));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Plimbrook (v1.0)"));
}

// Positions in pixels, 15 twips to the pixel, relative to each control's container.
void TestMainWindowLayout::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("Frame1") << "Frame1"
                            << "client" << QRect(4, 0, 301, 115) << ""
                            << "";
    QTest::newRow("BBDCommentCMD") << "BBDCommentCMD"
                                   << "Frame1" << QRect(8, 18, 125, 23) << "Open BBD Comment ->"
                                   << "Opens up a BBD file and loads the Comment.";
    QTest::newRow("S2BCMD") << "S2BCMD"
                            << "Frame1" << QRect(8, 42, 125, 23) << "SRAM -> BBD"
                            << "";
    QTest::newRow("B2SCMD") << "B2SCMD"
                            << "Frame1" << QRect(8, 66, 125, 23) << "BBD -> SRAM"
                            << "";
    QTest::newRow("Label1") << "Label1"
                            << "Frame1" << QRect(140, 14, 53, 15) << "Comment:"
                            << "";
    QTest::newRow("CommentTXT") << "CommentTXT"
                                << "Frame1" << QRect(140, 30, 153, 61)
                                << "Enter a Comment and stuff."
                                << "Text in this box will be saved in the BBD file's Comment area.";
    QTest::newRow("Wexmoor_SoftLBL") << "Wexmoor_SoftLBL"
                                     << "Frame1" << QRect(138, 94, 155, 13) << ""
                                     << "";
    QTest::newRow("QuitCMD") << "QuitCMD"
                             << "client" << QRect(204, 120, 99, 19) << "Done"
                             << "";
}

void TestMainWindowLayout::controls() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);

    QWidget* widget = form_->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->toolTip(), toolTip);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), caption);
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        QCOMPARE(box->toPlainText(), caption);
    } else if (auto* label = qobject_cast<QLabel*>(widget); label && !caption.isEmpty()) {
        QCOMPARE(label->text(), caption);
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(frame->title(), QString());
    }
}

// Every caption must be whole in the fonts the window ends up with, fallbacks included.
void TestMainWindowLayout::captionsFit_data() {
    QTest::addColumn<QString>("family");
    QTest::newRow("as_chosen") << "";
    QTest::newRow("fallback") << "DejaVu Sans Condensed";
    QTest::newRow("second_fallback") << "Nimbus Sans";
}

void TestMainWindowLayout::captionsFit() {
    QFETCH(QString, family);
    if (!plimbrook::testing::forceControlFamily(*form_, family)) {
        QSKIP("the fallback font is not installed");
    }
    showForm();
    if (family.isEmpty()) {
        const QFontInfo controlFont(control("S2BCMD")->font());
        const QStringList fitting = {"Tahoma", "DejaVu Sans Condensed", "Nimbus Sans"};
        const QString found = controlFont.family().section(QStringLiteral(" ["), 0, 0);
        QVERIFY2(fitting.contains(found), qPrintable(found));
        QCOMPARE(controlFont.pixelSize(), 11);
        QCOMPARE(QFontInfo(control("Wexmoor_SoftLBL")->font()).pixelSize(), 13);
    }

    for (const char* name : {"BBDCommentCMD", "S2BCMD", "B2SCMD", "QuitCMD"}) {
        auto* button = qobject_cast<QPushButton*>(control(name));
        // Room for the button's bevel on either side.
        const int room = button->width() - 6;
        QVERIFY2(QFontMetrics(button->font()).horizontalAdvance(button->text()) <= room, name);
    }
    for (const char* name : {"Label1", "Wexmoor_SoftLBL"}) {
        auto* label = qobject_cast<QLabel*>(control(name));
        const QFontMetrics metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), name);
        QVERIFY2(metrics.ascent() <= label->height(), name);
    }
    auto* box = qobject_cast<QPlainTextEdit*>(control("CommentTXT"));
    QVERIFY(QFontMetrics(box->font()).horizontalAdvance(box->toPlainText()) <=
            box->viewport()->width() - 2 * int(box->document()->documentMargin()));

    auto* credit = qobject_cast<QLabel*>(control("Wexmoor_SoftLBL"));
    QVERIFY(credit->text().contains(QLatin1String("Wexmoor-Soft")));
    QVERIFY(credit->text().contains(QRegularExpression(QStringLiteral("\\b(19|20)\\d\\d\\b"))));
}

void TestMainWindowLayout::menus_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");

    QTest::newRow("mnuB2S") << "mnuFile" << 0 << "mnuB2S"
                            << "&Convert BBD -> SRAM" << QKeySequence(Qt::CTRL | Qt::Key_F1);
    QTest::newRow("mnuS2B") << "mnuFile" << 1 << "mnuS2B"
                            << "&Convert SRAM -> BBD" << QKeySequence(Qt::CTRL | Qt::Key_F2);
    QTest::newRow("mnuDmy1") << "mnuFile" << 2 << "mnuDmy1"
                             << "" << QKeySequence();
    QTest::newRow("mnuQuit") << "mnuFile" << 3 << "mnuQuit"
                             << "E&xit" << QKeySequence(Qt::CTRL | Qt::Key_X);
    QTest::newRow("mnuTips") << "mnuHelp" << 0 << "mnuTips"
                             << "&Tips" << QKeySequence(Qt::Key_F2);
    QTest::newRow("mnuDmy2") << "mnuHelp" << 1 << "mnuDmy2"
                             << "" << QKeySequence();
    QTest::newRow("mnuURL") << "mnuHelp" << 2 << "mnuURL"
                            << "Goto Wexmoor-Soft" << QKeySequence(Qt::Key_F5);
    QTest::newRow("mnuAbout") << "mnuHelp" << 3 << "mnuAbout"
                              << "&About" << QKeySequence(Qt::Key_F1);
}

void TestMainWindowLayout::menus() {
    QFETCH(QString, menu);
    QFETCH(int, position);
    QFETCH(QString, item);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);

    const QList<QAction*> bar = form_->menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0]->text(), QStringLiteral("&File"));
    QCOMPARE(bar[0]->menu()->objectName(), QStringLiteral("mnuFile"));
    QCOMPARE(bar[1]->text(), QStringLiteral("&Help"));
    QCOMPARE(bar[1]->menu()->objectName(), QStringLiteral("mnuHelp"));

    auto* owner = form_->findChild<QMenu*>(menu);
    QVERIFY(owner);
    QCOMPARE(owner->actions().size(), 4);
    QAction* action = owner->actions().at(position);
    QCOMPARE(action->objectName(), item);
    QCOMPARE(action->isSeparator(), caption.isEmpty());
    if (!action->isSeparator()) {
        QCOMPARE(action->text(), caption);
    }
    QCOMPARE(action->shortcut(), shortcut);
}

void TestMainWindowLayout::focusAndTabOrder() {
    showForm();
    QCOMPARE(QApplication::focusWidget(), control("QuitCMD"));
    const char* order[] = {"B2SCMD", "S2BCMD", "CommentTXT", "BBDCommentCMD", "QuitCMD"};
    for (const char* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(next));
    }
    for (const char* previous : {"BBDCommentCMD", "CommentTXT"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QLatin1String(previous));
    }
}

// Qt draws tooltips in a font of their own, which must be the window's.
void TestMainWindowLayout::toolTipsInWindowFont_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("BBDCommentCMD") << "BBDCommentCMD";
    QTest::newRow("CommentTXT") << "CommentTXT";
}

void TestMainWindowLayout::toolTipsInWindowFont() {
    QFETCH(QString, name);
    showForm();
    QWidget* widget = control(qPrintable(name));
    QHelpEvent help(QEvent::ToolTip, widget->rect().center(),
                    widget->mapToGlobal(widget->rect().center()));
    QApplication::sendEvent(widget, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), widget->toolTip());
    QWidget* tip = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->inherits("QTipLabel") && window->isVisible()) {
            tip = window;
        }
    }
    QVERIFY(tip);
    const QFontInfo shown(tip->font());
    const QFontInfo expected(plimbrook::ui_fonts::controlFont());
    QCOMPARE(shown.family(), expected.family());
    QCOMPARE(shown.pixelSize(), expected.pixelSize());
    QToolTip::hideText();
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_main_window_layout.moc"
