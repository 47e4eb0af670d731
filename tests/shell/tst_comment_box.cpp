#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "shell/comment_box.h"

using plimbrook::CommentBox;

namespace {

// Selects `count` characters ending at the end of the text.
void selectLast(CommentBox& box, int count) {
    QTextCursor cursor = box.textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, count);
    box.setTextCursor(cursor);
}

void prepare(CommentBox& box, const QString& start, int selected) {
    box.setPlainText(start);
    box.moveCursor(QTextCursor::End);
    if (selected > 0) {
        selectLast(box, selected);
    }
}

const QString kSmiley = QString::fromUtf8("\xF0\x9F\x98\x80");  // one character, two UTF-16 units

}  // namespace

class TestCommentBox : public QObject {
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void pasting_data();
    void pasting();
    void dropping();
    void inputMethod_data();
    void inputMethod();
    void windowShortcutWins_data();
    void windowShortcutWins();
    void contextMenuStillCuts();
    void contextMenuInTheBoxFont();
    void exactComment_data();
    void exactComment();
    void commentTextGoesToAndFromTheBox();
};

void TestCommentBox::typing_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");

    QTest::newRow("empty_box_stops_at_77") << "" << 0 << QString(100, 'a') << QString(77, 'a');
    QTest::newRow("last_character_fits") << QString(76, 'x') << 0 << "yz" << QString(76, 'x') + "y";
    QTest::newRow("full_box_takes_nothing") << QString(77, 'x') << 0 << "abc" << QString(77, 'x');
    QTest::newRow("selection_makes_room")
        << QString(77, 'x') << 5 << "abcdefg" << QString(72, 'x') + "abcde";
    QTest::newRow("short_text_untouched") << "Hi" << 0 << " there"
                                          << "Hi there";
}

void TestCommentBox::typing() {
    QFETCH(QString, start);
    QFETCH(int, selected);
    QFETCH(QString, typed);
    QFETCH(QString, result);

    CommentBox box;
    prepare(box, start, selected);
    QTest::keyClicks(&box, typed);
    QCOMPARE(box.toPlainText(), result);
    QVERIFY(box.length() <= CommentBox::kMaxLength);
}

void TestCommentBox::pasting_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("result");

    QTest::newRow("long_paste_cut") << "" << 0 << QString(100, 'p') << QString(77, 'p');
    QTest::newRow("fills_the_rest")
        << QString(70, 'x') << 0 << "0123456789" << QString(70, 'x') + "0123456";
    QTest::newRow("full_box_takes_nothing") << QString(77, 'x') << 0 << "abc" << QString(77, 'x');
    QTest::newRow("replaces_selection")
        << QString(77, 'x') << 3 << "abcdef" << QString(74, 'x') + "abc";
    QTest::newRow("pair_not_split")
        << QString(76, 'x') << 0 << kSmiley + kSmiley << QString(76, 'x') + kSmiley;
    QTest::newRow("multi_line") << "" << 0 << "one\ntwo"
                                << "one\ntwo";
}

void TestCommentBox::pasting() {
    QFETCH(QString, start);
    QFETCH(int, selected);
    QFETCH(QString, clipboard);
    QFETCH(QString, result);

    CommentBox box;
    prepare(box, start, selected);
    QApplication::clipboard()->setText(clipboard);
    box.show();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box.toPlainText(), result);
}

void TestCommentBox::dropping() {
    CommentBox box;
    box.resize(200, 80);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setPlainText(QString(60, 'x'));

    QMimeData data;
    data.setText(QString(40, 'd'));
    const QPointF at = box.viewport()->rect().bottomRight() - QPointF(5, 5);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &enter);
    QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &move);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &drop);

    QCOMPARE(box.toPlainText(), QString(60, 'x') + QString(17, 'd'));
}

void TestCommentBox::inputMethod_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QString>("result");

    QTest::newRow("long_commit_cut") << QString(75, 'x') << "abcd" << QString(75, 'x') + "ab";
    QTest::newRow("wide_character_counts_once")
        << QString(76, 'x') << kSmiley << QString(76, 'x') + kSmiley;
    QTest::newRow("pair_not_split")
        << QString(76, 'x') << kSmiley + kSmiley << QString(76, 'x') + kSmiley;
}

void TestCommentBox::inputMethod() {
    QFETCH(QString, start);
    QFETCH(QString, commit);
    QFETCH(QString, result);

    CommentBox box;
    prepare(box, start, 0);
    QInputMethodEvent event;
    event.setCommitString(commit);
    QApplication::sendEvent(&box, &event);
    QCOMPARE(box.toPlainText(), result);
}

// With the window's shortcuts handed to the box, Ctrl+X reaches the window's action; without
// them the editor would have cut.
void TestCommentBox::windowShortcutWins_data() {
    QTest::addColumn<bool>("handedOver");
    QTest::addColumn<int>("triggered");
    QTest::addColumn<QString>("left");

    QTest::newRow("window_shortcut") << true << 1 << "cut me";
    QTest::newRow("editor_alone") << false << 0 << "";
}

void TestCommentBox::windowShortcutWins() {
    QFETCH(bool, handedOver);
    QFETCH(int, triggered);
    QFETCH(QString, left);

    QMainWindow window;
    auto* box = new CommentBox(&window);
    window.setCentralWidget(box);
    QMenu* menu = window.menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = menu->addAction(QStringLiteral("E&xit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    if (handedOver) {
        box->setWindowShortcuts({quit->shortcut()});
    }
    QSignalSpy spy(quit, &QAction::triggered);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    box->setPlainText(QStringLiteral("cut me"));
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(spy.count(), triggered);
    QCOMPARE(box->toPlainText(), left);
}

void TestCommentBox::contextMenuStillCuts() {
    CommentBox box;
    box.setWindowShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X)});
    box.setPlainText(QStringLiteral("cut me"));
    box.selectAll();
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    QAction* cut = menu->findChild<QAction*>(QStringLiteral("edit-cut"));
    QVERIFY(cut);
    QVERIFY(cut->isEnabled());
    cut->trigger();
    QCOMPARE(box.toPlainText(), QString());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("cut me"));
}

// The menu is a window of its own; it must still take the box's font, not the desktop's.
void TestCommentBox::contextMenuInTheBoxFont() {
    CommentBox box;
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(11);
    box.setFont(font);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QPoint at = box.viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, box.viewport()->mapToGlobal(at));
    QApplication::sendEvent(box.viewport(), &event);
    QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
    QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu->findChild<QAction*>(QStringLiteral("edit-cut")));
    const QFontInfo shown(menu->font());
    QCOMPARE(shown.family(), QFontInfo(font).family());
    QCOMPARE(shown.pixelSize(), 11);
    menu->close();
}

// What was set comes back exactly until the text shown changes; then the text shown comes back,
// no-break spaces kept.
void TestCommentBox::exactComment_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("result");

    const QString set = QStringLiteral("A\u00A0B\r\nC\rD");
    QTest::newRow("untouched") << "" << set;
    QTest::newRow("typed") << "type" << QStringLiteral("A\u00A0B\nC\nDz");
    QTest::newRow("typed_then_undone") << "type_undo" << set;
    QTest::newRow("replaced_by_program") << "set_plain_text" << QStringLiteral("Other\u00A0text");
}

void TestCommentBox::exactComment() {
    QFETCH(QString, change);
    QFETCH(QString, result);

    CommentBox box;
    box.setComment(QStringLiteral("A\u00A0B\r\nC\rD"));
    box.moveCursor(QTextCursor::End);
    if (change.startsWith(QLatin1String("type"))) {
        QTest::keyClick(&box, Qt::Key_Z);
    }
    if (change == QLatin1String("type_undo")) {
        QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    } else if (change == QLatin1String("set_plain_text")) {
        box.setPlainText(QStringLiteral("Other\u00A0text"));
    }
    QCOMPARE(box.comment(), result);
}

// The commands reach the box through its comment field, in UTF-8 both ways.
void TestCommentBox::commentTextGoesToAndFromTheBox() {
    CommentBox box;
    plimbrook::CommentField& field = box;
    box.setPlainText(QStringLiteral("Zelda: 3 hearts"));
    QCOMPARE(field.commentText(), std::string("Zelda: 3 hearts"));
    field.setCommentText("Müde      ");
    QCOMPARE(box.toPlainText(), QStringLiteral("Müde      "));
}

QTEST_MAIN(TestCommentBox)
#include "tst_comment_box.moc"
