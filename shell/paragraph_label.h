#pragma once

#include <QLabel>

namespace plimbrook {

// A label of several lines, its words wrapped to its width and its lines set a quarter of a line
// further apart than the font itself sets them, so that descenders stay clear of the capitals
// below at any scale.
class ParagraphLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace plimbrook
