// The picture: the processing the side pane chooses, the super-resolution
// models, showing what the player publishes, the crop buttons and hiding
// the side pane.

#include "Framewright.h"

#include "DisplayWidget.h"
#include "FrameCursor.h"
#include "FramePipeline.h"
#include "ui_FramewrightWindow.h"

#include <QDir>

PipelineSettings Framewright::CurrentPipelineSettings() const
{
    PipelineSettings settings;
    settings.upsample = ui->samplingCombo->currentIndex();
    settings.rotation = ui->rotateCombo->currentIndex();
    settings.applyCrop = ui->cropPreviewCheck->isChecked();
    settings.crop = ui->displayWidget->appliedCrop;
    settings.brightness = ui->brightnessSlider->value();
    settings.enhance = ui->enhanceCombo->currentIndex();
    return settings;
}

void Framewright::LoadModels()
{
    FramePipeline &pipeline = player->pipeline();
    const QStringList directories = FramePipeline::modelDirectories();
    pipeline.loadModels(directories);
    // Entries whose model file was not found cannot run: disable them and say
    // where the file was looked for.
    QStringList searched;
    for (const QString &directory : directories)
        searched << QDir::toNativeSeparators(directory);
    for (int entry = 3; entry <= 6; ++entry) {
        const bool available = pipeline.upsampleAvailable(entry);
        ui->samplingCombo->setItemData(entry, available ? QVariant() : QVariant(0), Qt::UserRole - 1);
        ui->samplingCombo->setItemData(
            entry,
            available ? QVariant()
                      : QVariant(tr("Model file \"%1\" not found in:\n%2")
                                     .arg(FramePipeline::modelFileName(entry), searched.join(QLatin1Char('\n')))),
            Qt::ToolTipRole);
    }
}

void Framewright::UpdateDisplay(bool show)
{
    // Every control that changes the processing ends here: the player reads
    // (or re-processes) the frame and publishes the picture.
    player->setProcessing(CurrentPipelineSettings());
    (void)show;
}

void Framewright::ShowPicture()
{
    const QString time = TimeString(player->currentFrame);
    ui->timeLabel->setText(time);
    ui->displayWidget->setTimeText(time);
    ui->displayWidget->setFrame(player->processedFrame, player->paused);
    ui->displayWidget->setCropApplied(ui->cropPreviewCheck->isChecked());
    if (player->paused) {
        ui->timelineWidget->update();
    } else {
        // While playing, each decoded frame is put on the screen before the
        // next one is read; update() alone would let the two drift apart.
        ui->displayWidget->repaint();
        ui->timelineWidget->repaint();
    }
}

void Framewright::Update()
{
    UpdateDisplay(true);
}

void Framewright::UpdateFPS()
{
    RefreshSplitList();
    ui->timelineWidget->setFps(ui->fpsSpin->value());
    ApplyPlaybackRate();
    Update();
}

void Framewright::on_rotateCombo_currentIndexChanged(int)
{
    Update();
}

void Framewright::on_cropButton_clicked()
{
    if (ui->cropPreviewCheck->isChecked())
        return;
    DisplayWidget *display = ui->displayWidget;
    display->appliedCrop = display->editCrop;
    display->editCrop = QRectF(0, 0, 0, 0);
    ui->cropPreviewCheck->setChecked(true);
    Update();
}

void Framewright::on_cropPreviewCheck_clicked()
{
    Update();
}

void Framewright::ToggleInterface()
{
    if (!ui->SidePane->isVisible()) {
        ui->SidePane->show();
        return;
    }
    ui->SidePane->hide();
    // Fit the window to the picture's proportions.
    if (!ui->displayWidget->displayPixmap.isNull()) {
        const double a = ui->displayWidget->pictureAspect();
        int W = width();
        int H = height();
        if (W / a > H)
            W = int(H * a);
        else
            H = int(W / a);
        resize(W, H);
    }
}
