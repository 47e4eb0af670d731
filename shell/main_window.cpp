#include "shell/main_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include "shell/about_box.h"
#include "shell/add_label.h"
#include "shell/address_opener.h"
#include "shell/comment_box.h"
#include "shell/help_texts.h"
#include "shell/qt_dialogs.h"
#include "shell/qt_text.h"
#include "shell/startup.h"
#include "shell/twips.h"
#include "shell/ui_fonts.h"
#include "shell/window_icon.h"

namespace plimbrook {

namespace {

QPushButton* addButton(QWidget* parent, const char* name, const QString& caption,
                       const QRect& geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFont(ui_fonts::controlFont());
    // Enter presses the focused button, as Space does and as in a dialog.
    button->setAutoDefault(true);
    return button;
}

}  // namespace

Form1::Form1(const QString& applicationDir, const Version& version, Dialogs* dialogs,
             AddressOpener* addresses)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      applicationDir_(applicationDir),
      version_(version) {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(programIcon());
    setFont(ui_fonts::controlFont());
    // Qt draws every tooltip in one font of its own.
    QToolTip::setFont(ui_fonts::controlFont());

    createControls();
    if (dialogs) {
        dialogs_ = dialogs;
    } else {
        ownDialogs_ = std::make_unique<QtDialogs>(this);
        dialogs_ = ownDialogs_.get();
    }
    if (addresses) {
        addresses_ = addresses;
    } else {
        ownAddresses_ = std::make_unique<DesktopAddressOpener>();
        addresses_ = ownAddresses_.get();
    }
    createMenus();
    setTabOrder();
    setAcceptDrops(true);

    // The menu bar sits above the client area, which keeps its fixed size below it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    centreOnScreen();
}

Form1::~Form1() = default;

void Form1::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(4635), twips(2160));
    setCentralWidget(client);

    auto* frame1 = new QGroupBox(client);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setGeometry(twipRect(60, 0, 4515, 1725));
    frame1->setFont(ui_fonts::frameFont());

    BBDCommentCMD_ = addButton(frame1, "BBDCommentCMD", QStringLiteral("Open BBD Comment ->"),
                               twipRect(120, 270, 1875, 345));
    BBDCommentCMD_->setToolTip(QStringLiteral("Opens up a BBD file and loads the Comment."));
    S2BCMD_ =
        addButton(frame1, "S2BCMD", QStringLiteral("SRAM -> BBD"), twipRect(120, 630, 1875, 345));
    B2SCMD_ =
        addButton(frame1, "B2SCMD", QStringLiteral("BBD -> SRAM"), twipRect(120, 990, 1875, 345));
    addLabel(frame1, "Label1", twipRect(2100, 210, 795, 225), QStringLiteral("Comment:"))
        ->setFont(ui_fonts::controlFont());

    CommentTXT_ = new CommentBox(frame1);
    CommentTXT_->setObjectName(QStringLiteral("CommentTXT"));
    CommentTXT_->setGeometry(twipRect(2100, 450, 2295, 915));
    CommentTXT_->setFont(ui_fonts::controlFont());
    CommentTXT_->setToolTip(
        QStringLiteral("Text in this box will be saved in the BBD file's Comment area."));

    addLabel(frame1, "Wexmoor_SoftLBL", twipRect(2070, 1410, 2325, 195),
             toQString(help::kCreditLine))
        ->setFont(ui_fonts::creditFont());

    QuitCMD_ =
        addButton(client, "QuitCMD", QStringLiteral("Done"), twipRect(3060, 1800, 1485, 285));

    connect(S2BCMD_, &QPushButton::clicked, this, &Form1::S2BCMD_Click);
    connect(B2SCMD_, &QPushButton::clicked, this, &Form1::B2SCMD_Click);
    connect(BBDCommentCMD_, &QPushButton::clicked, this, &Form1::BBDCommentCMD_Click);
    connect(QuitCMD_, &QPushButton::clicked, this, &Form1::QuitCMD_Click);
}

QAction* Form1::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                            const QKeySequence& shortcut, void (Form1::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void Form1::createMenus() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    addMenuItem(mnuFile, "mnuB2S", QStringLiteral("&Convert BBD -> SRAM"),
                QKeySequence(Qt::CTRL | Qt::Key_F1), &Form1::mnuB2S_Click);
    addMenuItem(mnuFile, "mnuS2B", QStringLiteral("&Convert SRAM -> BBD"),
                QKeySequence(Qt::CTRL | Qt::Key_F2), &Form1::mnuS2B_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuDmy1"));
    addMenuItem(mnuFile, "mnuQuit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_X),
                &Form1::mnuQuit_Click);

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    addMenuItem(mnuHelp, "mnuTips", QStringLiteral("&Tips"), QKeySequence(Qt::Key_F2),
                &Form1::mnuTips_Click);
    mnuHelp->addSeparator()->setObjectName(QStringLiteral("mnuDmy2"));
    addMenuItem(mnuHelp, "mnuURL", QStringLiteral("Goto Wexmoor-Soft"), QKeySequence(Qt::Key_F5),
                &Form1::mnuURL_Click);
    addMenuItem(mnuHelp, "mnuAbout", QStringLiteral("&About"), QKeySequence(Qt::Key_F1),
                &Form1::mnuAbout_Click);

    menuBar()->setFont(ui_fonts::controlFont());
    mnuFile->setFont(ui_fonts::controlFont());
    mnuHelp->setFont(ui_fonts::controlFont());

    QList<QKeySequence> shortcuts;
    for (const QMenu* menu : {mnuFile, mnuHelp}) {
        for (const QAction* action : menu->actions()) {
            if (!action->shortcut().isEmpty()) {
                shortcuts << action->shortcut();
            }
        }
    }
    CommentTXT_->setWindowShortcuts(shortcuts);
}

void Form1::setTabOrder() {
    // Done, BBD -> SRAM, SRAM -> BBD, the comment box, Open BBD Comment; the frame and the
    // labels hold tab positions too but never take the focus.
    QWidget::setTabOrder(QuitCMD_, B2SCMD_);
    QWidget::setTabOrder(B2SCMD_, S2BCMD_);
    QWidget::setTabOrder(S2BCMD_, CommentTXT_);
    QWidget::setTabOrder(CommentTXT_, BBDCommentCMD_);
    QuitCMD_->setFocus();
}

void Form1::centreOnScreen() {
    adjustSize();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
    }
}

bool Form1::Form_Load() {
    CommentTXT_->setComment(toQString(kDefaultComment));
    if (!Module1::CheckDataFile(templatePath(applicationDir_), *dialogs_)) {
        return false;
    }
    setWindowTitle(QStringLiteral("Plimbrook (v") + toQString(versionText(version_)) +
                   QLatin1Char(')'));
    return true;
}

CommandContext Form1::commandContext() {
    return CommandContext{*dialogs_, *CommentTXT_, channels_,
                          templatePath(applicationDir_).toStdString()};
}

void Form1::SRAM2BBD() {
    CommandContext context = commandContext();
    plimbrook::SRAM2BBD(context);
}

void Form1::BBD2SRAM() {
    CommandContext context = commandContext();
    plimbrook::BBD2SRAM(context);
}

void Form1::OpenBBDComment() {
    CommandContext context = commandContext();
    plimbrook::OpenBBDComment(context);
}

void Form1::ConvertGivenFiles(const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& path : paths) {
        files.push_back(path.toStdString());
    }
    CommandContext context = commandContext();
    plimbrook::ConvertGivenFiles(context, files);
}

namespace {

// The local files a drag carries; none if anything else is in it.
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        files << url.toLocalFile();
    }
    return files;
}

}  // namespace

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // The conversion asks its questions once the drop is over, so the program the files came
    // from is not kept waiting on them.
    QTimer::singleShot(0, this, [this, files] { ConvertGivenFiles(files); });
}

void Form1::S2BCMD_Click() {
    SRAM2BBD();
}

void Form1::mnuS2B_Click() {
    SRAM2BBD();
}

void Form1::B2SCMD_Click() {
    BBD2SRAM();
}

void Form1::mnuB2S_Click() {
    BBD2SRAM();
}

void Form1::BBDCommentCMD_Click() {
    OpenBBDComment();
}

void Form1::QuitCMD_Click() {
    close();
}

void Form1::mnuQuit_Click() {
    close();
}

void Form1::mnuTips_Click() {
    dialogs_->ShowMessage(std::string(help::kTipsText), MessageIcon::Information,
                          std::string(help::kTipsTitle));
}

void Form1::mnuURL_Click() {
    addresses_->OpenAddress(this, toQString(help::kHomePage));
}

void Form1::mnuAbout_Click() {
    // No owner window: the box is modal to the whole program. It opens centred over this
    // window, its frame as thick as this one's; left to Qt, it would sit up to 40 pixels high.
    About about(*addresses_, version_);
    const QSize frame = frameGeometry().size() - size();
    about.move(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, about.size() + frame, frameGeometry())
            .topLeft());
    about.exec();
}

}  // namespace plimbrook
