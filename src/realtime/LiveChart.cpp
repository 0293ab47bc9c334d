#include "realtime/LiveChart.h"

#include "platform/Chart.h"
#include "records/DbError.h"
#include "records/Module1.h"
#include "records/clsConnection.h"
#include "records/clsTEST_RESULT.h"

#include <algorithm>

namespace realtime {

const QColor LiveChart::SwellColor[3] = {QColor(), QColor(0, 128, 0), QColor(128, 128, 0)};
const QColor LiveChart::TempColor[3] = {QColor(), QColor(255, 0, 0), QColor(255, 128, 255)};
const QColor LiveChart::PressColor[3] = {QColor(), QColor(0, 0, 128), QColor(0, 255, 255)};
// Entries of the 16-colour palette: green (2), light red (12), blue (1), light grey (7).
const QColor LiveChart::SwellAxisColor(0, 128, 0);
const QColor LiveChart::TempAxisColor(255, 0, 0);
const QColor LiveChart::PressAxisColor(0, 0, 128);
const QColor LiveChart::BackColor(192, 192, 192);

namespace {
constexpr int MaxTraces = 6;

// Swell in % of the wafer length; 0 while no wafer length is known. Rebuild and append both use it, so an
// appended point is drawn as a rebuild would draw it.
double swellPercent(double heightChange, double waferLength)
{
    return waferLength != 0 ? heightChange / waferLength * 100 : 0.0;
}
} // namespace

bool LiveChart::Shape::operator==(const Shape& o) const
{
    if (valid != o.valid || unitSystem != o.unitSystem || tempCaption != o.tempCaption
        || pressCaption != o.pressCaption || boxes.swell != o.boxes.swell || boxes.temp != o.boxes.temp
        || boxes.press != o.boxes.press)
        return false;
    for (int c = 1; c <= 2; ++c) {
        const LiveChartCell& a = cells[std::size_t(c)];
        const LiveChartCell& b = o.cells[std::size_t(c)];
        if (a.shown != b.shown) return false;
        if (a.shown && (a.testName != b.testName || a.testId != b.testId || a.waferLength != b.waferLength))
            return false;
    }
    return true;
}

LiveChart::LiveChart(platform::Chart& chart, bool placeholder) : chart_(chart), placeholder_(placeholder)
{
    subsetSwell_.fill(-1);
    subsetTemp_.fill(-1);
    subsetPress_.fill(-1);
}

void LiveChart::Initial_Chart_All()
{
    chart_.SetMainTitle(QStringLiteral("Swell vs. Time"));
    chart_.SetSubTitle(QString());
    chart_.SetXAxisLabel(QStringLiteral("Time (min)"));
    chart_.SelectAxis(0);
    chart_.SetAxisLabel(QStringLiteral("Swell(%)"));
    chart_.SetBackColor(BackColor);
    for (int s = 0; s < MaxTraces; ++s) {
        chart_.SetSubsetLineStyle(s, platform::Chart::LineStyle::Solid);
        chart_.SetSubsetMarker(s, platform::Chart::Marker::None);
    }
    // Placeholder: one subset of one point with a time but no value, so the empty chart draws its axes
    // over the first minute without drawing any point.
    if (!placeholder_) return;
    chart_.SetSubsetCount(1);
    chart_.SetPointCount(1);
    chart_.SetPointX(0, 0, 0);
}

void LiveChart::Refresh(const std::array<LiveChartCell, 3>& cells, const LiveChartBoxes& boxes, bool reload)
{
    Shape now;
    now.cells = cells;
    for (auto& c : now.cells) {
        if (!c.shown) c = LiveChartCell{};
    }
    now.boxes = boxes;
    now.unitSystem = Module1::UnitSystem;
    now.tempCaption = Module1::TempUnitCaption;
    now.pressCaption = Module1::PressUnitCaption;
    now.valid = true;
    if (reload || !(now == shape_)) rebuild(now);
    else append();
}

void LiveChart::pointLogged(int cell, std::int32_t testId, double resultTime, double resultTemp,
                            double resultPress, double resultHeightChange)
{
    if (cell != 1 && cell != 2) return;
    auto& list = pending_[std::size_t(cell)];
    if (!list.empty() && pendingTest_[std::size_t(cell)] != testId) list.clear();
    pendingTest_[std::size_t(cell)] = testId;
    list.push_back({resultTime, resultTemp, resultPress, resultHeightChange});
}

void LiveChart::rebuild(const Shape& shape)
{
    ++rebuilds_;
    shape_ = Shape{};   // until this rebuild is complete, the next refresh rebuilds again
    for (auto& p : pending_) p.clear();
    subsetSwell_.fill(-1);
    subsetTemp_.fill(-1);
    subsetPress_.fill(-1);
    cellPoints_.fill(0);

    chart_.Reset();
    Initial_Chart_All();
    chart_.Redraw();

    const LiveChartBoxes& b = shape.boxes;
    std::vector<int> shownCells;
    for (int c = 1; c <= 2; ++c) {
        if (shape.cells[std::size_t(c)].shown) shownCells.push_back(c);
    }
    const int perKind = int(shownCells.size());
    const int swellTraces = b.swell ? perKind : 0;
    const int tempTraces = b.temp ? perKind : 0;
    const int pressTraces = b.press ? perKind : 0;
    const int count = swellTraces + tempTraces + pressTraces;

    chart_.SetXAxisLabel(QStringLiteral("Time (min)"));
    int axis = 0;
    if (b.swell) {
        chart_.SelectAxis(axis);
        chart_.SetAxisLabel(QStringLiteral("Swell% "));
        chart_.SetAxisColor(SwellAxisColor);
        chart_.SetAxisSubsetCount(axis, swellTraces);
        ++axis;
    }
    const QString pressLabel = QStringLiteral("Pressure ") + Module1::PressUnitCaption;
    if (b.temp) {
        chart_.SelectAxis(axis);
        chart_.SetAxisLabel(QStringLiteral("Temperature ") + Module1::TempUnitCaption);
        chart_.SetAxisColor(TempAxisColor);
        chart_.SetAxisSubsetCount(axis, tempTraces + pressTraces);
        if (b.press) {
            chart_.SetRightAxisLabel(pressLabel);
            chart_.SetRightAxisColor(PressAxisColor);
            chart_.SetRightAxisSubsetCount(pressTraces);
        }
        ++axis;
    } else if (b.press) {
        chart_.SelectAxis(axis);
        chart_.SetAxisLabel(pressLabel);
        chart_.SetAxisColor(PressAxisColor);
        chart_.SetAxisSubsetCount(axis, pressTraces);
        ++axis;
    }
    if (axis > 0) chart_.SetSharedAxisCount(axis);

    if (count == 0) {
        // Nothing to draw: the chart keeps its initial state.
        shape_ = shape;
        return;
    }
    chart_.SetSubsetCount(count);

    // Every shown cell's points, in time order, through the shared record object.
    struct Series {
        std::vector<double> x, swell, temp, press;
    };
    std::array<Series, 3> series;
    for (int c : shownCells) {
        clsTEST_RESULT& rs = requireObject(Module1::TestResult);
        clsConnection& connection = requireObject(Module1::DbConnection);
        rs.Test_Id = shape.cells[std::size_t(c)].testId;
        rs.ConnectX(connection);
        const auto& rows = rs.rows();
        const int n = rs.TotalPoints();
        Series& s = series[std::size_t(c)];
        s.x.reserve(std::size_t(n));
        if (b.swell) s.swell.reserve(std::size_t(n));
        if (b.temp) s.temp.reserve(std::size_t(n));
        if (b.press) s.press.reserve(std::size_t(n));
        const double wafer = shape.cells[std::size_t(c)].waferLength;
        for (int i = 0; i < n; ++i) {
            const clsTEST_RESULT::Row& r = rows[std::size_t(i)];
            s.x.push_back(r.time / 60);
            if (b.swell) s.swell.push_back(swellPercent(r.heightChange, wafer));
            if (b.temp) s.temp.push_back(Module1::ToDisplayTemp(r.temp));
            if (b.press) s.press.push_back(Module1::ToDisplayPress(r.press));
        }
        cellPoints_[std::size_t(c)] = n;
        maxPoints_ = std::max(maxPoints_, n);
    }
    chart_.SetPointCount(maxPoints_);

    const QString name[3] = {QString(), shape.cells[1].testName, shape.cells[2].testName};
    int subset = 0;
    auto trace = [&](int c, const std::vector<double>& y, const QString& suffix, const QColor& color) {
        chart_.SetSubsetPoints(subset, series[std::size_t(c)].x, y);
        chart_.SetSubsetLabel(subset, name[c] + suffix);
        chart_.SetSubsetColor(subset, color);
        return subset++;
    };
    if (b.swell)
        for (int c : shownCells) subsetSwell_[std::size_t(c)] = trace(c, series[std::size_t(c)].swell, QStringLiteral("-Swell"), SwellColor[c]);
    if (b.temp)
        for (int c : shownCells) subsetTemp_[std::size_t(c)] = trace(c, series[std::size_t(c)].temp, QStringLiteral("-Temp."), TempColor[c]);
    if (b.press)
        for (int c : shownCells) subsetPress_[std::size_t(c)] = trace(c, series[std::size_t(c)].press, QStringLiteral("-Press."), PressColor[c]);

    chart_.Redraw();
    shape_ = shape;
}

void LiveChart::append()
{
    bool any = false;
    for (int c = 1; c <= 2; ++c) {
        auto& list = pending_[std::size_t(c)];
        const LiveChartCell& cell = shape_.cells[std::size_t(c)];
        const bool drawn = subsetSwell_[std::size_t(c)] >= 0 || subsetTemp_[std::size_t(c)] >= 0
            || subsetPress_[std::size_t(c)] >= 0;
        if (!cell.shown || !drawn || pendingTest_[std::size_t(c)] != cell.testId) {
            list.clear();
            continue;
        }
        for (const Point& p : list) {
            const double x = p.time / 60;
            if (subsetSwell_[std::size_t(c)] >= 0) chart_.AppendPoint(subsetSwell_[std::size_t(c)], x, swellPercent(p.heightChange, cell.waferLength));
            if (subsetTemp_[std::size_t(c)] >= 0) chart_.AppendPoint(subsetTemp_[std::size_t(c)], x, Module1::ToDisplayTemp(p.temp));
            if (subsetPress_[std::size_t(c)] >= 0) chart_.AppendPoint(subsetPress_[std::size_t(c)], x, Module1::ToDisplayPress(p.press));
            ++cellPoints_[std::size_t(c)];
            maxPoints_ = std::max(maxPoints_, cellPoints_[std::size_t(c)]);
            any = true;
        }
        list.clear();
    }
    if (any) chart_.Redraw();
}

} // namespace realtime
