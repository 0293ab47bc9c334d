#pragma once
// Everything a chart shows, as of its last drawing, in one comparable value.
#include "platform/Chart.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

namespace testsupport {

struct ChartView {
    QString title, subTitle, xLabel;
    int subsets = 0, points = 0, axes = 0, shared = 0;
    QStringList axisLabels, rightLabels, subsetLabels;   // rightLabels: "-" for an axis without one
    QList<QColor> axisColors, rightColors, subsetColors;
    QList<int> subsetAxis;
    QList<bool> subsetRight;
    std::vector<std::vector<double>> x, y;

    static ChartView of(const platform::Chart& c)
    {
        ChartView v;
        v.title = c.mainTitle();
        v.subTitle = c.subTitle();
        v.xLabel = c.xAxisLabel();
        v.subsets = c.subsetCount();
        v.points = c.pointCount();
        v.axes = c.axisCount();
        v.shared = c.sharedAxisCount();
        for (int a = 0; a < v.axes; ++a) {
            v.axisLabels << c.axisLabel(a);
            v.axisColors << c.axisColor(a);
            v.rightLabels << (c.hasRightAxis(a) ? c.rightAxisLabel(a) : QStringLiteral("-"));
            v.rightColors << c.rightAxisColor(a);
        }
        for (int s = 0; s < v.subsets; ++s) {
            v.subsetLabels << c.subsetLabel(s);
            v.subsetColors << c.subsetColor(s);
            v.subsetAxis << c.subsetAxis(s);
            v.subsetRight << c.subsetOnRightAxis(s);
            v.x.push_back(c.drawnX(s));
            v.y.push_back(c.drawnY(s));
        }
        return v;
    }
    bool operator==(const ChartView&) const = default;

    int drawnPoints() const
    {
        int n = 0;
        for (const auto& s : x) n += int(s.size());
        return n;
    }
    QString describe() const
    {
        QStringList parts;
        parts << QStringLiteral("subsets %1 points %2 axes %3").arg(subsets).arg(points).arg(axes);
        for (int s = 0; s < subsets; ++s)
            parts << QStringLiteral("%1: %2 points").arg(subsetLabels.value(s)).arg(x[std::size_t(s)].size());
        return parts.join(QStringLiteral("; "));
    }
};

} // namespace testsupport
