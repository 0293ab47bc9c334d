#pragma once
// The graph that draws one subset of a Chart, and the rules by which the chart and its graphs share the
// point arrays.
//
// Array sharing. A subset's given points are two arrays of floats (x, y; NaN where no value was given)
// held through shared_ptr, and a graph reads two such arrays in ascending x. To keep a long test's points
// in memory once:
// - `shared` (per subset): a Redraw whose subset points are all complete and in ascending x hands the very
//   arrays to the graph, and the first `shared` points of them are what the graph draws. Changing one of
//   those points copies the arrays first (the graph keeps drawing what it was given); appending beyond them
//   grows the arrays in place (the graph reads only its first count() points).
// - `xShared` (per subset): subsets given the same x in bulk hold one x array. A change of x (any point,
//   appended or set) first gives the subset a copy of its own, and a graph that reads the shared array is
//   moved onto the copy (same values).
// - `external` (per subset): the arrays were handed over by the caller (Chart::SetSubsetArrays), who keeps
//   them and only appends to them. The chart never writes into them: any change of the subset's points
//   (set, append, a lower point count) first copies both arrays and rebuilds the graph from the copy.
// - `frontier` (per subset): the points below it are in the graph exactly as stored, so a Redraw after
//   appends only hands over the new points (O(new points)); a change below it sets `rebuild`.
// - `rebuild` (per subset): the next Redraw rebuilds the graph in one bulk pass (new arrays, a change below
//   the frontier, points out of x order, a new graph).
// - `spare_` (per chart): Reset keeps the arrays it let go; points set in bulk before the next Redraw reuse
//   one of them that nothing else holds (use_count 1) and fits, instead of faulting in as much memory
//   again. The first Redraw that draws points frees the rest.
#include <qcustomplot.h>

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

// Its points are held as single-precision arrays in ascending x (possibly the very arrays the subset's
// points were given in), with the lowest and highest value of every block of kBlock points. A solid line
// without markers is painted from the points QCustomPlot's adaptive sampling would pick out of all of them
// (per pixel column its first, lowest, highest and last value), found per column by a binary search and the
// blocks instead of a walk over every point; any other style is painted by QCustomPlot from a full copy in
// its own container.
class ChartGraph final : public QCPGraph {
public:
    static constexpr std::size_t kBlock = 64;
    using Values = std::vector<float>;

    ChartGraph(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

    // Draws the first n points of the two arrays (ascending x, all finite).
    void setPoints(std::shared_ptr<Values> keys, std::shared_ptr<Values> values, std::size_t n);
    // The arrays now hold n points (n >= count()), the first count() of them unchanged.
    void grow(std::size_t n);
    const std::shared_ptr<Values>& keys() const { return keys_; }
    // Another array holding the same keys.
    void setKeys(std::shared_ptr<Values> keys) { keys_ = std::move(keys); }
    const std::shared_ptr<Values>& values() const { return values_; }
    std::size_t count() const { return count_; }
    double key(std::size_t i) const { return (*keys_)[i]; }
    double value(std::size_t i) const { return (*values_)[i]; }
    std::size_t indexBytes() const { return (blockMin_.capacity() + blockMax_.capacity()) * sizeof(float); }
    // Lowest and highest value of all points (count() > 0), from the blocks.
    std::pair<float, float> valueRange() const { return extremes(0, count_); }

    // Whether the line is painted from the columns; otherwise QCustomPlot paints every point from its own
    // container, kept up to date by syncContainer.
    bool columns() const;
    void syncContainer();
    // The points QCustomPlot's own container holds (none while the line is painted from the columns).
    std::size_t containerSize() const { return std::size_t(mDataContainer->size()); }
    std::size_t containerBytes() const { return containerSize() * sizeof(QCPGraphData); }
    // The graph's legend icon (for the chart's own legend entries).
    void drawIcon(QCPPainter* painter, const QRectF& rect) const { drawLegendIcon(painter, rect); }

    // The points a line through the visible points is drawn through, as QCPGraph::getOptimizedLineData
    // gives them for the same points.
    QVector<QCPGraphData> lineData() const;

protected:
    void draw(QCPPainter* painter) override;

private:
    // Lowest and highest value of points [i, j), j > i.
    std::pair<float, float> extremes(std::size_t i, std::size_t j) const;

    std::shared_ptr<Values> keys_, values_;
    std::size_t count_ = 0;
    Values blockMin_, blockMax_;
    bool containerStale_ = true;
};

} // namespace platform
