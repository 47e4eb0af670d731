// The least a Qt 6 Widgets program does to show a window: what the window program's start-up
// is measured against.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare");
    window.resize(400, 300);
    window.show();
    return app.exec();
}
