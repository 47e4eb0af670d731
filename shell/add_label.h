#pragma once

#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

namespace plimbrook {

// A label of the window or the about box at its fixed place, its text from the top left.
// `Label` is QLabel or one of its kinds.
template <typename Label = QLabel>
Label* addLabel(QWidget* parent, const char* name, const QRect& geometry,
                const QString& text = {}) {
    auto* label = new Label(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace plimbrook
