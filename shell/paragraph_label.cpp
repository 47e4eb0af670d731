#include "shell/paragraph_label.h"

#include <QPainter>
#include <QTextLayout>
#include <QtMath>

namespace plimbrook {

void ParagraphLabel::paintEvent(QPaintEvent* /*event*/) {
    QTextLayout layout(text(), font(), this);
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);

    const QRectF box = contentsRect();
    const int step = qCeil(fontMetrics().lineSpacing() * 1.25);
    int top = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        line.setPosition(QPointF(0, top));
        top += step;
    }
    layout.endLayout();

    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    layout.draw(&painter, box.topLeft());
}

}  // namespace plimbrook
