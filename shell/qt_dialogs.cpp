#include "shell/qt_dialogs.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>

#include "core/bbd_layout.h"
#include "shell/file_dialog.h"
#include "shell/qt_text.h"
#include "shell/ui_fonts.h"

namespace plimbrook {

namespace {

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

// A pattern as Qt's wildcard matcher should see it: every letter as a [xX] set, so that the
// match ignores case whatever the dialog's own setting.
QString caseless(const QString& pattern) {
    if (pattern == QLatin1String("*.*")) {
        return QStringLiteral("*");
    }
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper()) {
            out += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        } else {
            out += c;
        }
    }
    return out;
}

// A text box wide enough to show a whole comment field at once: as many capitals of average
// width as the field holds, so that mixed text fits with room to spare.
int widthForComment(const QLineEdit& box) {
    const QString capitals = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const QFontMetrics metrics(box.font());
    const int fieldLength = int(layout::kCommentLength);
    const int text = (metrics.horizontalAdvance(capitals) * fieldLength + 25) / 26;
    // QLineEdit's own margin of 2 on either side and its cursor, then the style's frame.
    QStyleOptionFrame option;
    option.initFrom(&box);
    option.lineWidth = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &box);
    const QSize inner(text + 2 * 2 + 1, metrics.height());
    return box.style()->sizeFromContents(QStyle::CT_LineEdit, &option, inner, &box).width();
}

}  // namespace

QtDialogs::QtDialogs(QWidget* parent) : parent_(parent) {}

QtDialogs::~QtDialogs() = default;

QStringList QtDialogs::nameFilters(const QString& filterList) {
    const QStringList parts = filterList.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << caseless(pattern.trimmed());
        }
        // Qt reads the patterns from the last parentheses and, with HideNameFilterDetails,
        // shows only what stands before them: the description as given.
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

std::optional<std::string> QtDialogs::promptFile(bool save, const std::string& title,
                                                 const std::string& filters, int filterIndex) {
    FileDialog dialog(parent_);
    dialog.setWindowTitle(toQString(title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList list = nameFilters(toQString(filters));
    dialog.setNameFilters(list);
    if (filterIndex >= 1 && filterIndex <= list.size()) {
        dialog.selectNameFilter(list[filterIndex - 1]);
    }
    if (!lastPath_.isEmpty()) {
        dialog.selectFile(lastPath_);
    }
    return ask(dialog);
}

std::optional<std::string> QtDialogs::ask(FileDialog& dialog) {
    dialog.exec();
    const QString chosen = dialog.chosenPath();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    lastPath_ = chosen;
    return lastPath_.toStdString();
}

std::optional<std::string> QtDialogs::PromptOpenFile(const std::string& title,
                                                     const std::string& filters, int filterIndex) {
    return promptFile(false, title, filters, filterIndex);
}

std::optional<std::string> QtDialogs::PromptSaveFile(const std::string& title,
                                                     const std::string& filters, int filterIndex) {
    return promptFile(true, title, filters, filterIndex);
}

void QtDialogs::SetFileName(const std::string& path) {
    lastPath_ = toQString(path);
}

std::optional<std::string> QtDialogs::PromptFolder(const std::string& title) {
    FileDialog dialog(parent_);
    dialog.setWindowTitle(toQString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!lastPath_.isEmpty()) {
        dialog.setDirectory(QFileInfo(lastPath_).absolutePath());
    }
    return ask(dialog);
}

std::string QtDialogs::PromptText(const std::string& prompt, const std::string& title,
                                  const std::string& startText) {
    QInputDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("PromptText"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(toQString(title));
    dialog.setLabelText(toQString(prompt));
    dialog.setTextValue(toQString(startText));
    dialog.setFont(ui_fonts::controlFont());
    if (auto* box = dialog.findChild<QLineEdit*>()) {
        box->setMinimumWidth(widthForComment(*box));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.textValue().toStdString();
}

void QtDialogs::ShowMessage(const std::string& text, MessageIcon icon, const std::string& title) {
    QMessageBox box(toQt(icon), toQString(title), toQString(text), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("ShowMessage"));
    box.setFont(ui_fonts::controlFont());
    box.exec();
}

bool QtDialogs::ConfirmWarning(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Warning, toQString(title), toQString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent_);
    box.setObjectName(QStringLiteral("ConfirmWarning"));
    box.setFont(ui_fonts::controlFont());
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Ok);
}

std::optional<int> QtDialogs::PromptChoice(const std::string& text, const std::string& title,
                                           const std::vector<std::string>& choices,
                                           int defaultChoice) {
    QMessageBox box(QMessageBox::Question, toQString(title), toQString(text), QMessageBox::NoButton,
                    parent_);
    box.setObjectName(QStringLiteral("PromptChoice"));
    box.setFont(ui_fonts::controlFont());
    QList<QAbstractButton*> buttons;
    for (const std::string& choice : choices) {
        buttons << box.addButton(toQString(choice), QMessageBox::AcceptRole);
    }
    QAbstractButton* cancel = box.addButton(QMessageBox::Cancel);
    if (defaultChoice >= 0 && defaultChoice < buttons.size()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons[defaultChoice]));
    }
    box.setEscapeButton(cancel);
    box.exec();
    const qsizetype chosen = buttons.indexOf(box.clickedButton());
    if (chosen < 0) {
        return std::nullopt;
    }
    return static_cast<int>(chosen);
}

}  // namespace plimbrook
