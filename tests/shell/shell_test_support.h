#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace plimbrook::testing {

// Runs `handle` on the modal window of type T once it is up, while the code under test waits in
// that window's own event loop. Fails the test if none shows within five seconds.
template <typename T>
void whenShown(std::function<void(T*)> handle) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr && clock->elapsed() < 5000) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (window == nullptr) {
            QFAIL("the expected modal window never showed");
            return;
        }
        handle(window);
    });
    timer->start(10);
}

// Opens a menu of the window's menu bar with the mouse and clicks one of its items.
inline bool clickMenuItem(QMainWindow& window, const char* menuName, const char* itemName) {
    auto* menu = window.findChild<QMenu*>(QLatin1String(menuName));
    auto* item = window.findChild<QAction*>(QLatin1String(itemName));
    if (menu == nullptr || item == nullptr) {
        return false;
    }
    QMenuBar* bar = window.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); })) {
        return false;
    }
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    return true;
}

// Puts every control of `top` but the credit line into `family` at its own size, as on a system
// where the windows fall back to it. False when the system lacks the family.
inline bool forceControlFamily(QWidget& top, const QString& family) {
    if (family.isEmpty()) {
        return true;
    }
    for (QWidget* widget : top.findChildren<QWidget*>()) {
        if (widget->objectName() == QLatin1String("Wexmoor_SoftLBL")) {
            continue;
        }
        QFont font = widget->font();
        font.setFamily(family);
        widget->setFont(font);
    }
    const QFontInfo found(top.findChildren<QWidget*>().constFirst()->font());
    return found.family().section(QStringLiteral(" ["), 0, 0) == family;
}

// A folder standing in for the application directory, with the real header template in it.
struct AppDir {
    QTemporaryDir dir;

    AppDir() { QFile::copy(QStringLiteral(PLIMBROOK_TEMPLATE_PATH), filePath("Stuff.dat")); }
    QString path() const { return dir.path(); }
    QString filePath(const char* name) const { return dir.filePath(QLatin1String(name)); }
};

}  // namespace plimbrook::testing
