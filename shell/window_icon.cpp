#include "shell/window_icon.h"

#include <QApplication>
#include <QDirIterator>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <map>
#include <memory>

namespace plimbrook {

namespace {

// The icon's PNGs, one of each installed size, as shell/CMakeLists.txt renders them into the
// resources; and the SVG they are drawn from.
const QString kPngFolder = QStringLiteral(":/window-icon");
const QString kSvg = QStringLiteral(":/icons/plimbrook.svg");

// QIcon's own engines take either pictures of fixed sizes or one SVG; this one has both.
class WindowIconEngine final : public QIconEngine {
public:
    WindowIconEngine() {
        QDirIterator pngs(kPngFolder, {QStringLiteral("*.png")}, QDir::Files);
        while (pngs.hasNext()) {
            const QPixmap png(pngs.next());
            pngs_.emplace(png.width(), png);
        }
    }

    QIconEngine* clone() const override { return new WindowIconEngine(*this); }
    QString key() const override { return QStringLiteral("plimbrook-window"); }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        QList<QSize> sizes;
        for (const auto& [width, png] : pngs_) {
            sizes.append(png.size());
        }
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return size;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/) override {
        QPixmap drawn = drawnAt(size);
        // A disabled or selected icon as the style shows other icons in that mode.
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            drawn = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
        }
        return drawn;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal scale = painter->device()->devicePixelRatioF();
        painter->drawPixmap(rect, pixmap(rect.size() * scale, mode, state));
    }

private:
    QPixmap drawnAt(const QSize& size) const {
        const auto png = pngs_.find(size.width());
        if (png != pngs_.end() && png->second.size() == size) {
            return png->second;
        }
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QSvgRenderer(kSvg).render(&painter, QRectF(image.rect()));
        painter.end();
        return QPixmap::fromImage(image);
    }

    std::map<int, QPixmap> pngs_;  // by width
};

}  // namespace

QIcon programIcon() {
    return QIcon(new WindowIconEngine);
}

}  // namespace plimbrook
