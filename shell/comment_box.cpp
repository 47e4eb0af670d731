#include "shell/comment_box.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextCursor>

#include "shell/qt_text.h"

namespace plimbrook {

namespace {

int characterCount(const QString& text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text.at(i).isLowSurrogate()) {
            ++count;
        }
    }
    return count;
}

// The first `limit` characters of `text`, never splitting a surrogate pair.
QString leading(const QString& text, int limit) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text.at(i).isLowSurrogate()) {
            if (count == limit) {
                return text.left(i);
            }
            ++count;
        }
    }
    return text;
}

// The text a key press would put into the box, as QPlainTextEdit inserts it.
QString typedText(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        return QStringLiteral("\n");
    }
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & Qt::ControlModifier)) {
        return {};
    }
    const QChar first = text.at(0);
    return first.isPrint() || first.isSurrogate() ? text : QString();
}

}  // namespace

CommentBox::CommentBox(QWidget* parent) : QPlainTextEdit(parent) {
    // Tab moves on to the next control, as in any other box of a dialog-like window.
    setTabChangesFocus(true);
}

void CommentBox::setWindowShortcuts(const QList<QKeySequence>& shortcuts) {
    windowShortcuts_ = shortcuts;
}

int CommentBox::length() const {
    return characterCount(toPlainText());
}

QString CommentBox::shownText() const {
    // toPlainText() would also turn no-break spaces into spaces.
    QString text = document()->toRawText();
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            c = QLatin1Char('\n');
        }
    }
    return text;
}

QString CommentBox::comment() const {
    // Text put in with setPlainText() rather than setComment() is taken as shown.
    if (!document()->isModified() && shownText() == shownForComment_) {
        return comment_;
    }
    return shownText();
}

void CommentBox::setComment(const QString& text) {
    setPlainText(text);
    document()->setModified(false);
    comment_ = text;
    shownForComment_ = shownText();
}

std::string CommentBox::commentText() const {
    return comment().toStdString();
}

void CommentBox::setCommentText(const std::string& text) {
    setComment(toQString(text));
}

int CommentBox::room() const {
    const int selected = characterCount(textCursor().selectedText());
    return std::max(0, kMaxLength - length() + selected);
}

bool CommentBox::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (windowShortcuts_.contains(QKeySequence(key->keyCombination()))) {
            // Left unaccepted, the key goes to the window's shortcut instead of the editor.
            event->ignore();
            return true;
        }
    }
    return QPlainTextEdit::event(event);
}

void CommentBox::contextMenuEvent(QContextMenuEvent* event) {
    // The menu is a window of its own and would take the desktop's font rather than the box's.
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->setFont(font());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CommentBox::keyPressEvent(QKeyEvent* event) {
    const QString typed = typedText(event);
    if (!typed.isEmpty() && characterCount(typed) > room()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CommentBox::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    const int fits = room();
    if (characterCount(commit) > fits) {
        QInputMethodEvent cut(event->preeditString(), event->attributes());
        cut.setCommitString(leading(commit, fits), event->replacementStart(),
                            event->replacementLength());
        QPlainTextEdit::inputMethodEvent(&cut);
        event->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void CommentBox::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) {
        return;
    }
    const QString text = leading(source->text(), room());
    if (!text.isEmpty()) {
        textCursor().insertText(text);
        ensureCursorVisible();
    }
}

}  // namespace plimbrook
