#include "platform/ChartGraph.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

void ChartGraph::setPoints(std::shared_ptr<Values> keys, std::shared_ptr<Values> values, std::size_t n)
{
    keys_ = std::move(keys);
    values_ = std::move(values);
    count_ = 0;
    blockMin_.clear();
    blockMax_.clear();
    grow(n);
    blockMin_.shrink_to_fit();
    blockMax_.shrink_to_fit();
}

void ChartGraph::grow(std::size_t n)
{
    const std::size_t from = count_ / kBlock;
    count_ = n;
    const std::size_t blocks = (n + kBlock - 1) / kBlock;
    blockMin_.resize(blocks);
    blockMax_.resize(blocks);
    const float* v = values_ ? values_->data() : nullptr;
    for (std::size_t b = from; b < blocks; ++b) {
        const std::size_t end = std::min(n, (b + 1) * kBlock);
        float lo = v[b * kBlock], hi = lo;
        for (std::size_t i = b * kBlock + 1; i < end; ++i) {
            lo = std::min(lo, v[i]);
            hi = std::max(hi, v[i]);
        }
        blockMin_[b] = lo;
        blockMax_[b] = hi;
    }
    containerStale_ = true;
}

bool ChartGraph::columns() const
{
    return mLineStyle == lsLine && mScatterStyle.isNone() && mBrush.style() == Qt::NoBrush && mKeyAxis
        && mKeyAxis->orientation() == Qt::Horizontal && !mKeyAxis->rangeReversed()
        && mKeyAxis->scaleType() == QCPAxis::stLinear && selection().isEmpty();
}

void ChartGraph::syncContainer()
{
    if (columns()) {
        if (!mDataContainer->isEmpty()) mDataContainer->clear();
        mDataContainer->squeeze(true, true);
        containerStale_ = true;
        return;
    }
    if (!containerStale_) return;
    QVector<QCPGraphData> all(static_cast<qsizetype>(count_));
    for (std::size_t i = 0; i < count_; ++i) all[qsizetype(i)] = QCPGraphData(key(i), value(i));
    mDataContainer->set(all, true);
    containerStale_ = false;
}

std::pair<float, float> ChartGraph::extremes(std::size_t i, std::size_t j) const
{
    const float* v = values_->data();
    float lo = v[i], hi = v[i];
    auto scan = [&](std::size_t a, std::size_t b) {
        for (; a < b; ++a) {
            lo = std::min(lo, v[a]);
            hi = std::max(hi, v[a]);
        }
    };
    const std::size_t b0 = (i + kBlock - 1) / kBlock, b1 = j / kBlock;   // whole blocks [b0, b1)
    if (b0 >= b1) {
        scan(i + 1, j);
        return {lo, hi};
    }
    scan(i + 1, b0 * kBlock);
    for (std::size_t b = b0; b < b1; ++b) {
        lo = std::min(lo, blockMin_[b]);
        hi = std::max(hi, blockMax_[b]);
    }
    scan(b1 * kBlock, j);
    return {lo, hi};
}

QVector<QCPGraphData> ChartGraph::lineData() const
{
    QVector<QCPGraphData> out;
    QCPAxis* keyAxis = mKeyAxis.data();
    if (!keyAxis || count_ == 0) return out;

    // The visible points and one more on each side (QCPDataContainer::findBegin and findEnd).
    const float* k = keys_->data();
    const QCPRange range = keyAxis->range();
    const float* first = std::lower_bound(k, k + count_, range.lower, [](float a, double b) { return double(a) < b; });
    if (first != k) --first;
    const float* last = std::upper_bound(k, k + count_, range.upper, [](double a, float b) { return a < double(b); });
    if (last != k + count_) ++last;
    const std::size_t begin = std::size_t(first - k), end = std::size_t(last - k);
    if (begin >= end) return out;

    // Adaptive sampling only with at least two points per pixel on average.
    const int dataCount = int(end - begin);
    int maxCount = std::numeric_limits<int>::max();
    if (mAdaptiveSampling) {
        const double keyPixelSpan = std::abs(keyAxis->coordToPixel(key(begin)) - keyAxis->coordToPixel(key(end - 1)));
        if (2 * keyPixelSpan + 2 < double(std::numeric_limits<int>::max())) maxCount = int(2 * keyPixelSpan + 2);
    }
    if (!mAdaptiveSampling || dataCount < maxCount) {
        out.resize(dataCount);
        for (std::size_t i = begin; i < end; ++i) out[qsizetype(i - begin)] = QCPGraphData(key(i), value(i));
        return out;
    }

    // Pixel intervals: one starts at the pixel of its first point and holds every point before the next
    // pixel (the key axis is horizontal and not reversed here).
    auto intervalStart = [&](double key) { return keyAxis->pixelToCoord(int(keyAxis->coordToPixel(key))); };
    double start = intervalStart(key(begin));
    double lastIntervalEnd = start;
    const double epsilon = std::abs(start - keyAxis->pixelToCoord(keyAxis->coordToPixel(start) + 1.0));
    // The first point at or after `limit` past point i: a galloping search from i, as the next pixel's
    // points lie close by.
    auto nextAtOrAfter = [&](std::size_t i, double limit) {
        std::size_t lo = i + 1, step = 1;
        while (lo + step < end && double(k[lo + step - 1]) < limit) {
            lo += step;
            step *= 2;
        }
        const std::size_t hi = std::min(end, lo + step);
        return std::size_t(std::lower_bound(k + lo, k + hi, limit, [](float a, double b) { return double(a) < b; }) - k);
    };
    out.reserve(qsizetype(4 * std::min<std::size_t>(end - begin, std::size_t(keyAxis->axisRect()->width()) + 2)));
    std::size_t i = begin;
    while (true) {
        const double limit = start + epsilon;
        const std::size_t j = nextAtOrAfter(i, limit);
        if (j - i >= 2) {
            if (lastIntervalEnd < start - epsilon) out.append(QCPGraphData(start + epsilon * 0.2, value(i)));
            const auto [lo, hi] = extremes(i, j);
            out.append(QCPGraphData(start + epsilon * 0.25, lo));
            out.append(QCPGraphData(start + epsilon * 0.75, hi));
            if (j < end && key(j) > start + epsilon * 2) out.append(QCPGraphData(start + epsilon * 0.8, value(j - 1)));
        } else {
            out.append(QCPGraphData(key(i), value(i)));
        }
        if (j >= end) break;
        lastIntervalEnd = key(j - 1);
        i = j;
        start = intervalStart(key(i));
    }
    return out;
}

void ChartGraph::draw(QCPPainter* painter)
{
    if (!columns()) {
        syncContainer();   // a style changed since the last Redraw
        QCPGraph::draw(painter);
        return;
    }
    if (!mKeyAxis || !mValueAxis || mKeyAxis->range().size() <= 0 || count_ == 0) return;
    const QVector<QPointF> lines = dataToLines(lineData());
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    drawLinePlot(painter, lines);
}

} // namespace platform
