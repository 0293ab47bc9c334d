#pragma once
// The calibration graph: a few measured points plotted x against y, with a caption on each axis. Drawn by
// QCustomPlot; the points are joined by a line and marked, and both axes are scaled to show every point
// with a margin.
#include <QString>
#include <QWidget>
#include <vector>

class QCustomPlot;

namespace platform {

class Graph : public QWidget {
    Q_OBJECT
public:
    explicit Graph(QWidget* parent = nullptr);

    void SetXAxisCaption(const QString& text);
    void SetYAxisCaption(const QString& text);

    // Removes every plotted point.
    void ClearData();
    // Plots y against x, point i at (x[i], y[i]); replaces what was plotted. Arrays of different lengths
    // plot the points both have; non-finite values are left out.
    void PlotXvsY(const std::vector<double>& x, const std::vector<double>& y);

    QString xAxisCaption() const;
    QString yAxisCaption() const;
    // The points as plotted, in the order given.
    const std::vector<double>& plottedX() const { return x_; }
    const std::vector<double>& plottedY() const { return y_; }

    QCustomPlot* plot() const { return plot_; }

private:
    void rescale();

    QCustomPlot* plot_ = nullptr;
    std::vector<double> x_, y_;
};

} // namespace platform
