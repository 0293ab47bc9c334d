#pragma once
// The chart of the unit screens and of the main window: titles, subsets (traces) of points shared by one
// point count, several y axes on one plotting area, and printing. Drawn by QCustomPlot.
//
// Settings and points are recorded as they are given and take effect at the next Redraw; everything read
// back (counts, texts, colours, drawn points) describes the chart as of the last Redraw.
//
// Points are single precision, as the chart's callers hand them over. A point is drawn only when both its
// x and its y have been given a (finite) value since the last Reset; a point index outside the point count
// is ignored. Subset and axis properties may be set for indexes beyond the current counts and take effect
// when the counts grow.
//
// Long tests: Redraw costs O(new points) when points were only appended since the previous Redraw (the
// drawing takes just the new points and the axis ranges are kept up to date incrementally); any other change
// of the points of a subset rebuilds that subset in one bulk pass. A subset's points are held once (how, in
// ChartGraph.h).
// Painting a line costs O(pixel columns x log points), not O(points): each pixel column of many points is
// summed up from the lowest and highest value of blocks of points, into exactly the points QCustomPlot's own
// adaptive sampling would draw (the first, lowest, highest and last value of the column).
#include <QColor>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <vector>

class QCustomPlot;
class QCPAxis;
class QCPGraph;
class QCPLayoutGrid;
class QCPTextElement;
class QPrinter;

namespace platform {

class ChartGraph;

// A failure of the chart (printing); what() and description() carry the text shown to the operator.
class ChartError : public std::runtime_error {
public:
    explicit ChartError(const QString& description);
    QString description() const { return QString::fromUtf8(what()); }
};

class Chart : public QWidget {
    Q_OBJECT
public:
    enum class LineStyle { Solid, Dash, Dot, DashDot, DashDotDot, None };
    enum class Marker { None, Dot, Circle, Square, Diamond, Triangle, Cross, Plus, Star };

    explicit Chart(QWidget* parent = nullptr);
    ~Chart() override;

    // ---- the operations of the chart's callers ----

    // Back to an empty chart: empty titles and labels, no subsets, no points, one axis (selected), default
    // subset styles and background.
    void Reset();

    void SetMainTitle(const QString& text);
    void SetSubTitle(const QString& text);
    void SetXAxisLabel(const QString& text);

    void SetSubsetCount(int count);
    // Number of points of every subset. Lowering it drops the values of the points beyond it.
    void SetPointCount(int count);

    void SetSubsetLabel(int subset, const QString& text);   // shown in the legend
    void SetSubsetColor(int subset, const QColor& color);
    void SetSubsetLineStyle(int subset, LineStyle style);
    void SetSubsetMarker(int subset, Marker marker);

    void SetPointX(int subset, int point, double x);
    void SetPointY(int subset, int point, double y);

    // Axes are numbered from 0. Subsets go to the axes in order: axis 0 carries its first count subsets,
    // axis 1 the next ones, and so on; subsets beyond the sum of the counts go to the last axis.
    void SelectAxis(int axis);   // the working axis of the axis operations below
    void SetAxisLabel(const QString& text);
    void SetAxisColor(const QColor& color);
    void SetAxisSubsetCount(int axis, int count);
    // Number of axes sharing the one plotting area. Recorded; every axis is drawn on the one plotting area.
    void SetSharedAxisCount(int count);
    // The working axis's right-hand scale. The last n subsets of the axis are drawn against it
    // (SetRightAxisSubsetCount); the scale is shown when it carries subsets or has a label.
    void SetRightAxisLabel(const QString& text);
    void SetRightAxisColor(const QColor& color);
    void SetRightAxisSubsetCount(int count);

    void SetBackColor(const QColor& color);

    // Draws from the current settings and data (the widget repaints at the next event loop turn).
    void Redraw();

    // Prints the chart as last drawn, scaled to the page. With no printer the print dialog is shown first;
    // returns false when the operator cancels it. A printer that cannot be opened or reports an error
    // raises ChartError with a description.
    bool PrintChart(QPrinter* printer = nullptr);

    // ---- bulk helpers for long subsets ----

    // Points 0..n-1 of the subset from the two arrays (n = the shorter one); the subset's points beyond n
    // lose their values. The point count grows to n when it is smaller.
    void SetSubsetPoints(int subset, const std::vector<double>& x, const std::vector<double>& y);
    // The same for n points from a function giving point i's values, `point(i, x, y)` with double x and y,
    // without arrays of the caller's own.
    template <class PointFn> void SetSubsetPoints(int subset, std::size_t n, PointFn&& point)
    {
        Values* x = nullptr;
        Values* y = nullptr;
        if (!beginPoints(subset, n, x, y)) return;
        for (std::size_t i = 0; i < n; ++i) {
            double px = 0, py = 0;
            point(i, px, py);
            (*x)[i] = static_cast<float>(px);
            (*y)[i] = static_cast<float>(py);
        }
        endPoints(subset);
    }
    // The subset's points are the first n values of these very arrays (n = the shorter one), without a copy;
    // the point count grows to n when it is smaller. The caller keeps them and may append to both between
    // Redraws (never change a value given), raising the point count to the points it wants drawn; the
    // chart copies them before it changes any point of the subset itself. One x array may serve several
    // subsets.
    void SetSubsetArrays(int subset, std::shared_ptr<std::vector<float>> x, std::shared_ptr<std::vector<float>> y);
    // Gives the point after the subset's last point with a value its x and y; the point count grows when
    // that point lies beyond it. Returns the point's index.
    int AppendPoint(int subset, double x, double y);

    // ---- reading back (the chart as of the last Redraw) ----

    int subsetCount() const { return int(graphs_.size()); }   // one graph per subset drawn
    int pointCount() const { return drawn_.pointCount; }
    int axisCount() const { return int(drawn_.axes.size()); }
    int sharedAxisCount() const { return drawn_.sharedAxisCount; }
    int selectedAxis() const { return selected_; }   // current setting
    QString mainTitle() const;
    QString subTitle() const;
    QString xAxisLabel() const;
    QString axisLabel(int axis) const;
    QColor axisColor(int axis) const;
    bool hasRightAxis(int axis) const;
    QString rightAxisLabel(int axis) const;
    QColor rightAxisColor(int axis) const;
    QColor backColor() const { return drawn_.backColor; }

    QString subsetLabel(int subset) const;
    QColor subsetColor(int subset) const;
    LineStyle subsetLineStyle(int subset) const;
    Marker subsetMarker(int subset) const;
    int subsetAxis(int subset) const;            // -1 for no such subset
    bool subsetOnRightAxis(int subset) const;
    // The points of a subset as drawn, in drawing (x) order.
    std::vector<double> drawnX(int subset) const;
    std::vector<double> drawnY(int subset) const;

    // The QCustomPlot axis that a chart axis (or its right-hand scale) is drawn on; nullptr when none.
    QCPAxis* valueAxis(int axis, bool rightScale = false) const;
    QCPGraph* graph(int subset) const;
    QCustomPlot* plot() const { return plot_; }

    // What the last Redraw did to the points: subsets rebuilt in full and points appended to subsets.
    struct RedrawStats {
        int rebuiltSubsets = 0;
        std::size_t appendedPoints = 0;
    };
    RedrawStats lastRedrawStats() const { return stats_; }
    // Bytes held for the points (own values and the graphs' data), capacity included.
    std::size_t pointMemoryBytes() const;

private:
    struct SubsetSettings {
        QString label;
        QColor color;   // invalid: the default colour of its index
        LineStyle line = LineStyle::Solid;
        Marker marker = Marker::None;
    };
    using Values = std::vector<float>;
    // The given points of a subset. How these arrays are shared with the graphs and between subsets
    // (shared, xShared, external, frontier, rebuild, spare_) is written down once, in ChartGraph.h.
    struct SubsetData {
        // NaN: no value; size = 1 + last index given any value.
        std::shared_ptr<Values> x = std::make_shared<Values>(), y = std::make_shared<Values>();
        std::size_t shared = 0;
        bool xShared = false;
        bool external = false;
        std::size_t frontier = 0;
        bool rebuild = true;
        bool hasRange = false;
        double kmin = 0, kmax = 0, vmin = 0, vmax = 0;
        double lastKey = 0;
    };
    struct AxisSettings {
        QString label;
        QColor color;
        int subsetCount = -1;   // -1: not given
        QString rightLabel;
        QColor rightColor;
        int rightSubsetCount = 0;
    };
    struct DrawnAxis {
        QCPAxis* main = nullptr;
        QCPAxis* right = nullptr;
    };
    struct Drawn {
        int pointCount = 0;
        int sharedAxisCount = 1;
        QColor backColor;
        std::vector<DrawnAxis> axes;
        std::vector<int> subsetAxis;
        std::vector<bool> subsetRight;
        std::vector<SubsetSettings> subsets;
    };

    // The settings of a subset for a change (marks the set-up for the next Redraw); nullptr out of range.
    SubsetSettings* settingsAt(int subset);
    SubsetData* dataAt(int subset);   // nullptr when out of range
    AxisSettings& axisAt(int axis);
    void setValue(int subset, int point, double v, bool isX);
    // Gives the subset arrays of its own (keeping `keep` points), before a change of a shared point.
    static void detach(SubsetData& d, std::size_t keep);
    // Gives the subset an x array of its own when it shares one, before x changes.
    void ownX(int subset);
    // Copies a subset's caller-held arrays before the chart changes one of its points.
    void ownExternal(SubsetData& d);
    // An array of n values: a spare one when one fits, else a new one.
    std::shared_ptr<Values> takeArray(std::size_t n);
    bool beginPoints(int subset, std::size_t n, Values*& x, Values*& y);
    void endPoints(int subset);
    void applySetup();
    void applyData(int subset);
    void rebuildSubset(SubsetData& d, ChartGraph& g);
    bool appendToSubset(SubsetData& d, ChartGraph& g);
    void applyRanges();
    static QColor defaultSubsetColor(int subset);
    void styleAxis(QCPAxis* a, const QString& label, const QColor& color) const;

    QCustomPlot* plot_ = nullptr;
    QCPTextElement* title_ = nullptr;
    QCPTextElement* subTitle_ = nullptr;
    QCPLayoutGrid* legendBar_ = nullptr;   // the legend, centred below the plotting area

    // settings
    QString mainTitleText_, subTitleText_, xLabel_;
    int subsetCount_ = 0;
    int pointCount_ = 0;
    int selected_ = 0;
    int sharedAxisCount_ = 1;
    QColor back_;
    std::vector<SubsetSettings> subsetSettings_;
    std::vector<AxisSettings> axisSettings_;
    bool setupDirty_ = true;

    // points and graphs
    std::vector<SubsetData> data_;
    std::vector<std::shared_ptr<Values>> spare_;   // point arrays a Reset let go
    std::vector<ChartGraph*> graphs_;
    std::vector<QCPAxis*> leftPool_, rightPool_;

    Drawn drawn_;
    RedrawStats stats_;
};

} // namespace platform
