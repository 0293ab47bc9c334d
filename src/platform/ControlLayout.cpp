#include "platform/ControlLayout.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLayout>
#include <QMainWindow>
#include <cmath>

namespace platform {

namespace {

bool layoutManages(const QLayout* layout, const QWidget* w)
{
    if (!layout) return false;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w) return true;
        if (layoutManages(item->layout(), w)) return true;
    }
    return false;
}

// Containers whose children are controls placed by hand; anything else places its own inner parts.
bool isContainer(const QWidget* w)
{
    const QMetaObject* mo = w->metaObject();
    return mo == &QWidget::staticMetaObject || mo == &QFrame::staticMetaObject || qobject_cast<const QGroupBox*>(w);
}

int scaled(double size, float fraction) { return int(std::lround(size * double(fraction))); }

} // namespace

ControlLayout::ControlLayout(QWidget* window, bool placeOnResize) : QObject(window), window_(window)
{
    setPlaceOnResize(placeOnResize);
}

QWidget* ControlLayout::innerArea() const
{
    if (!window_) return nullptr;
    if (auto* mw = qobject_cast<QMainWindow*>(window_.data()); mw && mw->centralWidget()) return mw->centralWidget();
    return window_;
}

void ControlLayout::setPlaceOnResize(bool on)
{
    if (filtered_) filtered_->removeEventFilter(this);
    filtered_ = nullptr;
    placeOnResize_ = on;
    if (on && innerArea()) {
        filtered_ = innerArea();
        filtered_->installEventFilter(this);
    }
}

bool ControlLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == filtered_ && event->type() == QEvent::Resize) apply();
    return QObject::eventFilter(watched, event);
}

void ControlLayout::collect(QWidget* container, QSizeF containerSize)
{
    const bool measurable = containerSize.width() > 0 && containerSize.height() > 0;
    for (QObject* o : container->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow()) continue;
        const bool placedByLayout = layoutManages(container->layout(), w);
        if (!placedByLayout && measurable) {
            const QRect g = w->geometry();
            entries_.push_back(Entry{w, float(g.x() / containerSize.width()), float(g.y() / containerSize.height()),
                                     float(g.width() / containerSize.width()),
                                     float(g.height() / containerSize.height()), qobject_cast<QComboBox*>(w) != nullptr});
        }
        if (isContainer(w)) collect(w, w->size());
    }
}

void ControlLayout::save(QSizeF reference)
{
    entries_.clear();
    QWidget* inner = innerArea();
    if (!inner || !(reference.width() > 0) || !(reference.height() > 0)) return;
    collect(inner, reference);
}

void ControlLayout::save()
{
    if (QWidget* inner = innerArea()) save(QSizeF(inner->size()));
}

void ControlLayout::apply()
{
    QWidget* inner = innerArea();
    if (!inner || inner->width() <= 1 || inner->height() <= 1) return;
    for (const Entry& e : entries_) {
        QWidget* w = e.widget;
        if (!w) continue;
        QWidget* parent = w->parentWidget();
        if (!parent) continue;
        const double pw = parent->width(), ph = parent->height();
        const int x = scaled(pw, e.left), y = scaled(ph, e.top);
        if (e.moveOnly) w->move(x, y);
        // Width and height from the placed far edges, so controls that touch at the reference size still
        // touch and never overlap by a rounding pixel.
        else w->setGeometry(x, y, scaled(pw, e.left + e.width) - x, scaled(ph, e.top + e.height) - y);
    }
}

std::vector<QWidget*> ControlLayout::controls() const
{
    std::vector<QWidget*> out;
    for (const Entry& e : entries_)
        if (e.widget) out.push_back(e.widget);
    return out;
}

} // namespace platform
