#pragma once

#include <memory>

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include "core/app_facts.h"
#include "window_commands/commands.h"
#include "window_commands/dialogs.h"
#include "window_commands/file_channels.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace plimbrook {

class AddressOpener;
class CommentBox;
class DesktopAddressOpener;
class QtDialogs;

// Form1, the program's one working window: it lays out its controls at their fixed places and
// hands every button, menu item and shortcut to its command. The commands themselves live in
// window_commands/; the window owns what they share: the comment box (their comment field), the
// dialogs (whose file prompts start on the path chosen last), and the file channels.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    // `dialogs` answers the prompts and shows the messages, `addresses` takes the home page's
    // address; without them the window makes its own on Qt. The header template is looked for in
    // `applicationDir`.
    explicit Form1(const QString& applicationDir, const Version& version = kVersion,
                   Dialogs* dialogs = nullptr, AddressOpener* addresses = nullptr);
    ~Form1() override;

    // The load step: the default comment, the template check, the caption. False means the
    // template is missing, the user has been told, and the program must end without showing
    // the window.
    bool Form_Load();

    void SRAM2BBD();
    void BBD2SRAM();
    void OpenBBDComment();

    // Files dropped on the window or named on its command line: each converts the way its
    // contents call for, without the open prompt; several go into one folder.
    void ConvertGivenFiles(const QStringList& paths);

public slots:
    void S2BCMD_Click();
    void mnuS2B_Click();
    void B2SCMD_Click();
    void mnuB2S_Click();
    void BBDCommentCMD_Click();
    void QuitCMD_Click();
    void mnuQuit_Click();
    void mnuTips_Click();
    void mnuURL_Click();
    void mnuAbout_Click();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void createMenus();
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& shortcut, void (Form1::*handler)());
    void setTabOrder();
    void centreOnScreen();
    CommandContext commandContext();

    QString applicationDir_;
    Version version_;
    std::unique_ptr<QtDialogs> ownDialogs_;
    Dialogs* dialogs_ = nullptr;
    std::unique_ptr<DesktopAddressOpener> ownAddresses_;
    AddressOpener* addresses_ = nullptr;
    FileChannels channels_;

    QPushButton* BBDCommentCMD_ = nullptr;
    QPushButton* S2BCMD_ = nullptr;
    QPushButton* B2SCMD_ = nullptr;
    QPushButton* QuitCMD_ = nullptr;
    CommentBox* CommentTXT_ = nullptr;
};

}  // namespace plimbrook
