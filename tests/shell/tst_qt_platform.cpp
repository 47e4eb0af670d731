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
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "comment_box.h"
#include "qt_platform.h"
#include "shell_test_support.h"
#include "window_platform.h"

using plimbrook::MessageIcon;
using plimbrook::QtPlatform;
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
    edit->setText(path);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestQtPlatform : public QObject {
    Q_OBJECT

private slots:
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
        QtPlatform platform(&owner);
        platform.commonDialog()->setDirectory(dir.path());
        QStringList shown;
        QString combo;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            settle([&] { return enabledFilesShown(dialog).size() == files.size(); });
            shown = enabledFilesShown(dialog);
            auto* box = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            combo = box ? box->currentText() : QString();
            dialog->reject();
        });
        const auto answer = platform.PromptOpenFile("Open", filters.toStdString(), index);
        QVERIFY(!answer.has_value());
        QCOMPARE(combo, shownFilter);
        QCOMPARE(shown, files);
    }

    void filePromptsShareOneDialogAndItsLastPath() {
        QWidget owner;
        QtPlatform platform(&owner);
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
        const auto opened = platform.PromptOpenFile("Open SRAM File", kSramFilters, 2);
        QCOMPARE(opened, std::optional<std::string>(save.toStdString()));
        QCOMPARE(openTitle, QStringLiteral("Open SRAM File"));
        QVERIFY(openFilter.startsWith(QStringLiteral("SRAM Save File (*.srm)")));

        QFileDialog* first = platform.commonDialog();
        QStringList startedOn;
        QString saveTitle;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            QCOMPARE(dialog, first);
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            saveTitle = dialog->windowTitle();
            startedOn = dialog->selectedFiles();
            typeFileName(dialog, dir.filePath(QStringLiteral("new.bbd")));
        });
        const auto saved = platform.PromptSaveFile("Save BBD File", kBbdFilters, 2);
        QCOMPARE(saveTitle, QStringLiteral("Save BBD File"));
        QCOMPARE(startedOn, QStringList{save});
        QCOMPARE(saved, std::optional<std::string>(dir.filePath("new.bbd").toStdString()));
    }

    void cancelledFilePromptGivesNoPathAndKeepsTheLastOne() {
        QWidget owner;
        QtPlatform platform(&owner);
        const QString save = dir.filePath(QStringLiteral("Zelda.SRM"));
        whenShown<QFileDialog>([&](QFileDialog* dialog) { typeFileName(dialog, save); });
        QVERIFY(platform.PromptOpenFile("Open SRAM File", kSramFilters, 2).has_value());

        whenShown<QFileDialog>([&](QFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(platform.PromptOpenFile("Open BBD File", kBbdFilters, 2), std::nullopt);

        QStringList startedOn;
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            startedOn = dialog->selectedFiles();
            dialog->reject();
        });
        platform.PromptSaveFile("Save SRAM File", kSramFilters, 2);
        QCOMPARE(startedOn, QStringList{save});
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
        QtPlatform platform(&owner);
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
        const std::string answer = platform.PromptText("Please enter a Comment", "Enter Comment",
                                                       "Enter a Comment and stuff.");
        QCOMPARE(title, QStringLiteral("Enter Comment"));
        QCOMPARE(label, QStringLiteral("Please enter a Comment"));
        QCOMPARE(start, QStringLiteral("Enter a Comment and stuff."));
        QCOMPARE(QString::fromStdString(answer), expected);
    }

    void messageHasTitleTextIconAndOneOkButton_data() {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("expectedIcon");
        QTest::newRow("information")
            << int(MessageIcon::Information) << int(QMessageBox::Information);
        QTest::newRow("warning") << int(MessageIcon::Warning) << int(QMessageBox::Warning);
        QTest::newRow("critical") << int(MessageIcon::Critical) << int(QMessageBox::Critical);
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
        QtPlatform platform(&owner);
        QString title;
        int shownIcon = -1;
        QStringList captions;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle() + '|' + box->text();
            shownIcon = box->icon();
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
                ? int(platform.ConfirmWarning("Go on?", "Dornquist"))
                : platform.PromptChoice("Which?", "Dornquist", {"Whole 32 KiB", "First 8 KiB"}, 1)
                      .value_or(-1);
        QCOMPARE(result, answer);
        QCOMPARE(title,
                 warning ? QStringLiteral("Dornquist|Go on?") : QStringLiteral("Dornquist|Which?"));
        QCOMPARE(shownIcon, int(warning ? QMessageBox::Warning : QMessageBox::Question));
        // Where each button sits is the desktop's layout policy; which buttons there are is ours.
        captions.sort();
        QCOMPARE(captions, warning ? QStringList({"Cancel", "OK"})
                                   : QStringList({"Cancel", "First 8 KiB", "Whole 32 KiB"}));
    }

    void addressIsHandedToTheDesktop() {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
        QtPlatform platform(nullptr);
        platform.OpenAddress(nullptr, "http://wexmoor.example/");
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(recorder.urls, QList<QUrl>{QUrl(QStringLiteral("http://wexmoor.example/"))});
    }

    void commentTextGoesToAndFromTheBox() {
        plimbrook::CommentBox box;
        QtPlatform desktop(nullptr);
        plimbrook::WindowPlatform platform(desktop, &box);
        box.setPlainText(QStringLiteral("Zelda: 3 hearts"));
        QCOMPARE(platform.commentText(), std::string("Zelda: 3 hearts"));
        platform.setCommentText("Müde      ");
        QCOMPARE(box.toPlainText(), QStringLiteral("Müde      "));
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestQtPlatform)
#include "tst_qt_platform.moc"
