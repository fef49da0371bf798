#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

// Geometry of the crop rectangle drawn on the frame display. Rectangles and
// points are in fractions of the picture (0 to 1 across and down).

// The picture's size when fitted into `widget` keeping `aspect` (width / height),
// anchored at the top-left corner.
QSizeF FittedPictureSize(QSizeF widget, double aspect);

// A mouse position in the widget as fractions of the fitted picture.
QPointF PictureFraction(QPointF mouse, QSizeF fitted);

// The rectangle spanned by `anchor` and `point`, inside the unit square. With
// `square` the height follows the width (a square in fractions, which keeps
// the picture's own aspect ratio).
QRectF DrawnCrop(QPointF anchor, QPointF point, bool square);

// `rect` moved by `delta` and pushed back inside the unit square.
QRectF MovedCrop(const QRectF &rect, QPointF delta);

// `rect` resized by (dx, dy) from its top-left corner: growing freely,
// shrinking to no less than `minSize`, never past the right or bottom edge.
QRectF ResizedCrop(const QRectF &rect, double dx, double dy, QSizeF minSize);

// "Empty": width or height not above 0. "Full": width and height exactly 1.
bool IsEmptyCrop(const QRectF &rect);
bool IsFullCrop(const QRectF &rect);
