#pragma once

#include <QFileDialog>
#include <QString>

namespace plimbrook {

// CommonDialog1 for one file prompt: Qt's own file dialog, made for the prompt and thrown away
// after it. A dialog kept hidden between prompts goes on loading the folder last typed, and its
// completion list then pops up over the main window and takes the keyboard.
class FileDialog final : public QFileDialog {
    Q_OBJECT

public:
    explicit FileDialog(QWidget* parent);

    // The file chosen, exactly as named; empty unless the dialog was accepted.
    QString chosenPath() const;

    void accept() override;

private:
    QString namedPath() const;
    void enableAcceptForQuotedName();

    QString quotedChoice_;
};

}  // namespace plimbrook
