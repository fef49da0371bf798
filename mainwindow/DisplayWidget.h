#pragma once

#include <QList>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>

class QPainter;

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

// The frame display: the processed frame fitted into the widget (anchored at
// the top-left corner, keeping its aspect ratio), the applied crop (dashed
// white, while it is not applied) and the crop being drawn (red), the time
// box at the picture's bottom right and fading overlay messages and notices
// (shown over the empty display too). The user
// draws, moves (Shift or Ctrl drag) and resizes (Ctrl right-drag) the crop
// rectangle with the mouse; a click without a drag clears it.
//
// Rectangles and points are fractions of the picture on display (x and width
// of its width, y and height of its height). Whoever changes a member below
// directly calls update() afterwards.
class DisplayWidget : public QWidget
{
    Q_OBJECT

public:
    explicit DisplayWidget(QWidget *parent = nullptr);

    // Shows `frame` (8-bit BGR, grey or BGRA; empty clears the display).
    // `smooth` scales it with filtering (for a still picture, so that a
    // filmed timer's digits stay readable); otherwise the fast scaling of
    // playback. The frame's pixels are kept (shared) to rebuild the picture
    // when the widget is resized: the caller must not write to them.
    void setFrame(const cv::Mat &frame, bool smooth);
    void setSmooth(bool smooth);
    void setTimeText(const QString &text);
    // Puts `text` in the middle of the picture; it fades over `messageLifetime` paints.
    void showMessage(const QString &text);
    // Puts a sentence (why a video cannot be read, say) in the middle of the
    // picture on a dark box, wrapped and made small enough to fit; it stays
    // for `noticeLifetime` paints, the last `messageLifetime` of them fading.
    void showNotice(const QString &text);
    // Whether the applied crop is in use (then it is not outlined).
    void setCropApplied(bool applied);
    // Drawing keeps a square in fractions (the frame's own aspect ratio).
    void setKeepAspect(bool keep) { keepAspect = keep; }
    // Size of the source's frames in pixels, for the smallest crop (4 pixels).
    void setSourceSize(QSize size) { sourceSize = size; }
    // Width / height of the picture on display.
    double pictureAspect() const;
    // Size of the picture as fitted into the widget.
    QSizeF pictureSize() const;

    QPixmap displayPixmap;
    QRectF editCrop{0.0, 0.0, 1.0, 1.0};
    QRectF appliedCrop{0.0, 0.0, 1.0, 1.0};
    // Anchor or last point of a drag, fractions; (-1, -1) after a release.
    std::array<double, 2> dragPoint{0.0, 0.0};
    QList<QString> messages;
    std::vector<int32_t> messageCounters;
    int32_t messageLifetime = 10;
    int32_t noticeLifetime = 75;

Q_SIGNALS:
    // A press-drag-release on the picture changed the crop rectangle.
    void cropEdited();
    // Double-click: hide or show the side pane.
    void interfaceToggleRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void rebuildPixmap();
    // Paints the messages into `area` (the picture, or the whole display
    // without one) and ages them by one paint.
    void paintMessages(QPainter &painter, const QRect &area);
    void fitHeightToPicture();
    QPointF fraction(const QMouseEvent *event) const;

    cv::Mat frame;
    // The rectangle before the current press, to tell whether a drag changed it.
    QRectF cropAtPress;
    bool smoothScaling = true;
    bool cropApplied = false;
    bool keepAspect = true;
    QSize sourceSize;
    QString timeText;
    // Per entry of `messages`: whether it is a notice.
    std::vector<bool> messageIsNotice;
    // Repaints while messages fade (they age one step per paint).
    QTimer fadeTimer;
};
