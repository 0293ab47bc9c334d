#include "platform/Graph.h"

#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace platform {

Graph::Graph(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this))
{
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(plot_);
    QCPGraph* g = plot_->addGraph();
    g->setPen(QPen(QColor(0, 90, 200), 1.5));
    g->setLineStyle(QCPGraph::lsLine);
    g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QColor(200, 30, 30), QColor(200, 30, 30), 7));
    plot_->xAxis->setRange(0, 5);
    plot_->yAxis->setRange(0, 1);
}

void Graph::SetXAxisCaption(const QString& text)
{
    plot_->xAxis->setLabel(text);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void Graph::SetYAxisCaption(const QString& text)
{
    plot_->yAxis->setLabel(text);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

QString Graph::xAxisCaption() const { return plot_->xAxis->label(); }
QString Graph::yAxisCaption() const { return plot_->yAxis->label(); }

void Graph::ClearData()
{
    x_.clear();
    y_.clear();
    plot_->graph(0)->data()->clear();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void Graph::PlotXvsY(const std::vector<double>& x, const std::vector<double>& y)
{
    x_.clear();
    y_.clear();
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
        x_.push_back(x[i]);
        y_.push_back(y[i]);
    }
    plot_->graph(0)->setData(QVector<double>(x_.begin(), x_.end()), QVector<double>(y_.begin(), y_.end()));
    rescale();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void Graph::rescale()
{
    if (x_.empty()) return;
    auto range = [](const std::vector<double>& v) {
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        double a = *lo, b = *hi;
        const double margin = b > a ? (b - a) * 0.1 : std::max(std::fabs(a) * 0.1, 0.5);
        return QCPRange(a - margin, b + margin);
    };
    plot_->xAxis->setRange(range(x_));
    plot_->yAxis->setRange(range(y_));
}

} // namespace platform
