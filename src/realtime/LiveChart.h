#pragma once
// The live chart of a simple-test unit screen: every running cell's points as swell, temperature and
// pressure traces against time, on up to three y axes.
//
// A rebuild re-reads every shown cell's points from TEST_RESULT. Because a week-long test holds 600,000
// points per cell, the chart is rebuilt from the database only when what it shows changes (the cells shown,
// their tests or wafer lengths, the trace boxes, the unit system); after a logged point it takes just the
// points logged since the last drawing, with the very values that were written to the database, through
// the chart's append path. What it shows is the same as a rebuild would show.
#include <QColor>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace platform {
class Chart;
}

namespace realtime {

// What the chart needs of a cell: it is shown while it runs (a test name and a START button that reads
// "STOP").
struct LiveChartCell {
    bool shown = false;
    QString testName;
    std::int32_t testId = 0;
    double waferLength = 0;   // inches; swell = height change / wafer length × 100 when not 0
};

// The three trace boxes.
struct LiveChartBoxes {
    bool swell = false;
    bool temp = false;
    bool press = false;
};

class LiveChart {
public:
    // Trace colours (cell A, cell B) and axis colours.
    static const QColor SwellColor[3];
    static const QColor TempColor[3];
    static const QColor PressColor[3];
    static const QColor SwellAxisColor;   // green
    static const QColor TempAxisColor;    // light red
    static const QColor PressAxisColor;   // blue
    static const QColor BackColor;        // light grey

    // placeholder: the initial state loads a placeholder point so that the empty chart draws its axes over
    // the first minute (simple screen); without it an empty chart draws no points at all (sequence screen).
    explicit LiveChart(platform::Chart& chart, bool placeholder = true);

    // The chart's initial state: "Swell vs. Time", "Time (min)", "Swell(%)", light grey, the line and
    // marker styles of six traces, and the placeholder point when the chart has one.
    void Initial_Chart_All();

    // Brings the chart up to date (cells indexed 1 and 2). A full rebuild from the database runs when
    // `reload` is set or when anything but new points changed since the last rebuild; otherwise only the
    // points logged since are appended. May throw DbError (reading the points).
    void Refresh(const std::array<LiveChartCell, 3>& cells, const LiveChartBoxes& boxes, bool reload = false);

    // A point of a cell was stored in TEST_RESULT with these values (the row's own columns).
    void pointLogged(int cell, std::int32_t testId, double resultTime, double resultTemp, double resultPress,
                     double resultHeightChange);

    // The chart's point count: the most points read or logged for any cell since the screen opened.
    int pointCount() const { return maxPoints_; }
    // Full rebuilds so far (for tests and the benchmark).
    int rebuildCount() const { return rebuilds_; }

private:
    struct Point {
        double time, temp, press, heightChange;
    };
    struct Shape {
        std::array<LiveChartCell, 3> cells;
        LiveChartBoxes boxes;
        int unitSystem = 0;
        QString tempCaption, pressCaption;
        bool valid = false;
        bool operator==(const Shape& o) const;
    };

    void rebuild(const Shape& shape);
    void append();

    platform::Chart& chart_;
    bool placeholder_;
    Shape shape_;                        // what the chart shows since its last rebuild
    std::array<int, 3> subsetSwell_{};   // subset index of each trace of a cell, -1 when not drawn
    std::array<int, 3> subsetTemp_{};
    std::array<int, 3> subsetPress_{};
    std::array<int, 3> cellPoints_{};    // points of each shown cell on the chart
    std::array<std::vector<Point>, 3> pending_;
    std::array<std::int32_t, 3> pendingTest_{};
    int maxPoints_ = 0;
    int rebuilds_ = 0;
};

} // namespace realtime
