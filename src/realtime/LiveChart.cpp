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

// Appends a value; the room grows by a quarter at a time, as a week-long test's arrays are large.
void push(std::vector<float>& v, double value)
{
    if (v.size() == v.capacity()) v.reserve(v.capacity() + v.capacity() / 4 + 1024);
    v.push_back(static_cast<float>(value));
}

// Lets go of the shared record's rows when the read is done, so that no copy of a test stays mapped.
struct ReleaseRows {
    clsTEST_RESULT& rs;
    ~ReleaseRows() { rs.ReleaseRows(); }
};
} // namespace

void LiveChart::Held::add(double time, double tempF, double pressPsi, double heightChange)
{
    push(*x, time / 60);
    push(*swell, swellPercent(heightChange, waferLength));
    push(*temp, Module1::ToDisplayTemp(tempF));
    push(*press, Module1::ToDisplayPress(pressPsi));
}

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
    if (reload || !(now == shape_)) rebuild(now, reload);
    else append();
}

void LiveChart::pointLogged(int cell, std::int32_t testId, double resultTime, double resultTemp,
                            double resultPress, double resultHeightChange)
{
    if (cell != 1 && cell != 2) return;
    Held& h = held_[std::size_t(cell)];
    // A point of a test not held is read with the rest of its test at the next rebuild.
    if (!h.valid || h.testId != testId) return;
    if (h.unitSystem != Module1::UnitSystem) {
        h = Held{};
        return;
    }
    h.add(resultTime, resultTemp, resultPress, resultHeightChange);
}

LiveChart::Held LiveChart::load(const LiveChartCell& cell)
{
    clsTEST_RESULT& rs = requireObject(Module1::TestResult);
    clsConnection& connection = requireObject(Module1::DbConnection);
    Held h;
    h.testId = cell.testId;
    h.waferLength = cell.waferLength;
    h.unitSystem = Module1::UnitSystem;
    rs.Test_Id = cell.testId;
    {
        const ReleaseRows release{rs};
        rs.ConnectX(connection);
        const auto& rows = rs.rows();
        const auto n = std::size_t(rs.TotalPoints());
        for (auto* a : {&h.x, &h.swell, &h.temp, &h.press}) {
            *a = std::make_shared<Values>();
            (*a)->reserve(n);
        }
        for (std::size_t i = 0; i < n; ++i) {
            const clsTEST_RESULT::Row& r = rows[i];
            h.add(r.time, r.temp, r.press, r.heightChange);
        }
        pointsRead_ += (long long)n;
    }
    h.valid = true;
    return h;
}

void LiveChart::rebuild(const Shape& shape, bool reload)
{
    ++rebuilds_;
    shape_ = Shape{};   // until this rebuild is complete, the next refresh rebuilds again
    subsetSwell_.fill(-1);
    subsetTemp_.fill(-1);
    subsetPress_.fill(-1);
    drawnPoints_.fill(0);

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

    // Every shown cell's points, in time order: those held, else read from the database. A cell no longer
    // shown lets go of its points. Held even while no trace is drawn, so that a box ticked later finds them.
    for (int c = 1; c <= 2; ++c) {
        const LiveChartCell& cell = shape.cells[std::size_t(c)];
        Held& h = held_[std::size_t(c)];
        if (!cell.shown) {
            h = Held{};
            continue;
        }
        if (reload || !h.valid || h.testId != cell.testId || h.waferLength != cell.waferLength
            || h.unitSystem != Module1::UnitSystem) {
            h = Held{};
            h = load(cell);
        }
        drawnPoints_[std::size_t(c)] = h.size();
        maxPoints_ = std::max(maxPoints_, int(h.size()));
    }

    if (count == 0) {
        // Nothing to draw: the chart keeps its initial state.
        shape_ = shape;
        return;
    }
    chart_.SetSubsetCount(count);
    chart_.SetPointCount(maxPoints_);

    const QString name[3] = {QString(), shape.cells[1].testName, shape.cells[2].testName};
    int subset = 0;
    auto trace = [&](int c, const std::shared_ptr<Values>& y, const QString& suffix, const QColor& color) {
        chart_.SetSubsetArrays(subset, held_[std::size_t(c)].x, y);
        chart_.SetSubsetLabel(subset, name[c] + suffix);
        chart_.SetSubsetColor(subset, color);
        return subset++;
    };
    if (b.swell)
        for (int c : shownCells) subsetSwell_[std::size_t(c)] = trace(c, held_[std::size_t(c)].swell, QStringLiteral("-Swell"), SwellColor[c]);
    if (b.temp)
        for (int c : shownCells) subsetTemp_[std::size_t(c)] = trace(c, held_[std::size_t(c)].temp, QStringLiteral("-Temp."), TempColor[c]);
    if (b.press)
        for (int c : shownCells) subsetPress_[std::size_t(c)] = trace(c, held_[std::size_t(c)].press, QStringLiteral("-Press."), PressColor[c]);

    chart_.Redraw();
    shape_ = shape;
}

void LiveChart::append()
{
    bool any = false;
    for (int c = 1; c <= 2; ++c) {
        const std::size_t n = held_[std::size_t(c)].size();
        if (n == drawnPoints_[std::size_t(c)]) continue;
        drawnPoints_[std::size_t(c)] = n;
        maxPoints_ = std::max(maxPoints_, int(n));
        any = any || subsetSwell_[std::size_t(c)] >= 0 || subsetTemp_[std::size_t(c)] >= 0 || subsetPress_[std::size_t(c)] >= 0;
    }
    if (!any) return;
    // The traces draw the held arrays: the new points only need counting in.
    chart_.SetPointCount(maxPoints_);
    chart_.Redraw();
}

} // namespace realtime
