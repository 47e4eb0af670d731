#include "shell/svg_picture.h"

#include <QPainter>

namespace plimbrook {

SvgPicture::SvgPicture(const QString& source, QWidget* parent)
    : ClickableLabel(parent), renderer_(source) {}

void SvgPicture::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    renderer_.render(&painter, QRectF(rect()));
}

}  // namespace plimbrook
