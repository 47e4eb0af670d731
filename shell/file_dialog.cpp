#include "shell/file_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace plimbrook {

namespace {

constexpr QChar kQuote = QLatin1Char('"');

// Qt's file dialog reads its history and last folder from the user's QtProject.conf, which every
// Qt program shares, when it is made, and writes them back when it goes. This program keeps no
// settings: the user scope is pointed where nothing can be read or created, before the first
// dialog exists.
QWidget* keepingNoSettings(QWidget* parent) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    return parent;
}

QString qtText(const char* text) {
    return QCoreApplication::translate("QFileDialog", text);
}

}  // namespace

FileDialog::FileDialog(QWidget* parent) : QFileDialog(keepingNoSettings(parent)) {
    setObjectName(QStringLiteral("CommonDialog1"));
    // The desktop's own dialogs match patterns case-sensitively and take "*.*" literally,
    // which would hide saves named like "GAME.BBD" and files without a dot.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::HideNameFilterDetails, true);
    setModal(true);
    // After the dialog's own handler, which judges a quoted name as a list.
    if (auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        connect(nameBox, &QLineEdit::textChanged, this, &FileDialog::enableAcceptForQuotedName);
    }
}

QString FileDialog::chosenPath() const {
    if (result() != QDialog::Accepted) {
        return {};
    }
    if (!quotedChoice_.isEmpty()) {
        return quotedChoice_;
    }
    return selectedFiles().value(0);
}

// Qt reads text in double quotes in the name box as a list of names, so `say "hi".srm` would
// come back as "hi". These prompts take one file, and a name with quotes in it is that name; only
// a whole name in quotes that names no file as it stands loses them, as in Qt's own reading.
QString FileDialog::namedPath() const {
    const auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QString name = nameBox ? nameBox->text() : QString();
    if (name == QLatin1String("~") || name.startsWith(QLatin1String("~/"))) {
        name = QDir::homePath() + name.mid(1);
    }
    QString path = directory().absoluteFilePath(name);
    if (!QFileInfo::exists(path) && name.size() > 2 && name.startsWith(kQuote) &&
        name.endsWith(kQuote) && name.count(kQuote) == 2) {
        path = directory().absoluteFilePath(name.mid(1, name.size() - 2));
    }
    return path;
}

void FileDialog::enableAcceptForQuotedName() {
    const auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!nameBox || !buttons || !nameBox->text().contains(kQuote)) {
        return;
    }
    QPushButton* button = buttons->button(acceptMode() == AcceptSave ? QDialogButtonBox::Save
                                                                     : QDialogButtonBox::Open);
    if (button) {
        button->setEnabled(acceptMode() == AcceptSave || QFileInfo::exists(namedPath()));
    }
}

void FileDialog::accept() {
    quotedChoice_.clear();
    auto* nameBox = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!nameBox || !nameBox->text().contains(kQuote)) {
        QFileDialog::accept();
        return;
    }
    // The same steps as Qt's own, for the one name.
    const QString path = namedPath();
    const QFileInfo file(path);
    if (file.isDir()) {
        setDirectory(path);
        nameBox->clear();
        return;
    }
    if (acceptMode() == AcceptOpen && !file.exists()) {
        QMessageBox::warning(
            this, windowTitle(),
            qtText("%1\nFile not found.\nPlease verify the correct file name was given.")
                .arg(file.fileName()));
        return;
    }
    if (acceptMode() == AcceptSave && file.exists() &&
        QMessageBox::warning(
            this, windowTitle(),
            qtText("%1 already exists.\nDo you want to replace it?").arg(file.fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    quotedChoice_ = path;
    QDialog::accept();
}

}  // namespace plimbrook
