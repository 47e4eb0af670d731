// The file prompts: their filters, where each starts, names with quotes in them, the keyboard
// handed back once a prompt is over, and no settings file written.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "shell/main_window.h"
#include "shell/qt_dialogs.h"
#include "shell/ui_fonts.h"
#include "tests/shell/shell_test_support.h"
#include "tests/shell/temporary_home.h"

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

// Set before the application reads its environment.
const plimbrook::testing::TemporaryHome temporaryHome;

}  // namespace

class TestQtFilePrompts : public QObject {
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

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestQtFilePrompts)
#include "tst_qt_file_prompts.moc"
