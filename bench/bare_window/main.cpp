// The least a Qt 6 Widgets program does to show a window: what the window program's start-up
// is measured against. With --label the window also shows one line of text, which is what makes
// Qt set up its fonts; the difference tells the toolkit's share from the program's own.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Bare");
    window.resize(400, 300);
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        auto* label = new QLabel("SRAM -> BBD", &window);
        label->move(20, 20);
    }
    window.show();
    return app.exec();
}
