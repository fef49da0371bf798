#include "TimelineWidget.h"

#include "FrameCursor.h"
#include "TimelineGeometry.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Block labels smaller than this are not drawn, in pixels.
constexpr int kSmallestLabelPixels = 8;

}  // namespace

TimelineWidget::TimelineWidget(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TimelineWidget::setFps(double fps)
{
    framesPerSecond = fps;
    update();
}

void TimelineWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int W = painter.viewport().width();
    const int H = painter.viewport().height();
    painter.fillRect(0, 0, W, H, Qt::white);
    QFont font = painter.font();
    font.setPointSize(10);
    painter.setFont(font);
    if (!frameCursor || !frameCursor->hasSource()) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, W, H), Qt::AlignCenter | Qt::TextDontClip, tr("OPEN OR DRAG&DROP A VIDEO FILE"));
        return;
    }
    const int32_t totalFrames = frameCursor->totalFrames;
    if (totalFrames <= 0 || !(framesPerSecond > 0))
        return;

    const float fps = static_cast<float>(framesPerSecond);
    const float S = static_cast<float>(totalFrames) / fps;  // length in seconds
    const auto xOfFrame = [&](int32_t f) { return int(double(f) / totalFrames * W); };
    const auto xOfSecond = [&](double t) { return t / S * W; };

    painter.setPen(QPen(Qt::black, 1, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    QFont labelFont = font;
    labelFont.setPointSize(6);
    painter.setFont(labelFont);
    const QFontMetrics metrics(labelFont);
    const int w00 = metrics.horizontalAdvance(QStringLiteral("00"));
    const int lh = metrics.height();
    const int M = int(S / 60);
    const int labelFlags = Qt::AlignTop | Qt::AlignHCenter | Qt::TextDontClip;

    for (int h = 0; h <= M / 60; ++h) {
        const int x = int(xOfSecond(3600.0 * h));
        const int d = h == 0 ? 0 : w00 / 2;
        painter.drawText(QRect(x - d, 0, w00, lh), labelFlags, QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')));
    }

    const int step = MinuteStep(int(3600.0 / S * W), w00);
    const SecondTicks seconds = SecondSubdivision(int(60.0 / S * W), w00);
    for (int m = 0; m <= M; ++m) {
        if (m % step != 0)
            continue;
        const int x = int(xOfSecond(60.0 * m));
        if (m != 0 && m % 60 != 0)
            painter.drawLine(x, 0, x, 6);
        const int d = m == 0 ? 0 : w00 / 2;
        painter.drawText(QRect(x - d, 6, w00, lh), labelFlags,
                         QStringLiteral("%1").arg(m % 60, 2, 10, QLatin1Char('0')));
        for (int k = 0; k < seconds.count; ++k) {
            const int s = k * seconds.unit;
            const int xs = int(xOfSecond(s) + x);
            const QString label = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
            const int tw = metrics.horizontalAdvance(label);
            if (k != 0)
                painter.drawLine(xs, 6, xs, 12);
            if (xs <= W) {
                int left = xs + tw / 2.0 >= W ? W - tw : int(xs - tw / 2.0);
                if (m == 0 && k == 0)
                    left = xs;
                painter.drawText(QRect(left, 12, tw, lh), Qt::AlignCenter | Qt::TextDontClip, label);
            }
        }
    }

    // Solves: the current one step by step in the split colours, the others
    // as grey blocks. A label is drawn only where it fits inside its block,
    // so that neighbouring solves do not print over each other.
    if (solveModel) {
        const std::vector<Marks> &solves = solveModel->solves();
        const int current = solveModel->currentSolve();
        if (current >= 0 && current < int(solves.size())) {
            QFont bold = font;
            bold.setWeight(QFont::Bold);
            bold.setPointSize(18);
            // On a low strip the labels shrink to the blocks' height (down
            // to a legible minimum) rather than spill over them.
            if (const int blockHeight = H - 12; QFontMetrics(bold).height() > blockHeight)
                bold.setPixelSize(std::max(kSmallestLabelPixels, blockHeight * 3 / 4));
            painter.setFont(bold);
            const QFontMetrics boldMetrics(bold);
            const auto drawBlock = [&](int x0, int x1, const QBrush &brush, const QString &label) {
                const QRect block(x0, 6, x1 - x0, H - 12);
                painter.setPen(Qt::NoPen);
                painter.setBrush(brush);
                painter.setOpacity(0.5);
                painter.drawRect(block);
                painter.setOpacity(1.0);
                painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
                painter.drawLine(x1, 0, x1, H);
                // Only the part of the block inside the strip counts: marks
                // past the end of the video put the rest out of sight.
                const QRect visible = block.intersected(QRect(0, 0, W, H));
                if (LabelFits(boldMetrics.horizontalAdvance(label), boldMetrics.height(), visible.width(),
                              visible.height())) {
                    painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
                    painter.drawText(visible, Qt::AlignCenter | Qt::TextDontClip, label);
                }
            };
            for (int k = 0; k < int(solves.size()); ++k) {
                const Marks &marks = solves[size_t(k)];
                if (k == current) {
                    for (size_t i = 1; i < marks.size(); ++i) {
                        const QColor colour = markColours.isEmpty()
                                                  ? QColor(Qt::darkGray)
                                                  : markColours.at(int((i + 1) % size_t(markColours.size())));
                        drawBlock(xOfFrame(marks[i - 1]), xOfFrame(marks[i]), colour, QString::number(i));
                    }
                } else if (marks.size() >= 2) {
                    drawBlock(xOfFrame(marks.front()), xOfFrame(marks.back()), Qt::gray, tr("Solve %1").arg(k + 1));
                }
            }
        }
    }

    const int playhead = xOfFrame(frameCursor->currentFrame);
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine));
    painter.drawLine(playhead, 0, playhead, H);
}

bool TimelineWidget::seekTo(double x)
{
    if (!frameCursor || !frameCursor->hasSource() || width() <= 0)
        return false;
    Q_EMIT seekRequested(TimelineSeekFrame(x / double(width()), frameCursor->totalFrames));
    return true;
}

void TimelineWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !seekTo(event->position().x()))
        QWidget::mousePressEvent(event);
}

void TimelineWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::LeftButton || !seekTo(event->position().x()))
        QWidget::mouseMoveEvent(event);
}
