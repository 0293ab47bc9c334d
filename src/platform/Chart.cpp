#include "platform/Chart.h"

#include <qcustomplot.h>

#include "platform/ChartGraph.h"
#include "platform/ChartLegend.h"
#include "platform/DatabaseLock.h"
#include "platform/Prompts.h"

#include <QComboBox>
#include <QCompleter>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace platform {

namespace {

constexpr int kMaxSubsets = 256;
constexpr int kMaxAxes = 16;
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

const QColor kDefaultBack(230, 230, 230);
const QColor kDefaultAxisColor(40, 40, 40);

// Fonts in pixels, so that a printed chart scales its texts with its lines.
QFont pixelFont(int px, bool bold = false)
{
    QFont f;
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

bool sameValue(float a, float b)
{
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

bool complete(float x, float y) { return std::isfinite(x) && std::isfinite(y); }

Qt::PenStyle penStyle(Chart::LineStyle s)
{
    switch (s) {
    case Chart::LineStyle::Dash: return Qt::DashLine;
    case Chart::LineStyle::Dot: return Qt::DotLine;
    case Chart::LineStyle::DashDot: return Qt::DashDotLine;
    case Chart::LineStyle::DashDotDot: return Qt::DashDotDotLine;
    case Chart::LineStyle::Solid:
    case Chart::LineStyle::None: break;
    }
    return Qt::SolidLine;
}

QCPScatterStyle scatterStyle(Chart::Marker m, const QColor& c)
{
    auto shape = QCPScatterStyle::ssNone;
    double size = 6;
    bool filled = false;
    switch (m) {
    case Chart::Marker::None: return QCPScatterStyle(QCPScatterStyle::ssNone);
    case Chart::Marker::Dot: shape = QCPScatterStyle::ssDisc; size = 4; filled = true; break;
    case Chart::Marker::Circle: shape = QCPScatterStyle::ssCircle; break;
    case Chart::Marker::Square: shape = QCPScatterStyle::ssSquare; break;
    case Chart::Marker::Diamond: shape = QCPScatterStyle::ssDiamond; size = 7; break;
    case Chart::Marker::Triangle: shape = QCPScatterStyle::ssTriangle; size = 7; break;
    case Chart::Marker::Cross: shape = QCPScatterStyle::ssCross; break;
    case Chart::Marker::Plus: shape = QCPScatterStyle::ssPlus; size = 7; break;
    case Chart::Marker::Star: shape = QCPScatterStyle::ssStar; size = 7; break;
    }
    return QCPScatterStyle(shape, QPen(c, 1.2), filled ? QBrush(c) : QBrush(Qt::NoBrush), size);
}

// Range of an axis with a little room above and below its data.
QCPRange paddedRange(double lo, double hi)
{
    if (lo == hi) {
        const double d = lo == 0 ? 0.5 : std::abs(lo) * 0.05;
        return {lo - d, hi + d};
    }
    const double pad = (hi - lo) * 0.04;
    return {lo - pad, hi + pad};
}

struct Range {
    bool has = false;
    double lo = 0, hi = 0;
    void add(double a, double b)
    {
        if (!has) { lo = a; hi = b; has = true; }
        else { lo = std::min(lo, a); hi = std::max(hi, b); }
    }
};

} // namespace

ChartError::ChartError(const QString& description) : std::runtime_error(description.toStdString()) {}

Chart::Chart(QWidget* parent) : QWidget(parent)
{
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    plot_ = new QCustomPlot(this);
    box->addWidget(plot_);

    title_ = new QCPTextElement(plot_, QString(), pixelFont(17, true));
    subTitle_ = new QCPTextElement(plot_, QString(), pixelFont(13));
    title_->setTextColor(QColor(20, 20, 20));
    subTitle_->setTextColor(QColor(60, 60, 60));
    title_->setVisible(false);
    subTitle_->setVisible(false);

    // The legend goes below the plotting area, in rows of up to four subsets.
    auto* legend = plot_->legend;
    plot_->axisRect()->insetLayout()->take(legend);
    legend->setFont(pixelFont(12));
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, false);
    legend->setWrap(4);
    legend->setRowSpacing(0);
    legend->setColumnSpacing(14);
    legend->setVisible(false);
    legendBar_ = new QCPLayoutGrid;
    legendBar_->addElement(0, 0, new QCPLayoutElement(plot_));
    legendBar_->addElement(0, 1, legend);
    legendBar_->addElement(0, 2, new QCPLayoutElement(plot_));
    legendBar_->setColumnStretchFactors({1, 0.001, 1});
    legendBar_->setVisible(false);
    plot_->plotLayout()->addElement(1, 0, legendBar_);   // owned by the plot from here on

    // Nothing is drawn on the top layer (it holds only the selection rectangle, which the chart never
    // shows): kept in the one paint buffer of the other layers, a repaint neither clears nor composites a
    // second full-size buffer.
    plot_->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    plot_->setAutoAddPlottableToLegend(false);
    plot_->axisRect()->setBackground(Qt::white);
    plot_->xAxis2->setVisible(false);
    plot_->yAxis2->setVisible(false);
    leftPool_.push_back(plot_->yAxis);
    rightPool_.push_back(plot_->yAxis2);

    Reset();
    Redraw();
}

Chart::~Chart() = default;

// ---------------------------------------------------------------------------------------------- settings

void Chart::Reset()
{
    mainTitleText_.clear();
    subTitleText_.clear();
    xLabel_.clear();
    subsetCount_ = 0;
    pointCount_ = 0;
    selected_ = 0;
    sharedAxisCount_ = 1;
    back_ = kDefaultBack;
    subsetSettings_.clear();
    axisSettings_.assign(1, AxisSettings{});
    for (const SubsetData& d : data_) {
        for (const auto& a : {d.x, d.y})
            if (a->capacity() > 0 && std::find(spare_.begin(), spare_.end(), a) == spare_.end()) spare_.push_back(a);
    }
    data_.clear();
    data_.shrink_to_fit();
    setupDirty_ = true;
}

void Chart::SetMainTitle(const QString& text) { mainTitleText_ = text; setupDirty_ = true; }
void Chart::SetSubTitle(const QString& text) { subTitleText_ = text; setupDirty_ = true; }
void Chart::SetXAxisLabel(const QString& text) { xLabel_ = text; setupDirty_ = true; }

void Chart::SetSubsetCount(int count)
{
    subsetCount_ = std::clamp(count, 0, kMaxSubsets);
    setupDirty_ = true;
}

void Chart::SetPointCount(int count)
{
    count = std::max(count, 0);
    if (count < pointCount_) {
        const auto n = std::size_t(count);
        for (std::size_t s = 0; s < data_.size(); ++s) {
            SubsetData& d = data_[s];
            if (d.x->size() > n || d.y->size() > n) {
                ownExternal(d);
                ownX(int(s));
                if (d.shared > n) detach(d, n);
                d.x->resize(n);
                d.y->resize(n);
                if (n < d.x->capacity() / 2) {
                    d.x->shrink_to_fit();
                    d.y->shrink_to_fit();
                }
            }
            if (d.frontier > n) d.rebuild = true;
        }
    }
    pointCount_ = count;
}

Chart::SubsetSettings* Chart::settingsAt(int subset)
{
    if (subset < 0 || subset >= kMaxSubsets) return nullptr;
    if (std::size_t(subset) >= subsetSettings_.size()) subsetSettings_.resize(std::size_t(subset) + 1);
    setupDirty_ = true;
    return &subsetSettings_[std::size_t(subset)];
}

void Chart::SetSubsetLabel(int subset, const QString& text)
{
    if (SubsetSettings* s = settingsAt(subset)) s->label = text;
}

void Chart::SetSubsetColor(int subset, const QColor& color)
{
    if (SubsetSettings* s = settingsAt(subset)) s->color = color;
}

void Chart::SetSubsetLineStyle(int subset, LineStyle style)
{
    if (SubsetSettings* s = settingsAt(subset)) s->line = style;
}

void Chart::SetSubsetMarker(int subset, Marker marker)
{
    if (SubsetSettings* s = settingsAt(subset)) s->marker = marker;
}

Chart::AxisSettings& Chart::axisAt(int axis)
{
    if (std::size_t(axis) >= axisSettings_.size()) axisSettings_.resize(std::size_t(axis) + 1);
    return axisSettings_[std::size_t(axis)];
}

void Chart::SelectAxis(int axis)
{
    if (axis < 0 || axis >= kMaxAxes) return;
    selected_ = axis;
    axisAt(axis);
    setupDirty_ = true;
}

void Chart::SetAxisLabel(const QString& text) { axisAt(selected_).label = text; setupDirty_ = true; }
void Chart::SetAxisColor(const QColor& color) { axisAt(selected_).color = color; setupDirty_ = true; }

void Chart::SetAxisSubsetCount(int axis, int count)
{
    if (axis < 0 || axis >= kMaxAxes) return;
    axisAt(axis).subsetCount = std::max(count, 0);
    setupDirty_ = true;
}

void Chart::SetSharedAxisCount(int count) { sharedAxisCount_ = std::max(count, 1); setupDirty_ = true; }
void Chart::SetRightAxisLabel(const QString& text) { axisAt(selected_).rightLabel = text; setupDirty_ = true; }
void Chart::SetRightAxisColor(const QColor& color) { axisAt(selected_).rightColor = color; setupDirty_ = true; }

void Chart::SetRightAxisSubsetCount(int count)
{
    axisAt(selected_).rightSubsetCount = std::max(count, 0);
    setupDirty_ = true;
}

void Chart::SetBackColor(const QColor& color) { back_ = color; setupDirty_ = true; }

// ------------------------------------------------------------------------------------------------ points

Chart::SubsetData* Chart::dataAt(int subset)
{
    if (subset < 0 || subset >= kMaxSubsets) return nullptr;
    if (std::size_t(subset) >= data_.size()) data_.resize(std::size_t(subset) + 1);
    return &data_[std::size_t(subset)];
}

namespace {
// Grows a subset's array to `size` values; its room grows by a quarter at a time, but not beyond `cap`
// when that is given and large enough.
void growTo(std::vector<float>& v, std::size_t size, std::size_t cap)
{
    if (size > v.capacity()) {
        std::size_t want = std::max(size, v.capacity() + v.capacity() / 4 + 1024);
        if (cap >= size) want = std::min(want, cap);
        v.reserve(want);
    }
    v.resize(size, kNoValue);
}
} // namespace

void Chart::detach(SubsetData& d, std::size_t keep)
{
    keep = std::min(keep, d.x->size());
    d.x = std::make_shared<Values>(d.x->begin(), d.x->begin() + std::ptrdiff_t(keep));
    d.y = std::make_shared<Values>(d.y->begin(), d.y->begin() + std::ptrdiff_t(keep));
    d.shared = 0;
    d.xShared = false;
}

void Chart::ownExternal(SubsetData& d)
{
    if (!d.external) return;
    d.x = std::make_shared<Values>(*d.x);
    d.y = std::make_shared<Values>(*d.y);
    const std::size_t size = std::max(d.x->size(), d.y->size());   // the chart keeps both the same length
    d.x->resize(size, kNoValue);
    d.y->resize(size, kNoValue);
    d.external = false;
    d.xShared = false;
    d.shared = 0;
    d.rebuild = true;
}

void Chart::ownX(int subset)
{
    SubsetData& d = data_[std::size_t(subset)];
    if (!d.xShared) return;
    auto copy = std::make_shared<Values>(*d.x);
    if (std::size_t(subset) < graphs_.size() && graphs_[std::size_t(subset)]->keys() == d.x)
        graphs_[std::size_t(subset)]->setKeys(copy);
    d.x = std::move(copy);
    d.xShared = false;
}

void Chart::setValue(int subset, int point, double v, bool isX)
{
    if (point < 0 || point >= pointCount_) return;
    SubsetData* d = dataAt(subset);
    if (!d) return;
    ownExternal(*d);
    const auto i = std::size_t(point);
    if (i >= d->x->size()) {
        ownX(subset);
        growTo(*d->x, i + 1, std::size_t(pointCount_));
        growTo(*d->y, i + 1, std::size_t(pointCount_));
    }
    const float f = static_cast<float>(v);
    if (sameValue((isX ? *d->x : *d->y)[i], f)) return;
    if (isX) ownX(subset);
    if (i < d->shared) detach(*d, d->x->size());
    (isX ? *d->x : *d->y)[i] = f;
    if (i < d->frontier) d->rebuild = true;
}

void Chart::SetPointX(int subset, int point, double x) { setValue(subset, point, x, true); }
void Chart::SetPointY(int subset, int point, double y) { setValue(subset, point, y, false); }

void Chart::SetSubsetPoints(int subset, const std::vector<double>& x, const std::vector<double>& y)
{
    SetSubsetPoints(subset, std::min(x.size(), y.size()), [&](std::size_t i, double& px, double& py) {
        px = x[i];
        py = y[i];
    });
}

std::shared_ptr<Chart::Values> Chart::takeArray(std::size_t n)
{
    // The smallest spare array that holds n values without holding more than twice as many.
    auto best = spare_.end();
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
        const std::size_t cap = (*it)->capacity();
        if (it->use_count() == 1 && cap >= n && cap / 2 <= n && (best == spare_.end() || cap < (*best)->capacity()))
            best = it;
    }
    if (best == spare_.end()) return std::make_shared<Values>(n);
    std::shared_ptr<Values> a = std::move(*best);
    spare_.erase(best);
    a->resize(n);
    return a;
}

bool Chart::beginPoints(int subset, std::size_t n, Values*& x, Values*& y)
{
    if (n > std::size_t(std::numeric_limits<int>::max())) return false;
    SubsetData* dp = dataAt(subset);
    if (!dp) return false;
    SubsetData& d = *dp;
    pointCount_ = std::max(pointCount_, int(n));
    d.x = takeArray(n);
    d.y = takeArray(n);
    d.shared = 0;
    d.xShared = false;
    d.external = false;
    d.rebuild = true;
    x = d.x.get();
    y = d.y.get();
    return true;
}

void Chart::endPoints(int subset)
{
    // The same x values as another subset's (the time of the same rows): one array serves both (xShared).
    SubsetData& d = data_[std::size_t(subset)];
    const Values& x = *d.x;
    for (std::size_t o = 0; o < data_.size(); ++o) {
        SubsetData& other = data_[o];
        if (o == std::size_t(subset) || other.x->size() != x.size() || x.empty()
            || std::memcmp(other.x->data(), x.data(), x.size() * sizeof(float)) != 0)
            continue;
        spare_.push_back(std::exchange(d.x, other.x));
        d.xShared = other.xShared = true;
        return;
    }
}

void Chart::SetSubsetArrays(int subset, std::shared_ptr<Values> x, std::shared_ptr<Values> y)
{
    SubsetData* d = dataAt(subset);
    if (!d || !x || !y) return;
    const std::size_t n = std::min(x->size(), y->size());
    if (n > std::size_t(std::numeric_limits<int>::max())) return;
    pointCount_ = std::max(pointCount_, int(n));
    d->x = std::move(x);
    d->y = std::move(y);
    d->shared = 0;
    d->xShared = false;
    d->external = true;
    d->rebuild = true;
}

int Chart::AppendPoint(int subset, double x, double y)
{
    SubsetData* dp = dataAt(subset);
    if (!dp) return -1;
    SubsetData& d = *dp;
    const std::size_t i = d.x->size();
    if (i >= std::size_t(std::numeric_limits<int>::max())) return -1;
    ownExternal(d);
    ownX(subset);
    pointCount_ = std::max(pointCount_, int(i) + 1);
    growTo(*d.x, i + 1, 0);
    growTo(*d.y, i + 1, 0);
    (*d.x)[i] = static_cast<float>(x);
    (*d.y)[i] = static_cast<float>(y);
    return int(i);
}

// ------------------------------------------------------------------------------------------------ drawing

QColor Chart::defaultSubsetColor(int subset)
{
    static const QColor palette[] = {
        QColor(0, 128, 0),   QColor(0, 0, 128),     QColor(220, 0, 0),   QColor(128, 0, 128),
        QColor(0, 128, 128), QColor(200, 120, 0),   QColor(70, 70, 70),  QColor(0, 160, 255),
        QColor(160, 0, 60),  QColor(100, 160, 0),   QColor(120, 80, 40), QColor(255, 0, 255),
    };
    return palette[std::size_t(subset) % std::size(palette)];
}

void Chart::styleAxis(QCPAxis* a, const QString& label, const QColor& color) const
{
    const QColor c = color.isValid() ? color : kDefaultAxisColor;
    a->setVisible(true);
    a->setTickLabels(true);
    a->setLabel(label);
    a->setLabelFont(pixelFont(13));
    a->setTickLabelFont(pixelFont(12));
    a->setLabelColor(c);
    a->setTickLabelColor(c);
    a->setBasePen(QPen(c, 1));
    a->setTickPen(QPen(c, 1));
    a->setSubTickPen(QPen(c, 1));
    a->setLowerEnding(QCPLineEnding::esNone);
    a->setUpperEnding(QCPLineEnding::esNone);
    a->setPadding(6);
    a->setLabelPadding(4);
}

void Chart::applySetup()
{
    // Titles and legend rows around the plotting area; empty ones take no room.
    auto* grid = plot_->plotLayout();
    for (QCPLayoutElement* e : {static_cast<QCPLayoutElement*>(title_), static_cast<QCPLayoutElement*>(subTitle_),
                                static_cast<QCPLayoutElement*>(legendBar_)}) {
        if (e->layout() == grid) grid->take(e);
    }
    grid->simplify();
    title_->setText(mainTitleText_);
    subTitle_->setText(subTitleText_);
    title_->setVisible(!mainTitleText_.isEmpty());
    subTitle_->setVisible(!subTitleText_.isEmpty());
    int row = 0;
    for (QCPTextElement* t : {title_, subTitle_}) {
        if (!t->visible()) continue;
        grid->insertRow(row);
        grid->addElement(row, 0, t);
        t->setMargins(QMargins(4, row == 0 ? 6 : 0, 4, 2));
        ++row;
    }

    plot_->setBackground(QBrush(back_));
    // An opaque background covers the whole widget in its paint event: nothing beneath it is painted first.
    plot_->setAttribute(Qt::WA_OpaquePaintEvent, back_.alpha() == 255);

    // Which subsets each axis carries: in order by the axes' counts, the rest on the last axis; of an
    // axis's subsets the last ones go to its right-hand scale.
    const int axisCount = std::max<int>(1, int(axisSettings_.size()));
    std::vector<int> subsetAxis(std::size_t(subsetCount_), axisCount - 1);
    std::vector<std::vector<int>> carried(static_cast<std::size_t>(axisCount));
    {
        int s = 0;
        for (int a = 0; a < axisCount && s < subsetCount_; ++a) {
            const int n = std::max(0, axisSettings_[std::size_t(a)].subsetCount);
            for (int k = 0; k < n && s < subsetCount_; ++k, ++s) subsetAxis[std::size_t(s)] = a;
        }
        for (int i = 0; i < subsetCount_; ++i) carried[std::size_t(subsetAxis[std::size_t(i)])].push_back(i);
    }
    std::vector<bool> onRight(std::size_t(subsetCount_), false);
    for (int a = 0; a < axisCount; ++a) {
        const auto& list = carried[std::size_t(a)];
        const int r = std::min<int>(axisSettings_[std::size_t(a)].rightSubsetCount, int(list.size()));
        for (int k = int(list.size()) - r; k < int(list.size()); ++k) onRight[std::size_t(list[std::size_t(k)])] = true;
    }

    // Sides: axis 0 on the left; an axis with a right-hand scale keeps its own scale on the left; the
    // others go to the side with fewer scales so far.
    int leftUsed = 0, rightUsed = 0;
    struct Place { bool mainLeft; int mainIdx; int rightIdx; };
    std::vector<Place> places(static_cast<std::size_t>(axisCount));
    for (int a = 0; a < axisCount; ++a) {
        const AxisSettings& sp = axisSettings_[std::size_t(a)];
        const bool hasRight = sp.rightSubsetCount > 0 || !sp.rightLabel.isEmpty();
        Place& p = places[std::size_t(a)];
        p.mainLeft = a == 0 || hasRight || leftUsed <= rightUsed;
        p.mainIdx = p.mainLeft ? leftUsed++ : rightUsed++;
        p.rightIdx = hasRight ? rightUsed++ : -1;
    }
    auto* rect = plot_->axisRect();
    while (int(leftPool_.size()) < leftUsed) leftPool_.push_back(rect->addAxis(QCPAxis::atLeft));
    while (int(rightPool_.size()) < rightUsed) rightPool_.push_back(rect->addAxis(QCPAxis::atRight));

    drawn_.axes.assign(std::size_t(axisCount), DrawnAxis{});
    for (int a = 0; a < axisCount; ++a) {
        const AxisSettings& sp = axisSettings_[std::size_t(a)];
        const Place& p = places[std::size_t(a)];
        DrawnAxis& da = drawn_.axes[std::size_t(a)];
        da.main = p.mainLeft ? leftPool_[std::size_t(p.mainIdx)] : rightPool_[std::size_t(p.mainIdx)];
        styleAxis(da.main, sp.label, sp.color);
        da.main->grid()->setVisible(a == 0);
        if (p.rightIdx >= 0) {
            da.right = rightPool_[std::size_t(p.rightIdx)];
            styleAxis(da.right, sp.rightLabel, sp.rightColor);
            da.right->grid()->setVisible(false);
        }
    }
    styleAxis(plot_->xAxis, xLabel_, QColor());
    plot_->xAxis->grid()->setVisible(true);

    // Graphs: one per subset, in subset order.
    while (int(graphs_.size()) > subsetCount_) {
        plot_->removeGraph(graphs_.back());
        graphs_.pop_back();
    }
    if (data_.size() < std::size_t(subsetCount_)) data_.resize(std::size_t(subsetCount_));
    plot_->legend->clearItems();
    drawn_.subsets.assign(std::size_t(subsetCount_), SubsetSettings{});
    for (int s = 0; s < subsetCount_; ++s) {
        const DrawnAxis& da = drawn_.axes[std::size_t(subsetAxis[std::size_t(s)])];
        QCPAxis* valueAxis = onRight[std::size_t(s)] ? da.right : da.main;
        if (int(graphs_.size()) <= s) {
            graphs_.push_back(new ChartGraph(plot_->xAxis, valueAxis));   // owned by the plot
            graphs_.back()->setAdaptiveSampling(true);
            data_[std::size_t(s)].rebuild = true;
        }
        ChartGraph* g = graphs_[std::size_t(s)];
        g->setValueAxis(valueAxis);
        SubsetSettings sp = std::size_t(s) < subsetSettings_.size() ? subsetSettings_[std::size_t(s)] : SubsetSettings{};
        if (!sp.color.isValid()) sp.color = defaultSubsetColor(s);
        // A 1 px pen keeps the raster engine on its fast polyline path; a wider one goes through the
        // stroker, many times slower on every redraw.
        g->setPen(QPen(sp.color, 1, penStyle(sp.line)));
        g->setLineStyle(sp.line == LineStyle::None ? QCPGraph::lsNone : QCPGraph::lsLine);
        g->setScatterStyle(scatterStyle(sp.marker, sp.color));
        g->setName(sp.label);
        if (!sp.label.isEmpty()) plot_->legend->addItem(new ChartLegendItem(plot_->legend, g));
        drawn_.subsets[std::size_t(s)] = sp;
    }

    // Scales no axis uses any more: the first left and right ones stay, hidden; the others go.
    auto trim = [&](std::vector<QCPAxis*>& pool, int used) {
        while (int(pool.size()) > std::max(used, 1)) {
            rect->removeAxis(pool.back());
            pool.pop_back();
        }
        if (used == 0) {
            pool.front()->setVisible(false);
            pool.front()->grid()->setVisible(false);
        }
    };
    trim(leftPool_, leftUsed);
    trim(rightPool_, rightUsed);

    const bool legendShown = plot_->legend->itemCount() > 0;
    plot_->legend->setVisible(legendShown);
    legendBar_->setVisible(legendShown);
    if (legendShown) {
        const int legendRow = grid->rowCount();
        grid->addElement(legendRow, 0, legendBar_);
        plot_->legend->setMargins(QMargins(8, 2, 8, 6));
        grid->setRowStretchFactor(legendRow, 0.001);
    }
    for (int r = 0; r < row; ++r) grid->setRowStretchFactor(r, 0.001);

    drawn_.sharedAxisCount = sharedAxisCount_;
    drawn_.backColor = back_;
    drawn_.subsetAxis = subsetAxis;
    drawn_.subsetRight = onRight;
    setupDirty_ = false;
}

void Chart::rebuildSubset(SubsetData& d, ChartGraph& g)
{
    const Values& x = *d.x;
    const Values& y = *d.y;
    const std::size_t n = std::min({x.size(), y.size(), std::size_t(pointCount_)});
    // Every point complete and x ascending: the drawing reads the given arrays themselves.
    bool direct = true;
    for (std::size_t i = 0; i < n && direct; ++i)
        direct = complete(x[i], y[i]) && (i == 0 || x[i] >= x[i - 1]);
    std::size_t frontier = n;
    if (direct) {
        g.setPoints(d.x, d.y, n);
        d.shared = n;
    } else {
        std::vector<std::pair<float, float>> pts;
        frontier = 0;
        bool sorted = true;
        for (std::size_t i = 0; i < n; ++i) {
            if (!complete(x[i], y[i])) continue;
            if (!pts.empty() && x[i] < pts.back().first) sorted = false;
            pts.emplace_back(x[i], y[i]);
            frontier = i + 1;
        }
        // Points of equal x keep their order, as appending keeps it.
        if (!sorted) std::stable_sort(pts.begin(), pts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        auto keys = std::make_shared<Values>(pts.size()), values = std::make_shared<Values>(pts.size());
        for (std::size_t i = 0; i < pts.size(); ++i) {
            (*keys)[i] = pts[i].first;
            (*values)[i] = pts[i].second;
        }
        g.setPoints(std::move(keys), std::move(values), pts.size());
        d.shared = 0;
    }
    const std::size_t count = g.count();
    d.hasRange = count > 0;
    if (d.hasRange) {
        d.kmin = g.key(0);
        d.kmax = d.lastKey = g.key(count - 1);
        const auto [lo, hi] = g.valueRange();
        d.vmin = lo;
        d.vmax = hi;
    }
    d.frontier = frontier;
    d.rebuild = false;
    ++stats_.rebuiltSubsets;
}

bool Chart::appendToSubset(SubsetData& d, ChartGraph& g)
{
    const Values& x = *d.x;
    const Values& y = *d.y;
    const std::size_t n = std::min({x.size(), y.size(), std::size_t(pointCount_)});
    const bool direct = g.keys() == d.x && g.values() == d.y;
    // All new complete points must come at or after the last drawn x, in order; a drawing that reads the
    // given arrays takes no point without a value.
    double last = d.hasRange ? d.lastKey : -std::numeric_limits<double>::infinity();
    std::size_t added = 0;
    for (std::size_t i = d.frontier; i < n; ++i) {
        if (!complete(x[i], y[i])) {
            if (direct) return false;
            continue;
        }
        if (x[i] < last) return false;
        last = x[i];
        ++added;
    }
    if (added == 0) return true;
    const std::size_t before = g.count();
    if (direct) {
        d.frontier = n;
        d.shared = n;
    } else {
        Values& keys = *g.keys();
        Values& values = *g.values();
        for (std::size_t i = d.frontier; i < n; ++i) {
            if (!complete(x[i], y[i])) continue;
            growTo(keys, keys.size() + 1, 0);
            growTo(values, values.size() + 1, 0);
            keys.back() = x[i];
            values.back() = y[i];
            d.frontier = i + 1;
        }
    }
    g.grow(before + added);
    for (std::size_t i = before; i < before + added; ++i) {
        const double k = g.key(i), v = g.value(i);
        if (!d.hasRange) {
            d.kmin = d.kmax = k;
            d.vmin = d.vmax = v;
            d.hasRange = true;
        } else {
            d.kmax = std::max(d.kmax, k);
            d.vmin = std::min(d.vmin, v);
            d.vmax = std::max(d.vmax, v);
        }
        d.lastKey = k;
    }
    stats_.appendedPoints += added;
    return true;
}

void Chart::applyData(int subset)
{
    SubsetData& d = data_[std::size_t(subset)];
    ChartGraph& g = *graphs_[std::size_t(subset)];
    if (d.rebuild || !appendToSubset(d, g)) rebuildSubset(d, g);
    g.syncContainer();
}

void Chart::applyRanges()
{
    Range keys;
    std::vector<Range> mains(drawn_.axes.size()), rights(drawn_.axes.size());
    for (int s = 0; s < subsetCount(); ++s) {
        const SubsetData& d = data_[std::size_t(s)];
        if (!d.hasRange) continue;
        keys.add(d.kmin, d.kmax);
        const auto a = std::size_t(drawn_.subsetAxis[std::size_t(s)]);
        (drawn_.subsetRight[std::size_t(s)] ? rights[a] : mains[a]).add(d.vmin, d.vmax);
    }
    if (keys.has) plot_->xAxis->setRange(keys.lo == keys.hi ? paddedRange(keys.lo, keys.hi) : QCPRange(keys.lo, keys.hi));
    else plot_->xAxis->setRange(0, 1);
    for (std::size_t a = 0; a < drawn_.axes.size(); ++a) {
        const DrawnAxis& da = drawn_.axes[a];
        da.main->setRange(mains[a].has ? paddedRange(mains[a].lo, mains[a].hi) : QCPRange(0, 1));
        if (da.right) da.right->setRange(rights[a].has ? paddedRange(rights[a].lo, rights[a].hi) : QCPRange(0, 1));
    }
}

void Chart::Redraw()
{
    stats_ = {};
    if (setupDirty_) applySetup();
    for (int s = 0; s < subsetCount(); ++s) applyData(s);
    if (pointCount_ > 0) {
        spare_.clear();
        spare_.shrink_to_fit();
    }
    applyRanges();
    drawn_.pointCount = pointCount_;
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

// ----------------------------------------------------------------------------------------------- printing

namespace {
// The print dialog's "..." file choice and its file-name completion list folders with Qt's provider, which
// reads the listed files to tell their kinds: the program's own chooser and provider take their place. A
// dialog built otherwise (another platform's) keeps its own; the lock guard covers it.
void useOwnFileChooser(QPrintDialog& dialog)
{
    auto* browse = dialog.findChild<QToolButton*>(QStringLiteral("fileBrowser"));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("filename"));
    auto* printers = dialog.findChild<QComboBox*>(QStringLiteral("printers"));
    if (!browse || !name || !printers) return;
    if (QCompleter* completer = name->completer())
        if (auto* model = qobject_cast<QFileSystemModel*>(completer->model()))
            model->setIconProvider(&nameOnlyIconProvider());
    QObject::disconnect(browse, &QAbstractButton::clicked, nullptr, nullptr);
    QObject::connect(browse, &QAbstractButton::clicked, &dialog, [&dialog, name, printers] {
        const QString chosen = chooseSaveFile(&dialog, QPrintDialog::tr("Print To File ..."), {}, name->text(), 0,
                                              false);
        if (chosen.isEmpty()) return;
        name->setText(chosen);
        printers->setCurrentIndex(printers->count() - 1);   // the file entry, as the dialog's own choice does
    });
}
} // namespace

bool Chart::PrintChart(QPrinter* printer)
{
    std::unique_ptr<QPrinter> own;
    if (!printer) {
        own = std::make_unique<QPrinter>(QPrinter::HighResolution);
        own->setPageOrientation(QPageLayout::Landscape);
        QPrintDialog dialog(own.get(), this);
        useOwnFileChooser(dialog);
        // Whatever else the dialog opened, the lock is restored after it (and each second while it is open).
        const int result = dialog.exec();
        keepDatabaseLock();
        if (result != QDialog::Accepted) return false;
        printer = own.get();
    }
    const QString name = printer->outputFileName().isEmpty() ? printer->printerName() : printer->outputFileName();

    QCPPainter painter;
    if (!painter.begin(printer))
        throw ChartError(QStringLiteral("The chart could not be printed: the printer %1 could not be opened.")
                             .arg(name.isEmpty() ? QStringLiteral("(none)") : QStringLiteral("\"%1\"").arg(name)));
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    painter.setMode(QCPPainter::pmNonCosmetic);

    // The chart at its size on screen (or a usual size when it has not been laid out), scaled to the page.
    int w = plot_->width(), h = plot_->height();
    if (w < 200 || h < 120) {
        w = 985;
        h = 400;
    }
    const QRectF page = printer->pageRect(QPrinter::DevicePixel);
    const double scale = std::min(page.width() / w, page.height() / h);
    painter.scale(scale, scale);
    plot_->toPainter(&painter, w, h);
    const bool ended = painter.end();
    plot_->replot(QCustomPlot::rpQueuedReplot);   // lay the widget out for its own size again
    if (!ended || printer->printerState() == QPrinter::Error)
        throw ChartError(QStringLiteral("The chart could not be printed: the printer reported an error."));
    return true;
}

// ---------------------------------------------------------------------------------------------- reading

QString Chart::mainTitle() const { return title_->text(); }
QString Chart::subTitle() const { return subTitle_->text(); }
QString Chart::xAxisLabel() const { return plot_->xAxis->label(); }

QCPAxis* Chart::valueAxis(int axis, bool rightScale) const
{
    if (axis < 0 || std::size_t(axis) >= drawn_.axes.size()) return nullptr;
    const DrawnAxis& da = drawn_.axes[std::size_t(axis)];
    return rightScale ? da.right : da.main;
}

namespace {
QString labelOf(const QCPAxis* a) { return a ? a->label() : QString(); }
QColor colorOf(const QCPAxis* a) { return a ? a->basePen().color() : QColor(); }

// The keys or the values of a graph's points, in drawing order; empty for no graph.
std::vector<double> drawnColumn(const ChartGraph* g, bool keys)
{
    std::vector<double> out;
    if (g) {
        out.reserve(g->count());
        for (std::size_t i = 0; i < g->count(); ++i) out.push_back(keys ? g->key(i) : g->value(i));
    }
    return out;
}
} // namespace

QString Chart::axisLabel(int axis) const { return labelOf(valueAxis(axis)); }
QColor Chart::axisColor(int axis) const { return colorOf(valueAxis(axis)); }
bool Chart::hasRightAxis(int axis) const { return valueAxis(axis, true) != nullptr; }
QString Chart::rightAxisLabel(int axis) const { return labelOf(valueAxis(axis, true)); }
QColor Chart::rightAxisColor(int axis) const { return colorOf(valueAxis(axis, true)); }

QCPGraph* Chart::graph(int subset) const
{
    if (subset < 0 || subset >= subsetCount()) return nullptr;
    return graphs_[std::size_t(subset)];
}

QString Chart::subsetLabel(int subset) const
{
    QCPGraph* g = graph(subset);
    return g ? g->name() : QString();
}

QColor Chart::subsetColor(int subset) const
{
    QCPGraph* g = graph(subset);
    return g ? g->pen().color() : QColor();
}

Chart::LineStyle Chart::subsetLineStyle(int subset) const
{
    return graph(subset) ? drawn_.subsets[std::size_t(subset)].line : LineStyle::None;
}

Chart::Marker Chart::subsetMarker(int subset) const
{
    return graph(subset) ? drawn_.subsets[std::size_t(subset)].marker : Marker::None;
}

int Chart::subsetAxis(int subset) const
{
    return graph(subset) ? drawn_.subsetAxis[std::size_t(subset)] : -1;
}

bool Chart::subsetOnRightAxis(int subset) const
{
    return graph(subset) && drawn_.subsetRight[std::size_t(subset)];
}

std::vector<double> Chart::drawnX(int subset) const
{
    return drawnColumn(graph(subset) ? graphs_[std::size_t(subset)] : nullptr, true);
}

std::vector<double> Chart::drawnY(int subset) const
{
    return drawnColumn(graph(subset) ? graphs_[std::size_t(subset)] : nullptr, false);
}

std::size_t Chart::pointMemoryBytes() const
{
    std::size_t bytes = 0;
    std::vector<const Values*> counted;   // an array shared by subsets counts once
    for (const auto& d : data_) {
        for (const Values* a : {d.x.get(), d.y.get()}) {
            if (std::find(counted.begin(), counted.end(), a) != counted.end()) continue;
            counted.push_back(a);
            bytes += a->capacity() * sizeof(float);
        }
    }
    for (const auto& a : spare_) bytes += a->capacity() * sizeof(float);
    for (std::size_t s = 0; s < graphs_.size(); ++s) {
        const ChartGraph* g = graphs_[s];
        const bool own = s >= data_.size() || g->keys() != data_[s].x;
        if (own && g->keys()) bytes += (g->keys()->capacity() + g->values()->capacity()) * sizeof(float);
        bytes += g->indexBytes() + g->containerBytes();
    }
    return bytes;
}

} // namespace platform
