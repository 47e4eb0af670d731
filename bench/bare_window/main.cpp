// The least a Qt 6 Widgets program does to show a window: what the window program's start-up
// is measured against.
//   (no option)  an empty window: the toolkit's floor.
//   --label      one line of text, which is what makes Qt set up its fonts.
//   --menu-label a menu bar with two menus and a label, in the windows' font (Tahoma 8.25 pt,
//                loaded from fonts-wine where the system has it, as the program does): the same
//                kind of content as the program's window, and so the fair reference for it.
#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <cstring>

namespace {

QFont windowFont() {
    const QString tahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(tahoma)) {
        QFontDatabase::addApplicationFont(tahoma);
    }
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    return font;
}

void addMenus(QMainWindow& window, const QFont& font) {
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Convert BBD -> SRAM"))->setShortcut(Qt::CTRL | Qt::Key_F1);
    file->addAction(QStringLiteral("&Convert SRAM -> BBD"))->setShortcut(Qt::CTRL | Qt::Key_F2);
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"))->setShortcut(Qt::CTRL | Qt::Key_X);
    QMenu* help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About"))->setShortcut(Qt::Key_F1);
    window.menuBar()->setFont(font);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
    const bool menuLabel = argc > 1 && std::strcmp(argv[1], "--menu-label") == 0;
    QMainWindow window;
    window.setWindowTitle("Bare");
    auto* client = new QWidget(&window);
    client->setFixedSize(309, 144);
    window.setCentralWidget(client);
    if (label) {
        (new QLabel("SRAM -> BBD", client))->move(20, 20);
    }
    if (menuLabel) {
        const QFont font = windowFont();
        addMenus(window, font);
        auto* text = new QLabel("SRAM -> BBD", client);
        text->setFont(font);
        text->move(20, 20);
    }
    window.show();
    return app.exec();
}
