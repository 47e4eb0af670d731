#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTest>
#include <memory>

#include "core/app_facts.h"
#include "shell/main_window.h"
#include "tests/shell/scripted_desktop.h"
#include "tests/shell/shell_test_support.h"

namespace plimbrook::testing {

// A BBD file whose comment field reads `comment`, padded with spaces to 77 characters.
inline QByteArray bbdWithComment(const QByteArray& comment) {
    QByteArray bytes(33'280, '\0');
    const QByteArray field = comment.leftJustified(77, ' ', true);
    bytes.replace(16, 77, field);
    return bytes;
}

inline QStringList promptsSeen(const ScriptedDesktop& desktop) {
    QStringList seen;
    for (const auto& prompt : desktop.prompts) {
        seen << QString::fromStdString(prompt.kind + ":" + prompt.title);
    }
    return seen;
}

// The main window, loaded as at start-up from an application folder of the test's own, with a
// scripted desktop answering its prompts.
class MainWindowFixture {
protected:
    // Called from init(), where a failure skips the test.
    void openWindow() {
        appDir_ = std::make_unique<AppDir>();
        desktop_ = std::make_unique<ScriptedDesktop>();
        form_ = std::make_unique<Form1>(appDir_->path(), plimbrook::kVersion, desktop_.get(),
                                        desktop_.get());
        QVERIFY(form_->Form_Load());
    }
    void closeWindow() {
        form_.reset();
        desktop_.reset();
        appDir_.reset();
    }
    void showForm() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    }
    QWidget* control(const char* name) const {
        return form_->findChild<QWidget*>(QLatin1String(name));
    }

    std::unique_ptr<AppDir> appDir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Form1> form_;
};

}  // namespace plimbrook::testing
