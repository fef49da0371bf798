#include "DisplayWidget.h"

#include "CropGeometry.h"
#include "FramePipeline.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// Interval of the repaints that fade overlay messages, in ms.
constexpr int kFadeIntervalMs = 40;
// Largest and smallest size of a notice's text, in points.
constexpr int kNoticePointSize = 18;
constexpr int kNoticeSmallestPointSize = 7;
// Space between a notice's text and the edge of its box, in pixels.
constexpr int kNoticeMargin = 8;

}  // namespace

DisplayWidget::DisplayWidget(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel is painted here: nothing behind needs repainting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // A click on the picture takes the keyboard focus from any text field,
    // so that the playback keys work again.
    setFocusPolicy(Qt::ClickFocus);
    fadeTimer.setInterval(kFadeIntervalMs);
    connect(&fadeTimer, &QTimer::timeout, this, [this] {
        if (messages.isEmpty())
            fadeTimer.stop();
        else
            update();
    });
}

void DisplayWidget::setFrame(const cv::Mat &newFrame, bool smooth)
{
    const bool newShape = newFrame.empty() != frame.empty()
                          || (!newFrame.empty() && int64_t(newFrame.cols) * frame.rows != int64_t(newFrame.rows) * frame.cols);
    frame = newFrame;
    smoothScaling = smooth;
    if (newShape)
        fitHeightToPicture();
    rebuildPixmap();
    update();
}

void DisplayWidget::setSmooth(bool smooth)
{
    if (smooth == smoothScaling)
        return;
    smoothScaling = smooth;
    rebuildPixmap();
    update();
}

void DisplayWidget::setTimeText(const QString &text)
{
    if (text == timeText)
        return;
    timeText = text;
    update();
}

void DisplayWidget::showMessage(const QString &text)
{
    messages.append(text);
    messageCounters.push_back(messageLifetime);
    messageIsNotice.push_back(false);
    fadeTimer.start();
    update();
}

void DisplayWidget::showNotice(const QString &text)
{
    messages.append(text);
    messageCounters.push_back(std::max(noticeLifetime, messageLifetime));
    messageIsNotice.push_back(true);
    fadeTimer.start();
    update();
}

void DisplayWidget::setCropApplied(bool applied)
{
    if (applied == cropApplied)
        return;
    cropApplied = applied;
    update();
}

double DisplayWidget::pictureAspect() const
{
    // The frame's own proportions; the pixmap may be a reduced copy.
    if (!frame.empty())
        return double(frame.cols) / double(frame.rows);
    return displayPixmap.isNull() ? 1.0 : double(displayPixmap.width()) / double(displayPixmap.height());
}

QSizeF DisplayWidget::pictureSize() const
{
    if (displayPixmap.isNull())
        return size();
    return FittedPictureSize(size(), pictureAspect());
}

void DisplayWidget::rebuildPixmap()
{
    // The picture is shown at most at the widget's size, so a larger frame is
    // reduced here once rather than on every paint: area averaging for a
    // still picture, nearest neighbour (the fast scaling) while playing.
    if (frame.empty()) {
        displayPixmap = QPixmap();
        return;
    }
    const QSizeF fitted = FittedPictureSize(size(), double(frame.cols) / double(frame.rows));
    const int w = int(fitted.width());
    const int h = int(fitted.height());
    if (w > 0 && h > 0 && w < frame.cols && h < frame.rows) {
        cv::Mat reduced;
        try {
            cv::resize(frame, reduced, cv::Size(w, h), 0, 0, smoothScaling ? cv::INTER_AREA : cv::INTER_NEAREST);
        } catch (const cv::Exception &) {
            reduced = frame;
        }
        displayPixmap = MakeDisplayPixmap(reduced);
    } else {
        displayPixmap = MakeDisplayPixmap(frame);
    }
}

void DisplayWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitHeightToPicture();
    rebuildPixmap();
}

void DisplayWidget::fitHeightToPicture()
{
    // The widget is never taller than the picture at its width: the height
    // a wide picture leaves goes to the widgets below (the controls follow
    // the picture, the timeline grows) instead of an empty band under it.
    int limit = QWIDGETSIZE_MAX;
    if (!frame.empty() && frame.rows > 0) {
        const double aspect = double(frame.cols) / double(frame.rows);
        limit = std::max(minimumHeight(), int(width() / aspect));
    }
    if (maximumHeight() != limit)
        setMaximumHeight(limit);
}

void DisplayWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (displayPixmap.isNull()) {
        // Without a picture, messages still age with every paint (the fade
        // timer stops once they are gone): a notice that no video could be
        // opened is read on the empty display.
        paintMessages(painter, rect());
        return;
    }
    const QSizeF fitted = pictureSize();
    const int w = int(fitted.width());
    const int h = int(fitted.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smoothScaling);
    painter.drawPixmap(QRect(0, 0, w, h), displayPixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const auto scaled = [w, h](const QRectF &r) {
        return QRectF(r.x() * w, r.y() * h, r.width() * w, r.height() * h);
    };
    if (!cropApplied && !IsEmptyCrop(appliedCrop) && !IsFullCrop(appliedCrop)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::white, 3, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawRect(scaled(appliedCrop));
    }
    if (!IsEmptyCrop(editCrop) && !IsFullCrop(editCrop)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::red, 3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawRect(scaled(editCrop));
    }

    // Time box at the bottom right of the picture.
    QFont font = painter.font();
    font.setWeight(QFont::Bold);
    font.setPointSize(18);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int tw = metrics.boundingRect(QRect(), Qt::AlignCenter, timeText).width();
    const int th = metrics.height();
    const QRect box(w - tw - 6, h - th - 6, tw + 6, th + 6);
    painter.setOpacity(0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRect(box);
    painter.setOpacity(1.0);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, timeText);

    paintMessages(painter, QRect(0, 0, w, h));
}

void DisplayWidget::paintMessages(QPainter &painter, const QRect &area)
{
    QFont font = painter.font();
    font.setWeight(QFont::Bold);
    for (qsizetype i = 0; i < messages.size();) {
        const size_t at = size_t(i);
        // Fading over the last `messageLifetime` paints; a notice is opaque before.
        painter.setOpacity(std::min(1.0, double(messageCounters[at] - 1) / messageLifetime));
        if (at < messageIsNotice.size() && messageIsNotice[at]) {
            // The largest size up to kNoticePointSize whose wrapped text fits.
            const QRect inner = area.adjusted(2 * kNoticeMargin, 2 * kNoticeMargin, -2 * kNoticeMargin,
                                              -2 * kNoticeMargin);
            const int flags = Qt::AlignCenter | Qt::TextWordWrap;
            QRect bounds;
            for (int size = kNoticePointSize; size >= kNoticeSmallestPointSize; --size) {
                font.setPointSize(size);
                bounds = QFontMetrics(font).boundingRect(inner, flags, messages.at(i));
                if (bounds.width() <= inner.width() && bounds.height() <= inner.height())
                    break;
            }
            if (inner.isValid()) {
                const double opacity = painter.opacity();
                painter.setOpacity(opacity * 0.75);
                painter.setPen(Qt::NoPen);
                painter.setBrush(Qt::black);
                painter.drawRect(bounds.intersected(inner).adjusted(-kNoticeMargin, -kNoticeMargin, kNoticeMargin,
                                                                    kNoticeMargin));
                painter.setOpacity(opacity);
                painter.setFont(font);
                painter.setPen(Qt::white);
                painter.drawText(inner, flags, messages.at(i));
            }
        } else {
            font.setPointSize(200);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(area, Qt::AlignCenter, messages.at(i));
        }
        painter.setOpacity(1.0);
        if (--messageCounters[at] <= 0) {
            messages.removeAt(i);
            messageCounters.erase(messageCounters.begin() + i);
            if (at < messageIsNotice.size())
                messageIsNotice.erase(messageIsNotice.begin() + i);
        } else {
            ++i;
        }
    }
    if (messages.isEmpty())
        fadeTimer.stop();
}

QPointF DisplayWidget::fraction(const QMouseEvent *event) const
{
    // Fractions of the picture the user sees (rotated and upsampled as
    // shown), so that a rectangle selects what is on the screen.
    return PictureFraction(event->position(), pictureSize());
}

void DisplayWidget::mousePressEvent(QMouseEvent *event)
{
    const QPointF p = fraction(event);
    // Shift and Ctrl drags move or resize the rectangle there is: only a
    // plain press starts a new one.
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    cropAtPress = editCrop;
    if (modifiers != Qt::ShiftModifier && modifiers != Qt::ControlModifier)
        editCrop = QRectF(p.x(), p.y(), 0, 0);
    dragPoint = {p.x(), p.y()};
    update();
}

void DisplayWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF p = fraction(event);
    const QPointF anchor(dragPoint[0], dragPoint[1]);
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    if (event->buttons() == Qt::LeftButton) {
        if (modifiers == Qt::ShiftModifier || modifiers == Qt::ControlModifier) {
            editCrop = MovedCrop(editCrop, p - anchor);
            dragPoint = {p.x(), p.y()};
        } else {
            editCrop = DrawnCrop(anchor, p, keepAspect);
        }
        update();
    } else if (event->buttons() == Qt::RightButton && modifiers == Qt::ControlModifier) {
        const double sw = sourceSize.width() > 0 ? sourceSize.width() : width();
        const double sh = sourceSize.height() > 0 ? sourceSize.height() : height();
        editCrop = ResizedCrop(editCrop, p.x() - anchor.x(), p.y() - anchor.y(), QSizeF(4 / sw, 4 / sh));
        dragPoint = {p.x(), p.y()};
        update();
    }
}

void DisplayWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF p = fraction(event);
    const QPointF anchor(dragPoint[0], dragPoint[1]);
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    // A plain click (no drag in between) clears the rectangle; a Shift move
    // or a Ctrl resize that ends where it began keeps it.
    if (modifiers != Qt::ControlModifier && modifiers != Qt::ShiftModifier
        && qFuzzyCompare(1.0 + p.x(), 1.0 + anchor.x()) && qFuzzyCompare(1.0 + p.y(), 1.0 + anchor.y()))
        editCrop = QRectF(0, 0, 1, 1);
    dragPoint = {-1.0, -1.0};
    update();
    if (editCrop != cropAtPress)
        Q_EMIT cropEdited();
}

void DisplayWidget::mouseDoubleClickEvent(QMouseEvent *)
{
    Q_EMIT interfaceToggleRequested();
}
