#pragma once
// A legend entry whose text is measured and rasterised once instead of on every replot. The text is drawn
// with the same font, pen and hints into a transparent image and copied where the entry draws it; the
// legend's ground is transparent in the paint buffer, so the pixels are those of the text drawn in place.
// Printing and exports (vector or uncached painters) draw the text themselves.
#include <qcustomplot.h>

namespace platform {

class ChartLegendItem final : public QCPPlottableLegendItem {
public:
    using QCPPlottableLegendItem::QCPPlottableLegendItem;

protected:
    QSize minimumOuterSizeHint() const override;
    void draw(QCPPainter* painter) override;

private:
    mutable QString sizeText_;
    mutable QFont sizeFont_;
    mutable int sizeHeight_ = -1;
    mutable QRect sizeRect_;
    QString imageText_;
    QFont imageFont_;
    QColor imageColor_;
    int imageHeight_ = -1;
    QPainter::RenderHints imageHints_;
    int imageDpi_ = 0;
    int pad_ = 0;
    QImage image_;
};

} // namespace platform
