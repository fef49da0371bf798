#include "CropGeometry.h"

#include <algorithm>
#include <cmath>

QSizeF FittedPictureSize(QSizeF widget, double aspect)
{
    // Single precision, as the picture has always been fitted: the truncated
    // sizes then match to the pixel.
    const float a = static_cast<float>(aspect);
    if (!(a > 0.0f) || !std::isfinite(a))
        return widget;
    int w = int(widget.width());
    int h = int(widget.height());
    if (float(w) / a > float(h))
        w = int(float(h) * a);
    else
        h = int(float(w) / a);
    return {double(w), double(h)};
}

QPointF PictureFraction(QPointF mouse, QSizeF fitted)
{
    const double w = fitted.width() > 0 ? fitted.width() : 1.0;
    const double h = fitted.height() > 0 ? fitted.height() : 1.0;
    return {mouse.x() / w, mouse.y() / h};
}

QRectF DrawnCrop(QPointF anchor, QPointF point, bool square)
{
    if (square) {
        const double d = std::abs(point.x() - anchor.x());
        point.setY(point.y() > anchor.y() ? anchor.y() + d : anchor.y() - d);
    }
    // Single precision, as the rectangle has always been computed.
    const float left = std::max(0.0f, float(std::min(point.x(), anchor.x())));
    const float top = std::max(0.0f, float(std::min(point.y(), anchor.y())));
    const float right = std::min(1.0f, float(std::max(point.x(), anchor.x())));
    const float bottom = std::min(1.0f, float(std::max(point.y(), anchor.y())));
    return {double(left), double(top), double(right - left), double(bottom - top)};
}

QRectF MovedCrop(const QRectF &rect, QPointF delta)
{
    QRectF moved = rect.translated(delta);
    if (moved.left() < 0)
        moved.moveLeft(0);
    if (moved.top() < 0)
        moved.moveTop(0);
    if (moved.right() >= 1)
        moved.moveRight(1);
    if (moved.bottom() >= 1)
        moved.moveBottom(1);
    return moved;
}

QRectF ResizedCrop(const QRectF &rect, double dx, double dy, QSizeF minSize)
{
    QRectF resized = rect;
    const auto grow = [](double size, double delta) {
        if (delta > 0)
            return size + delta;
        if (delta < 0)
            return size + delta > 0 ? size + delta : 0.0;
        return size;
    };
    resized.setWidth(grow(resized.width(), dx));
    resized.setHeight(grow(resized.height(), dy));
    if (resized.right() > 1)
        resized.setRight(1);
    if (resized.bottom() > 1)
        resized.setBottom(1);
    resized.setWidth(std::max(resized.width(), minSize.width()));
    resized.setHeight(std::max(resized.height(), minSize.height()));
    return resized;
}

bool IsEmptyCrop(const QRectF &rect)
{
    return !(rect.width() > 0) || !(rect.height() > 0);
}

bool IsFullCrop(const QRectF &rect)
{
    return rect.width() == 1.0 && rect.height() == 1.0;
}
