// Playback and navigation: toggling playback and its rate, the four steps,
// go to frame, and the jumps between split marks. The player does the
// moving; the window supplies what the user chose.

#include "Framewright.h"

#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "Navigation.h"
#include "PlaybackClock.h"
#include "SolveModel.h"
#include "ui_FramewrightWindow.h"

#include <QInputDialog>

void Framewright::ApplyPlaybackRate()
{
    // Limited: the video's own frame rate (the FPS box) times the chosen
    // speed. Unlimited: as fast as frames can be decoded and shown.
    const int speedIndex = ui->playbackSpeedCombo->currentIndex();
    const double speed = speedIndex >= 0 && speedIndex < int(std::size(kPlaybackSpeeds))
                             ? kPlaybackSpeeds[speedIndex]
                             : 1.0;
    player->setPlaybackRate(ui->playbackRateCheck->isChecked() ? PlaybackRate(ui->fpsSpin->value(), speed) : 0.0);
}

void Framewright::on_playbackRateCheck_stateChanged(int)
{
    ApplyPlaybackRate();
}

void Framewright::on_playbackSpeedCombo_currentIndexChanged(int)
{
    ApplyPlaybackRate();
}

void Framewright::TogglePlayback()
{
    player->togglePlayback();
}

void Framewright::on_pauseButton_clicked()
{
    TogglePlayback();
}

void Framewright::Step(int step)
{
    player->step(step);
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
    if (!player->hasSource())
        return;  // nothing to go to without a video
    bool ok = false;
    const int n = QInputDialog::getInt(this, tr("Go to Frame"),
                                       tr("Select frame (total frames: %1)").arg(player->totalFrames),
                                       player->currentFrame, 0, player->source()->getFrameCount(), 1, &ok);
    if (ok)
        player->jumpToFrame(n);
}

void Framewright::JumpToMark(int32_t target, const QString &message)
{
    ShowMessage(message);
    player->jumpToFrame(target);
}

void Framewright::GotoMarker(int index)
{
    if (!player->hasSource())
        return;
    if (const auto jump = MarkerJump(model->marks(), index))
        JumpToMark(jump->target, jump->isLast ? QStringLiteral("END") : QString::number(jump->messageNumber));
}

void Framewright::GotoNextMarker()
{
    if (!player->hasSource())
        return;
    if (const auto jump = NextMarkJump(model->marks(), player->currentFrame))
        JumpToMark(jump->target, jump->isLast ? QStringLiteral("END") : QString::number(jump->messageNumber));
}

void Framewright::GotoPrevMarker()
{
    if (!player->hasSource())
        return;
    if (const auto jump = PrevMarkJump(model->marks(), player->currentFrame))
        JumpToMark(jump->target, jump->isLast ? QStringLiteral("END") : QString::number(jump->messageNumber));
}
