#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "shell/address_opener.h"
#include "shell/main_window.h"
#include "shell/qt_dialogs.h"
#include "shell/ui_fonts.h"
#include "tests/shell/shell_test_support.h"
#include "tests/support/golden_files.h"

using plimbrook::MessageIcon;
using plimbrook::QtDialogs;
using plimbrook::testing::whenShown;

namespace {

constexpr const char* kSramFilters = "All Files (*.*)|*.*|SRAM Save File (*.srm)|*.srm";
constexpr const char* kBbdFilters = "All Files (*.*)|*.*|BBD File (*.bbd)|*.bbd";

// Waits inside a dialog's own event loop until `ready` holds, so the file list is loaded.
bool settle(const std::function<bool()>& ready) {
    QElapsedTimer clock;
    clock.start();
    while (!ready() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return ready();
}

QStringList enabledFilesShown(QFileDialog* dialog) {
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QStringList names;
    if (view == nullptr) {
        return names;
    }
    QAbstractItemModel* model = view->model();
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex index = model->index(row, 0, root);
        if (model->flags(index) & Qt::ItemIsEnabled) {
            names << index.data().toString();
        }
    }
    names.sort();
    return names;
}

void typeFileName(QFileDialog* dialog, const QString& path) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit != nullptr);
    // Once the dialog is active the name box has the keyboard, as when a user types into it.
    QTRY_VERIFY(edit->hasFocus());
    edit->setText(path);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Types into the dialog's name box key by key, as a user does, and presses Enter.
void typeAndEnter(QFileDialog* dialog, const QString& text, bool* acceptEnabled = nullptr) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit != nullptr);
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
    if (acceptEnabled) {
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons != nullptr);
        QPushButton* accept = buttons->button(QDialogButtonBox::Open);
        accept = accept ? accept : buttons->button(QDialogButtonBox::Save);
        QVERIFY(accept != nullptr);
        *acceptEnabled = accept->isEnabled();
    }
    QTest::keyClick(edit, Qt::Key_Return);
}

bool sameFont(const QFont& shown, const QFont& expected) {
    const QFontInfo a(shown);
    const QFontInfo b(expected);
    return a.family() == b.family() && a.pixelSize() == b.pixelSize();
}

// Answers every message box that shows while it lives with Yes, or OK, and remembers its text.
// A file dialog still waiting after that is cancelled, so a wrong refusal ends the prompt.
class MessageAnswerer : public QObject {
public:
    QStringList texts;

    MessageAnswerer() {
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            texts << box->text();
            QPointer<QFileDialog> dialog = qobject_cast<QFileDialog*>(box->parentWidget());
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            QTest::mouseClick(yes ? yes : box->button(QMessageBox::Ok), Qt::LeftButton);
            QTimer::singleShot(0, [dialog] {
                if (dialog && dialog->isVisible()) {
                    dialog->reject();
                }
            });
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
};

// The program keeps no settings, so the tests run with a home of their own that must stay empty.
struct TemporaryHome {
    QTemporaryDir dir;
    TemporaryHome() {
        qputenv("HOME", dir.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral(".config")).toUtf8());
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral(".cache")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral(".local/share")).toUtf8());
    }
    QStringList files() const { return plimbrook::testing::snapshotTree(dir.path()).keys(); }
};
// Set before the application reads its environment.
const TemporaryHome temporaryHome;

}  // namespace

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestQtDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { plimbrook::ui_fonts::loadBundledFonts(); }

    void init() {
        QVERIFY(dir.isValid());
        for (const char* name :
             {"GAME.BBD", "save.bbd", "Zelda.SRM", "mario.srm", "README", "notes.txt"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void filterListShowsDescriptionsAndMatchesAsMeant_data() {
        QTest::addColumn<QString>("filters");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("shownFilter");
        QTest::addColumn<QStringList>("files");

        const QStringList everything = {"GAME.BBD",  "README",    "Zelda.SRM",
                                        "mario.srm", "notes.txt", "save.bbd"};
        QTest::newRow("bbd-second")
            << kBbdFilters << 2 << "BBD File (*.bbd)" << QStringList{"GAME.BBD", "save.bbd"};
        QTest::newRow("srm-second") << kSramFilters << 2 << "SRAM Save File (*.srm)"
                                    << QStringList{"Zelda.SRM", "mario.srm"};
        QTest::newRow("all-files-take-names-without-a-dot")
            << kSramFilters << 1 << "All Files (*.*)" << everything;
    }

    void filterListShowsDescriptionsAndMatchesAsMeant() {
        QFETCH(QString, filters);
        QFETCH(int, index);
        QFETCH(QString, shownFilter);
        QFETCH(QStringList, files);
        std::sort(files.begin(), files.end());

        QWidget owner;
        QtDialogs dialogs(&owner);
        QStringList shown;
        QString combo;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            dialog->setDirectory(dir.path());
            settle([&] { return enabledFilesShown(dialog).size() == files.size(); });
            shown = enabledFilesShown(dialog);
            auto* box = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            combo = box ? box->currentText() : QString();
            dialog->reject();
        });
        const auto answer = dialogs.PromptOpenFile("Open", filters.toStdString(), index);
        QVERIFY(!answer.has_value());
        QCOMPARE(combo, shownFilter);
        QCOMPARE(shown, files);
    }

    // Each prompt starts on the path chosen last, whichever kind of prompt chose it.
    void filePromptsStartOnTheLastPath() {
        QWidget owner;
        QtDialogs dialogs(&owner);
        const QString save = dir.filePath(QStringLiteral("mario.srm"));
        QString openTitle;
        QString openFilter;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            openTitle = dialog->windowTitle();
            openFilter = dialog->selectedNameFilter();
            QCOMPARE(dialog->objectName(), QStringLiteral("CommonDialog1"));
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
            typeFileName(dialog, save);
        });
        const auto opened = dialogs.PromptOpenFile("Open SRAM File", kSramFilters, 2);
        QCOMPARE(opened, std::optional<std::string>(save.toStdString()));
        QCOMPARE(openTitle, QStringLiteral("Open SRAM File"));
        QVERIFY(openFilter.startsWith(QStringLiteral("SRAM Save File (*.srm)")));

        QStringList startedOn;
        QString saveTitle;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            QCOMPARE(dialog->objectName(), QStringLiteral("CommonDialog1"));
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            saveTitle = dialog->windowTitle();
            startedOn = dialog->selectedFiles();
            typeFileName(dialog, dir.filePath(QStringLiteral("new.bbd")));
        });
        const auto saved = dialogs.PromptSaveFile("Save BBD File", kBbdFilters, 2);
        QCOMPARE(saveTitle, QStringLiteral("Save BBD File"));
        QCOMPARE(startedOn, QStringList{save});
        QCOMPARE(saved, std::optional<std::string>(dir.filePath("new.bbd").toStdString()));
    }

    void cancelledFilePromptGivesNoPathAndKeepsTheLastOne() {
        QWidget owner;
        QtDialogs dialogs(&owner);
        const QString save = dir.filePath(QStringLiteral("Zelda.SRM"));
        whenShown<QFileDialog>([&](QFileDialog* dialog) { typeFileName(dialog, save); });
        QVERIFY(dialogs.PromptOpenFile("Open SRAM File", kSramFilters, 2).has_value());

        whenShown<QFileDialog>([&](QFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(dialogs.PromptOpenFile("Open BBD File", kBbdFilters, 2), std::nullopt);

        QStringList startedOn;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            startedOn = dialog->selectedFiles();
            dialog->reject();
        });
        dialogs.PromptSaveFile("Save SRAM File", kSramFilters, 2);
        QCOMPARE(startedOn, QStringList{save});
    }

    // A name with double quotes in it comes back as that name, typed or offered, and a save over
    // it asks first, naming it. A whole name in quotes is read as Qt reads it.
    void quotedNamesComeBackWhole_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("questions");

        const QString quoted = QStringLiteral("say \"hi\".srm");
        const QStringList replace = {
            quoted + QStringLiteral(" already exists.\nDo you want to replace it?")};
        QTest::newRow("open") << "open" << quoted << quoted << QStringList();
        QTest::newRow("open-whole-path")
            << "open" << dir.filePath(quoted) << quoted << QStringList();
        QTest::newRow("save-new") << "save"
                                  << "new \"x\".bbd"
                                  << "new \"x\".bbd" << QStringList();
        QTest::newRow("save-over-it") << "save" << quoted << quoted << replace;
        QTest::newRow("save-as-offered") << "open-then-save" << quoted << quoted << replace;
        QTest::newRow("whole-name-in-quotes") << "open"
                                              << "\"mario.srm\""
                                              << "mario.srm" << QStringList();
    }

    void quotedNamesComeBackWhole() {
        QFETCH(QString, kind);
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        QFETCH(QStringList, questions);
        QFile named(dir.filePath(QStringLiteral("say \"hi\".srm")));
        QVERIFY(named.open(QIODevice::WriteOnly));
        named.close();

        QWidget owner;
        QtDialogs dialogs(&owner);
        MessageAnswerer answerer;
        std::optional<std::string> answer;
        QList<bool> acceptEnabled;
        const auto type = [&](const QString& text) {
            whenShown<QFileDialog>([&, text](QFileDialog* dialog) {
                dialog->setDirectory(dir.path());
                bool enabled = false;
                typeAndEnter(dialog, text, &enabled);
                acceptEnabled << enabled;
            });
        };
        if (kind == QLatin1String("open-then-save")) {
            type(typed);
            QVERIFY(dialogs.PromptOpenFile("Open SRAM File", kSramFilters, 2).has_value());
            // Enter alone takes the name the prompt starts with.
            type(QString());
            answer = dialogs.PromptSaveFile("Save BBD File", kBbdFilters, 2);
        } else {
            type(typed);
            answer = kind == QLatin1String("open")
                         ? dialogs.PromptOpenFile("Open SRAM File", kSramFilters, 2)
                         : dialogs.PromptSaveFile("Save BBD File", kBbdFilters, 2);
        }
        QCOMPARE(answerer.texts, questions);
        QCOMPARE(QString::fromStdString(answer.value_or("(none)")), dir.filePath(chosen));
        // The mouse can take the name too.
        QVERIFY(!acceptEnabled.contains(false));
    }

    // A name typed and entered before the dialog has read its folder: once the folder is read,
    // the prompt is over, and nothing of the dialog may show up over the main window and keep
    // the keyboard from it.
    void endedPromptLeavesTheKeyboardToTheWindow() {
        plimbrook::testing::AppDir appDir;
        QTemporaryDir saves;
        const QString bbd = saves.filePath(QStringLiteral("game.bbd"));
        QFile file(bbd);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(33'280, ' ')) == 33'280);
        file.close();
        plimbrook::Form1 form(appDir.path());
        QVERIFY(form.Form_Load());
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));

        QPointer<QFileSystemModel> model;
        std::unique_ptr<QSignalSpy> loaded;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            model = dialog->findChild<QFileSystemModel*>();
            QVERIFY(model);
            loaded = std::make_unique<QSignalSpy>(model.data(), &QFileSystemModel::directoryLoaded);
            typeAndEnter(dialog, bbd);
        });
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("BBDCommentCMD")),
                          Qt::LeftButton);
        QVERIFY(loaded);
        QTRY_VERIFY(model.isNull() || loaded->count() > 0);
        QCoreApplication::processEvents();

        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        for (QWidget* window : QApplication::topLevelWidgets()) {
            QVERIFY2(window == &form || !window->isVisible(), window->metaObject()->className());
        }
        // Offscreen there is no window manager to hand the activation back.
        form.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &form);
        QString tips;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            tips = box->windowTitle();
            box->accept();
        });
        // Where the keyboard is now, as a user's key would go.
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_F2);
        QCOMPARE(tips, QStringLiteral("Simple Tips"));
    }

    // Qt's file dialog keeps its history and last folder in a file of the user's; the program
    // writes no file but those the user chooses.
    void filePromptsWriteNoSettings() {
        {
            QWidget owner;
            QtDialogs dialogs(&owner);
            whenShown<QFileDialog>(
                [&](QFileDialog* dialog) { typeAndEnter(dialog, dir.filePath("mario.srm")); });
            QVERIFY(dialogs.PromptOpenFile("Open SRAM File", kSramFilters, 2).has_value());
            whenShown<QFileDialog>([&](QFileDialog* dialog) { dialog->reject(); });
            QVERIFY(!dialogs.PromptSaveFile("Save BBD File", kBbdFilters, 2).has_value());
        }
        QCOMPARE(temporaryHome.files().join(" "), QString());
    }

    // 77 characters of comment, all in view at once, in the window's font.
    void commentPromptShowsAWholeField_data() {
        QTest::addColumn<QString>("comment");
        QTest::newRow("sentence")
            << "Zelda: Link to the Past, 3 hearts; Death Mountain done, next: Tower of Hera!!";
        QTest::newRow("capitals") << "SUPER MARIO WORLD - 96 EXITS - SPECIAL ZONE CLEARED - "
                                     "ALL FOUR SWITCH PALACES";
        QTest::newRow("digits") << QStringLiteral("0123456789").repeated(8).left(77);
    }

    void commentPromptShowsAWholeField() {
        QFETCH(QString, comment);
        QCOMPARE(comment.size(), 77);
        QWidget owner;
        QtDialogs dialogs(&owner);
        bool sameAsWindow = false;
        int firstInView = -1;
        whenShown<QInputDialog>([&](QInputDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>();
            QVERIFY(edit);
            sameAsWindow = sameFont(edit->font(), plimbrook::ui_fonts::controlFont());
            edit->setText(comment);
            edit->end(false);
            // The box scrolls its text as it paints.
            edit->repaint();
            // With the end of the text in view, the first character is still at the left edge.
            firstInView =
                edit->cursorPositionAt(QPoint(edit->contentsRect().left() + 4, edit->height() / 2));
            dialog->accept();
        });
        dialogs.PromptText("Please enter a Comment", "Enter Comment", "");
        QVERIFY(sameAsWindow);
        QCOMPARE(firstInView, 0);
    }

    void textPromptConfirmedOrCancelled_data() {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ok-keeps-start-text") << true << QString() << "Enter a Comment and stuff.";
        QTest::newRow("ok-typed") << true << QStringLiteral("Zelda 100% é") << "Zelda 100% é";
        QTest::newRow("cancel-is-empty") << false << QStringLiteral("ignored") << QString();
    }

    void textPromptConfirmedOrCancelled() {
        QFETCH(bool, confirm);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QWidget owner;
        QtDialogs dialogs(&owner);
        QString title;
        QString label;
        QString start;
        whenShown<QInputDialog>([&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            label = dialog->labelText();
            start = dialog->textValue();
            QCOMPARE(dialog->inputMode(), QInputDialog::TextInput);
            if (!typed.isNull()) {
                dialog->setTextValue(typed);
            }
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QVERIFY(buttons != nullptr);
            QTest::mouseClick(
                buttons->button(confirm ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel),
                Qt::LeftButton);
        });
        const std::string answer = dialogs.PromptText("Please enter a Comment", "Enter Comment",
                                                      "Enter a Comment and stuff.");
        QCOMPARE(title, QStringLiteral("Enter Comment"));
        QCOMPARE(label, QStringLiteral("Please enter a Comment"));
        QCOMPARE(start, QStringLiteral("Enter a Comment and stuff."));
        QCOMPARE(QString::fromStdString(answer), expected);
    }

    // In the window's font, like the windows themselves.
    void messageHasTitleTextIconAndOneOkButton_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("expectedIcon");
        QTest::newRow("information")
            << int(MessageIcon::Information) << int(QMessageBox::Information);
        QTest::newRow("warning") << int(MessageIcon::Warning) << int(QMessageBox::Warning);
        QTest::newRow("critical") << int(MessageIcon::Critical) << int(QMessageBox::Critical);
    }

    void messageHasTitleTextIconAndOneOkButton() {
        QFETCH(int, icon);
        QFETCH(int, expectedIcon);
        QWidget owner;
        QtDialogs dialogs(&owner);
        QString title;
        QString text;
        int shownIcon = -1;
        int buttons = 0;
        bool inWindowFont = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            shownIcon = box->icon();
            buttons = int(box->buttons().size());
            inWindowFont = sameFont(box->font(), plimbrook::ui_fonts::controlFont());
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        dialogs.ShowMessage("SRAM file created.", MessageIcon(icon), "Dornquist");
        QCOMPARE(title, QStringLiteral("Dornquist"));
        QCOMPARE(text, QStringLiteral("SRAM file created."));
        QCOMPARE(shownIcon, expectedIcon);
        QCOMPARE(buttons, 1);
        QVERIFY(inWindowFont);
    }

    // The warning and the question: their buttons, and what each button and key answers.
    void questions_data() {
        QTest::addColumn<bool>("warning");   // else the choice of two sizes, the second default
        QTest::addColumn<QString>("press");  // a button's caption, "enter" or "escape"
        QTest::addColumn<int>("answer");     // the warning: 1 go on, 0 stop; the choice: -1 none
        QTest::newRow("warning_ok") << true << "OK" << 1;
        QTest::newRow("warning_enter") << true << "enter" << 1;
        QTest::newRow("warning_cancel") << true << "Cancel" << 0;
        QTest::newRow("warning_escape") << true << "escape" << 0;
        QTest::newRow("choice_first") << false << "Whole 32 KiB" << 0;
        QTest::newRow("choice_second") << false << "First 8 KiB" << 1;
        QTest::newRow("choice_enter_takes_default") << false << "enter" << 1;
        QTest::newRow("choice_cancel") << false << "Cancel" << -1;
        QTest::newRow("choice_escape") << false << "escape" << -1;
    }

    void questions() {
        QFETCH(bool, warning);
        QFETCH(QString, press);
        QFETCH(int, answer);
        QWidget owner;
        QtDialogs dialogs(&owner);
        QString title;
        int shownIcon = -1;
        QStringList captions;
        bool inWindowFont = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle() + '|' + box->text();
            shownIcon = box->icon();
            inWindowFont = sameFont(box->font(), plimbrook::ui_fonts::controlFont());
            QAbstractButton* target = nullptr;
            for (QAbstractButton* button : box->buttons()) {
                captions << button->text().remove(QLatin1Char('&'));
                target = captions.last() == press ? button : target;
            }
            if (target != nullptr) {
                QTest::mouseClick(target, Qt::LeftButton);
            } else {
                QTest::keyClick(box, press == "enter" ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        const int result =
            warning
                ? int(dialogs.ConfirmWarning("Go on?", "Dornquist"))
                : dialogs.PromptChoice("Which?", "Dornquist", {"Whole 32 KiB", "First 8 KiB"}, 1)
                      .value_or(-1);
        QCOMPARE(result, answer);
        QCOMPARE(title,
                 warning ? QStringLiteral("Dornquist|Go on?") : QStringLiteral("Dornquist|Which?"));
        QCOMPARE(shownIcon, int(warning ? QMessageBox::Warning : QMessageBox::Question));
        QVERIFY(inWindowFont);
        // Where each button sits is the desktop's layout policy; which buttons there are is ours.
        captions.sort();
        QCOMPARE(captions, warning ? QStringList({"Cancel", "OK"})
                                   : QStringList({"Cancel", "First 8 KiB", "Whole 32 KiB"}));
    }

    void addressIsHandedToTheDesktop() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
        plimbrook::DesktopAddressOpener addresses;
        addresses.OpenAddress(nullptr, QStringLiteral("http://wexmoor.example/"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(recorder.urls, QList<QUrl>{QUrl(QStringLiteral("http://wexmoor.example/"))});
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestQtDialogs)
#include "tst_qt_dialogs.moc"
