// The windows' icon: sharp in a task switcher at every size, because it has the picture drawn for
// each installed size and the SVG for any other.
#include <QApplication>
#include <QIcon>
#include <QTest>

#include "shell/window_icon.h"

namespace {

// The mean difference of two pictures of one size, per channel with the alpha, from 0 to 255.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage p = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage q = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int y = 0; y < p.height(); ++y) {
        for (int x = 0; x < p.width(); ++x) {
            const QRgb s = p.pixel(x, y);
            const QRgb t = q.pixel(x, y);
            sum += qAbs(qRed(s) - qRed(t)) + qAbs(qGreen(s) - qGreen(t)) +
                   qAbs(qBlue(s) - qBlue(t)) + qAbs(qAlpha(s) - qAlpha(t));
        }
    }
    return sum / (4.0 * p.width() * p.height());
}

QImage reference(const QString& name) {
    return QImage(QStringLiteral(PLIMBROOK_TEST_ICONS "/%1").arg(name));
}

}  // namespace

class TestWindowIcon : public QObject {
    Q_OBJECT

private slots:
    void offersEveryInstalledSize();
    void installedSizes_data();
    void installedSizes();
    void otherSizes_data();
    void otherSizes();
};

// What a window system is given for the task switcher: all of them, not one to be scaled up.
void TestWindowIcon::offersEveryInstalledSize() {
    QList<QSize> expected;
    for (const int size : {PLIMBROOK_TEST_ICON_SIZES}) {
        expected.append(QSize(size, size));
    }
    QCOMPARE(plimbrook::programIcon().availableSizes(), expected);
}

// At an installed size the icon is that size's PNG, pixel for pixel, in each mode a window
// shows it in.
void TestWindowIcon::installedSizes_data() {
    QTest::addColumn<int>("size");
    for (const int size : {PLIMBROOK_TEST_ICON_SIZES}) {
        QTest::addRow("px%d", size) << size;
    }
}

void TestWindowIcon::installedSizes() {
    QFETCH(int, size);
    const QImage png = reference(QStringLiteral("hicolor-%1.png").arg(size));
    QVERIFY(!png.isNull());
    const QIcon icon = plimbrook::programIcon();
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Active}) {
        const QImage shown = icon.pixmap(QSize(size, size), 1.0, mode).toImage();
        QCOMPARE(shown.size(), png.size());
        QCOMPARE(meanDifference(shown, png), 0.0);
    }
}

// At any other size, larger than the largest PNG too, the SVG drawn at that size: as another
// renderer draws it, not a PNG scaled.
void TestWindowIcon::otherSizes_data() {
    QTest::addColumn<int>("size");
    for (const int size : {PLIMBROOK_TEST_SVG_SIZES}) {
        QTest::addRow("px%d", size) << size;
    }
}

void TestWindowIcon::otherSizes() {
    QFETCH(int, size);
    const QImage svg = reference(QStringLiteral("svg-%1.png").arg(size));
    QVERIFY(!svg.isNull());
    const QImage shown = plimbrook::programIcon().pixmap(QSize(size, size), 1.0).toImage();
    QCOMPARE(shown.size(), svg.size());
    const double off = meanDifference(shown, svg);
    QVERIFY2(off < 2.0, qPrintable(QString::number(off)));
}

QTEST_MAIN(TestWindowIcon)
#include "tst_window_icon.moc"
