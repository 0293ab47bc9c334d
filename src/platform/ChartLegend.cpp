#include "platform/ChartLegend.h"

#include "platform/ChartGraph.h"

#include <algorithm>

namespace platform {

QSize ChartLegendItem::minimumOuterSizeHint() const
{
    if (!mPlottable) return {};
    const QSize iconSize = mParentLegend->iconSize();
    const QFont font = getFont();
    if (sizeText_ != mPlottable->name() || sizeFont_ != font || sizeHeight_ != iconSize.height()) {
        sizeText_ = mPlottable->name();
        sizeFont_ = font;
        sizeHeight_ = iconSize.height();
        sizeRect_ = QFontMetrics(font).boundingRect(0, 0, 0, iconSize.height(), Qt::TextDontClip, sizeText_);
    }
    QSize result(iconSize.width() + mParentLegend->iconTextPadding() + sizeRect_.width(),
                 std::max(sizeRect_.height(), iconSize.height()));
    result.rwidth() += mMargins.left() + mMargins.right();
    result.rheight() += mMargins.top() + mMargins.bottom();
    return result;
}

void ChartLegendItem::draw(QCPPainter* painter)
{
    const auto* graph = dynamic_cast<const ChartGraph*>(mPlottable);
    const bool cached = graph && !painter->modes().testFlag(QCPPainter::pmVectorized)
        && !painter->modes().testFlag(QCPPainter::pmNoCaching) && painter->transform().isIdentity()
        && painter->device()->devicePixelRatioF() == 1.0;
    if (!cached) {
        QCPPlottableLegendItem::draw(painter);
        return;
    }
    painter->setFont(getFont());
    painter->setPen(QPen(getTextColor()));
    const QSize iconSize = mParentLegend->iconSize();
    const QString name = mPlottable->name();
    const int dpi = painter->device()->logicalDpiY();
    if (name != imageText_ || painter->font() != imageFont_ || painter->pen().color() != imageColor_
        || iconSize.height() != imageHeight_ || painter->renderHints() != imageHints_ || dpi != imageDpi_ || image_.isNull()) {
        imageText_ = name;
        imageFont_ = painter->font();
        imageColor_ = painter->pen().color();
        imageHeight_ = iconSize.height();
        imageHints_ = painter->renderHints();
        imageDpi_ = dpi;
        const QRect textRect = painter->fontMetrics().boundingRect(0, 0, 0, iconSize.height(), Qt::TextDontClip, name);
        const int textHeight = std::max(textRect.height(), iconSize.height());
        pad_ = painter->fontMetrics().height();   // room for glyphs that reach beyond the text's box
        image_ = QImage(textRect.width() + 2 * pad_, textHeight + 2 * pad_, QImage::Format_ARGB32_Premultiplied);
        image_.setDotsPerMeterX(qRound(painter->device()->logicalDpiX() / 0.0254));
        image_.setDotsPerMeterY(qRound(dpi / 0.0254));
        image_.fill(Qt::transparent);
        QPainter p(&image_);
        p.setRenderHints(imageHints_);
        p.setFont(imageFont_);
        p.setPen(painter->pen());
        p.drawText(pad_, pad_, textRect.width(), textHeight, Qt::TextDontClip, name);
    }
    painter->drawImage(QPoint(mRect.x() + iconSize.width() + mParentLegend->iconTextPadding() - pad_, mRect.y() - pad_), image_);
    // The icon and its border as the plain entry draws them.
    const QRect iconRect(mRect.topLeft(), iconSize);
    painter->save();
    painter->setClipRect(iconRect, Qt::IntersectClip);
    graph->drawIcon(painter, iconRect);
    painter->restore();
    if (getIconBorderPen().style() != Qt::NoPen) {
        painter->setPen(getIconBorderPen());
        painter->setBrush(Qt::NoBrush);
        const int halfPen = qCeil(painter->pen().widthF() * 0.5) + 1;
        painter->setClipRect(mOuterRect.adjusted(-halfPen, -halfPen, halfPen, halfPen));
        painter->drawRect(iconRect);
    }
}

} // namespace platform
