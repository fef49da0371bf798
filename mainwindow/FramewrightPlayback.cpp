// Playback and navigation: the playback timer, the four steps, go to frame,
// and the jumps between split marks.

#include "Framewright.h"

#include "FrameGrabber.h"
#include "Navigation.h"
#include "ui_FramewrightWindow.h"

#include <QInputDialog>
#include <QTimerEvent>

namespace {

// 40 ms caps playback at 25 frames per second; 1 ms plays as fast as frames
// can be decoded and processed.
constexpr int kLimitedIntervalMs = 40;
constexpr int kUnlimitedIntervalMs = 1;

}  // namespace

void Framewright::StartPlayTimer()
{
    playTimerId = startTimer(ui->playbackRateCheck->isChecked() ? kLimitedIntervalMs : kUnlimitedIntervalMs,
                             Qt::CoarseTimer);
}

void Framewright::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != playTimerId) {
        QMainWindow::timerEvent(event);
        return;
    }
    // Only the picture and the timeline change from frame to frame; the time
    // label repaints itself when its text changes.
    if (!frameShown) {
        UpdateDisplay(true);
        ui->displayWidget->repaint();
        ui->timelineWidget->repaint();
    } else if (!messages.isEmpty()) {
        ui->displayWidget->repaint();  // overlay messages fade while paused
    }
}

void Framewright::TogglePlayback()
{
    paused = !paused;
    if (!paused) {
        frameShown = false;
        if (playTimerId == -1)
            StartPlayTimer();
    }
    repaint();
}

void Framewright::on_pauseButton_clicked()
{
    TogglePlayback();
}

void Framewright::on_playbackRateCheck_stateChanged(int)
{
    if (playTimerId != -1)
        killTimer(playTimerId);
    StartPlayTimer();
}

void Framewright::Step(int step)
{
    if (!grabber)
        return;
    // The source stands just after the frame on display, so the offsets are
    // one more than the visible step backwards and one less forwards.
    switch (step) {
    case -10:
        if (currentFrame < 11)
            return;
        break;
    case -1:
        if (currentFrame < 2)
            return;
        break;
    default:
        break;
    }
    rawFrame.release();
    if (step == -10)
        grabber->skip(-11);
    else if (step == -1)
        grabber->skip(-2);
    else if (step == 10)
        grabber->skip(9);
    currentFrame = grabber->getPosition();
    if (step < 0 && currentFrame < 0) {
        grabber->seek(0);
        currentFrame = grabber->getPosition();
    } else if (step > 0 && currentFrame > totalFrames) {
        currentFrame = totalFrames - 1;
    }
    if (step == -1 || step == 1)
        paused = true;
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::on_frameBackButton_clicked()
{
    Step(-10);
}

void Framewright::on_framePrevButton_clicked()
{
    Step(-1);
}

void Framewright::on_frameNextButton_clicked()
{
    Step(1);
}

void Framewright::on_frameForwardButton_clicked()
{
    Step(10);
}

void Framewright::GoToFrameDialog()
{
    if (!grabber)
        return;  // nothing to go to without a video
    bool ok = false;
    const int n = QInputDialog::getInt(this, tr("Go to Frame"),
                                       tr("Select frame (total frames: %1)").arg(totalFrames), currentFrame, 0,
                                       grabber->getFrameCount(), 1, &ok);
    if (!ok)
        return;
    currentFrame = n - 1;
    paused = true;
    grabber->seek(SeekIndexForFrame(n, totalFrames));
    rawFrame.release();
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::JumpToMark(int32_t target, const QString &message)
{
    rawFrame.release();
    grabber->seek(SeekIndexForFrame(target, totalFrames));
    currentFrame = grabber->getPosition();
    paused = true;
    ShowMessage(message);
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::GotoMarker(int index)
{
    if (!grabber)
        return;
    if (const auto jump = MarkerJump(model.marks(), index))
        JumpToMark(jump->target, jump->isLast ? QStringLiteral("END") : QString::number(jump->messageNumber));
}

void Framewright::GotoNextMarker()
{
    if (!grabber)
        return;
    if (const auto jump = NextMarkJump(model.marks(), currentFrame))
        JumpToMark(jump->target, jump->isLast ? QStringLiteral("END") : QString::number(jump->messageNumber));
}

void Framewright::GotoPrevMarker()
{
    if (!grabber)
        return;
    if (const auto jump = PrevMarkJump(model.marks(), currentFrame))
        JumpToMark(jump->target, jump->isLast ? QStringLiteral("END") : QString::number(jump->messageNumber));
}
