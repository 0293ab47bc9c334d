#pragma once
// The live chart of a simple-test unit screen: every running cell's points as swell, temperature and
// pressure traces against time, on up to three y axes.
//
// The chart shows each shown cell's points as they are logged: the screen holds them once, as the drawn
// values (time in minutes, swell, temperature and pressure in the display units, single precision), and the
// chart's traces draw those very arrays. A rebuild (a trace box, START of the other cell, a new test) takes
// a cell's points from what is held and reads TEST_RESULT only for a cell whose points are not held (a new
// test, a changed wafer length or unit system); after a logged point the chart only takes the new point.
// What it shows is the same as a rebuild from the database would show.
#include <QColor>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
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

    // Brings the chart up to date (cells indexed 1 and 2). A rebuild runs when anything but new points
    // changed since the last one, and with `reload`, which also reads every shown cell's points from the
    // database again; otherwise only the points logged since are drawn. May throw DbError (reading the
    // points).
    void Refresh(const std::array<LiveChartCell, 3>& cells, const LiveChartBoxes& boxes, bool reload = false);

    // A point of a cell was stored in TEST_RESULT with these values (the row's own columns).
    void pointLogged(int cell, std::int32_t testId, double resultTime, double resultTemp, double resultPress,
                     double resultHeightChange);

    // The chart's point count: the most points read or logged for any cell since the screen opened.
    int pointCount() const { return maxPoints_; }
    // Full rebuilds so far, and the cells' points read from the database by them (for tests and benches).
    int rebuildCount() const { return rebuilds_; }
    long long pointsRead() const { return pointsRead_; }

private:
    using Values = std::vector<float>;
    // A shown cell's points as drawn, kept as they are logged. The arrays are the very ones its traces draw.
    struct Held {
        bool valid = false;
        std::int32_t testId = 0;
        double waferLength = 0;
        int unitSystem = 0;
        std::shared_ptr<Values> x, swell, temp, press;
        std::size_t size() const { return valid ? x->size() : 0; }
        void add(double time, double temp, double press, double heightChange);
    };
    struct Shape {
        std::array<LiveChartCell, 3> cells;
        LiveChartBoxes boxes;
        int unitSystem = 0;
        QString tempCaption, pressCaption;
        bool valid = false;
        bool operator==(const Shape& o) const;
    };

    void rebuild(const Shape& shape, bool reload);
    // The cell's points from TEST_RESULT.
    Held load(const LiveChartCell& cell);
    void append();

    platform::Chart& chart_;
    bool placeholder_;
    Shape shape_;                        // what the chart shows since its last rebuild
    std::array<int, 3> subsetSwell_{};   // subset index of each trace of a cell, -1 when not drawn
    std::array<int, 3> subsetTemp_{};
    std::array<int, 3> subsetPress_{};
    std::array<Held, 3> held_;
    std::array<std::size_t, 3> drawnPoints_{};   // points of each cell as of the last drawing
    int maxPoints_ = 0;
    int rebuilds_ = 0;
    long long pointsRead_ = 0;
};

} // namespace realtime
