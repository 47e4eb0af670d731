#pragma once

#include <QKeySequence>
#include <QList>
#include <QPlainTextEdit>

#include "window_commands/comment_field.h"

namespace plimbrook {

// CommentTXT: a multi-line box that holds at most the characters of a BBD comment, however
// they arrive (typing, paste, drop, input method). Text set by the program is not cut. It is
// the comment field the window's commands read and fill.
class CommentBox : public QPlainTextEdit, public CommentField {
    Q_OBJECT

public:
    static constexpr int kMaxLength = 77;

    explicit CommentBox(QWidget* parent = nullptr);

    // The window's menu shortcuts: they win over the box's own keys (Ctrl+X quits rather than
    // cuts); cutting stays on the context menu.
    void setWindowShortcuts(const QList<QKeySequence>& shortcuts);

    // Characters as the user sees them: a character outside the BMP counts once.
    int length() const;

    // The comment exactly as last set, for as long as the user leaves the box alone; after an
    // edit, the text shown. The box itself shows CR, CR LF and LF alike as one line break.
    QString comment() const;
    void setComment(const QString& text);

    // The comment as the commands see it.
    std::string commentText() const override;
    void setCommentText(const std::string& text) override;

protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // How many characters may still go in, counting the selection as room.
    int room() const;

    // The text shown, with its no-break spaces kept and each line break as LF.
    QString shownText() const;

    QList<QKeySequence> windowShortcuts_;
    QString comment_;
    QString shownForComment_;
};

}  // namespace plimbrook
