#pragma once

#include <QKeySequence>
#include <QList>
#include <QPlainTextEdit>

namespace plimbrook {

// CommentTXT: a multi-line box that holds at most the characters of a BBD comment, however
// they arrive (typing, paste, drop, input method). Text set by the program is not cut.
class CommentBox : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kMaxLength = 77;

    explicit CommentBox(QWidget* parent = nullptr);

    // The window's menu shortcuts: they win over the box's own keys (Ctrl+X quits rather than
    // cuts); cutting stays on the context menu.
    void setWindowShortcuts(const QList<QKeySequence>& shortcuts);

    // Characters as the user sees them: a character outside the BMP counts once.
    int length() const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // How many characters may still go in, counting the selection as room.
    int room() const;

    QList<QKeySequence> windowShortcuts_;
};

}  // namespace plimbrook
