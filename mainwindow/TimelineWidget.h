#pragma once

#include "SolveModel.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <cstdint>

class FrameCursor;

// The strip under the display: a time ruler (hours, minutes, seconds), the
// solves as shaded blocks, the steps of the current solve in the split
// colours with their numbers, and a playhead at the frame on display.
// Pressing or dragging with the left button asks to seek.
//
// It draws what the solve model and the player hold at paint time; whoever
// changes them calls update().
class TimelineWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TimelineWidget(QWidget *parent = nullptr);

    void setModel(const SolveModel *model) { solveModel = model; }
    void setPlayer(const FrameCursor *cursor) { frameCursor = cursor; }
    // Frames per second of the FPS box: the ruler's scale.
    void setFps(double fps);
    void setColours(const QList<QColor> &colours) { markColours = colours; }

Q_SIGNALS:
    // Show frame index `frameIndex` (0-based, within the video).
    void seekRequested(int32_t frameIndex);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool seekTo(double x);

    const SolveModel *solveModel = nullptr;
    const FrameCursor *frameCursor = nullptr;
    double framesPerSecond = 30.0;
    QList<QColor> markColours;
};
