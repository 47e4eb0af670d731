#pragma once

#include <QLabel>

namespace plimbrook {

// A label or picture that answers a click with the left button, like a link.
class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace plimbrook
