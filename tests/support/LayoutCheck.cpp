#include "LayoutCheck.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QWidget>

#include <algorithm>

namespace testsupport {

namespace {

QString withoutMnemonics(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

} // namespace

QRect belowTitle(QWidget* groupBox)
{
    return groupBox->rect().adjusted(0, QFontMetrics(groupBox->font()).height(), 0, 0);
}

QStringList layoutFaults(QWidget* container, QRect area, const LayoutRules& rules)
{
    QStringList faults;
    QList<QWidget*> kids;
    for (QObject* o : container->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && (rules.hiddenToo || !w->isHidden())) kids << w;
    for (int i = 0; i < kids.size(); ++i) {
        QWidget* w = kids[i];
        w->ensurePolished();
        const QRect g = w->geometry();
        if (!area.contains(g))
            faults << QStringLiteral("%1 (%2,%3 %4x%5) outside its container")
                          .arg(w->objectName())
                          .arg(g.x())
                          .arg(g.y())
                          .arg(g.width())
                          .arg(g.height());
        for (int j = i + 1; j < kids.size(); ++j)
            if (g.intersects(kids[j]->geometry()))
                faults << QStringLiteral("%1 overlaps %2").arg(w->objectName(), kids[j]->objectName());
        const QFontMetrics fm(w->font());
        QString text;
        int room = g.width();
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            text = withoutMnemonics(b->text());
            room -= 10;
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            text = l->text();
            room = l->contentsRect().width() - 2 * l->margin() - std::max(l->indent(), 0) - rules.labelReserve;
        } else if (auto* a = qobject_cast<QAbstractButton*>(w)) {
            if (a->sizeHint().width() > g.width()) faults << QStringLiteral("%1 clipped").arg(w->objectName());
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox opt;
            opt.initFrom(combo);
            opt.rect = combo->rect();
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
            for (int k = 0; k < combo->count(); ++k)
                if (fm.horizontalAdvance(combo->itemText(k)) > field.width())
                    faults << QStringLiteral("%1 item \"%2\" clipped").arg(w->objectName(), combo->itemText(k));
            if (fm.height() > field.height()) faults << QStringLiteral("%1 too low").arg(w->objectName());
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int k = 0; k < tabs->count(); ++k)
                if (!tabs->rect().contains(tabs->tabRect(k)))
                    faults << QStringLiteral("%1 tab %2 clipped").arg(w->objectName()).arg(k);
        }
        if (!text.isEmpty() && fm.horizontalAdvance(text) > room)
            faults << QStringLiteral("%1 text \"%2\" clipped (%3 px wide, the text needs %4)")
                          .arg(w->objectName(), text)
                          .arg(g.width())
                          .arg(fm.horizontalAdvance(text));
        if (!text.isEmpty() && fm.height() > g.height())
            faults << QStringLiteral("%1 too low for its text").arg(w->objectName());
    }
    return faults;
}

} // namespace testsupport
