#pragma once

#include <QSvgRenderer>

#include "shell/clickable_label.h"

namespace plimbrook {

// A picture drawn from its SVG source at the screen's own resolution, so it is sharp at any
// scale; it fills its box and, like a link, answers a click.
class SvgPicture : public ClickableLabel {
    Q_OBJECT

public:
    SvgPicture(const QString& source, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSvgRenderer renderer_;
};

}  // namespace plimbrook
