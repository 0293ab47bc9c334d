#pragma once
// Making the hand-placed controls of the setup windows: name, geometry and tooltip in one call.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QString>

namespace setup::controls {

template <class W>
W* place(W* w, const QString& name, QRect geometry, const QString& tip = {})
{
    w->setObjectName(name);
    w->setGeometry(geometry);
    if (!tip.isEmpty()) w->setToolTip(tip);
    return w;
}

inline QLabel* label(QWidget* parent, const char* name, const QString& text, QRect g)
{
    return place(new QLabel(text, parent), QLatin1String(name), g);
}

inline QLineEdit* edit(QWidget* parent, const char* name, QRect g, const QString& tip = {})
{
    return place(new QLineEdit(parent), QLatin1String(name), g, tip);
}

inline QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect g, const QString& tip = {})
{
    return place(new QPushButton(caption, parent), QLatin1String(name), g, tip);
}

} // namespace setup::controls
