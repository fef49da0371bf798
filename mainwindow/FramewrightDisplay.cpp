// The frame display: fetching and processing frames, painting the picture,
// the time box, the overlay messages and the crop rectangles, and editing the
// crop rectangle with the mouse.

#include "Framewright.h"

#include "CropGeometry.h"
#include "FrameGrabber.h"
#include "FramePipeline.h"
#include "ui_FramewrightWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>

#include <opencv2/imgproc.hpp>

PipelineSettings Framewright::CurrentPipelineSettings() const
{
    PipelineSettings settings;
    settings.upsample = ui->samplingCombo->currentIndex();
    settings.rotation = ui->rotateCombo->currentIndex();
    settings.applyCrop = ui->cropPreviewCheck->isChecked();
    settings.crop = appliedCrop;
    settings.brightness = ui->brightnessSlider->value();
    settings.enhance = ui->enhanceCombo->currentIndex();
    return settings;
}

void Framewright::LoadModels()
{
    const QStringList directories = FramePipeline::modelDirectories();
    pipeline->loadModels(directories);
    // Entries whose model file was not found cannot run: disable them and say
    // where the file was looked for.
    QStringList searched;
    for (const QString &directory : directories)
        searched << QDir::toNativeSeparators(directory);
    for (int entry = 3; entry <= 6; ++entry) {
        const bool available = pipeline->upsampleAvailable(entry);
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
    if (!grabber)
        return;
    const QMutexLocker locker(&frameMutex);
    if (rawFrame.empty() || !paused)
        *grabber >> rawFrame;
    if (rawFrame.empty())
        return;

    QString error;
    cv::Mat processed = pipeline->process(rawFrame, CurrentPipelineSettings(), &error);
    if (processed.empty()) {
        // Keep the previous picture; say once what went wrong, and do not
        // retry the same frame on every tick while paused.
        if (error != lastPipelineError)
            statusBar()->showMessage(tr("Image processing failed: %1").arg(error), 10000);
        lastPipelineError = error;
        if (paused)
            frameShown = true;
        return;
    }
    lastPipelineError.clear();
    processedFrame = processed;

    // Every source reports the 1-based number of the frame just read.
    currentFrame = grabber->getPosition();
    if (!paused && (currentFrame < 0 || currentFrame >= totalFrames)) {
        // Playback wraps to the start after the last frame.
        grabber->seek(0);
    }
    if (show) {
        RefreshDisplayPixmap();
        if (paused)
            frameShown = true;
        ui->timeLabel->setText(TimeString(currentFrame));
    }
}

double Framewright::PictureAspect() const
{
    // The processed frame's own proportions; the pixmap may be a reduced copy.
    if (!processedFrame.empty())
        return double(processedFrame.cols) / double(processedFrame.rows);
    return displayPixmap.isNull() ? 1.0 : double(displayPixmap.width()) / double(displayPixmap.height());
}

void Framewright::RefreshDisplayPixmap()
{
    // The picture is shown at most at the display's size, so a larger frame
    // is reduced first (nearest neighbour, the look of the fast scaling the
    // display uses anyway): converting and drawing a quarter of the pixels
    // keeps playback close to the decoder's speed. `processedFrame` keeps the
    // full resolution for everything else.
    if (processedFrame.empty()) {
        displayPixmap = QPixmap();
        return;
    }
    const QSizeF fitted = FittedPictureSize(ui->displayWidget->size(),
                                            double(processedFrame.cols) / double(processedFrame.rows));
    const int w = int(fitted.width());
    const int h = int(fitted.height());
    if (w > 0 && h > 0 && w < processedFrame.cols && h < processedFrame.rows) {
        cv::Mat reduced;
        try {
            cv::resize(processedFrame, reduced, cv::Size(w, h), 0, 0, cv::INTER_NEAREST);
        } catch (const cv::Exception &) {
            reduced = processedFrame;
        }
        displayPixmap = MakeDisplayPixmap(reduced);
    } else {
        displayPixmap = MakeDisplayPixmap(processedFrame);
    }
}

void Framewright::PaintDisplay()
{
    // The display paints every pixel itself (it is marked opaque, so that a
    // new frame does not repaint the panels behind it first).
    QPainter painter(ui->displayWidget);
    painter.fillRect(ui->displayWidget->rect(), ui->displayWidget->palette().window());
    if (displayPixmap.isNull())
        return;
    const double aspect = PictureAspect();
    const QSizeF fitted = FittedPictureSize(ui->displayWidget->size(), aspect);
    const int w = int(fitted.width());
    const int h = int(fitted.height());
    // Scaled while drawing, without smoothing (the fast transformation).
    painter.drawPixmap(QRect(0, 0, w, h), displayPixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const auto scaled = [w, h](const QRectF &r) {
        return QRectF(r.x() * w, r.y() * h, r.width() * w, r.height() * h);
    };
    if (!ui->cropPreviewCheck->isChecked() && !IsEmptyCrop(appliedCrop) && !IsFullCrop(appliedCrop)) {
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
    const QString time = ui->timeLabel->text();
    const QFontMetrics metrics(font);
    const int tw = metrics.boundingRect(QRect(), Qt::AlignCenter, time).width();
    const int th = metrics.height();
    const QRect box(w - tw - 6, h - th - 6, tw + 6, th + 6);
    painter.setOpacity(0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRect(box);
    painter.setOpacity(1.0);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, time);

    // Overlay messages fade over `messageLifetime` paints each.
    font.setPointSize(200);
    painter.setFont(font);
    for (qsizetype i = 0; i < messages.size();) {
        painter.setOpacity(double(messageCounters[size_t(i)] - 1) / messageLifetime);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, w, h), Qt::AlignCenter, messages.at(i));
        painter.setOpacity(1.0);
        if (--messageCounters[size_t(i)] <= 0) {
            messages.removeAt(i);
            messageCounters.erase(messageCounters.begin() + i);
        } else {
            ++i;
        }
    }
}

QSizeF Framewright::DisplayPictureSize() const
{
    // Fractions refer to the picture the user sees (rotated and upsampled as
    // shown), so that a rectangle selects what is on the screen.
    if (!displayPixmap.isNull())
        return FittedPictureSize(ui->displayWidget->size(), PictureAspect());
    return ui->displayWidget->size();
}

void Framewright::DisplayMouseEvent(QEvent *event)
{
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPointF p = PictureFraction(mouse->position(), DisplayPictureSize());
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    const QPointF anchor(dragPoint[0], dragPoint[1]);

    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (modifiers != Qt::ShiftModifier)
            editCrop = QRectF(p.x(), p.y(), 0, 0);
        dragPoint = {p.x(), p.y()};
        repaint();
        break;
    case QEvent::MouseMove:
        if (mouse->buttons() == Qt::LeftButton) {
            if (modifiers == Qt::ShiftModifier || modifiers == Qt::ControlModifier) {
                editCrop = MovedCrop(editCrop, p - anchor);
                dragPoint = {p.x(), p.y()};
            } else {
                editCrop = DrawnCrop(anchor, p, ui->cropKeepAspect->isChecked());
            }
            repaint();
        } else if (mouse->buttons() == Qt::RightButton && modifiers == Qt::ControlModifier) {
            FrameSize source = grabber ? grabber->getSize() : FrameSize{};
            const double sw = source.width > 0 ? source.width : ui->displayWidget->width();
            const double sh = source.height > 0 ? source.height : ui->displayWidget->height();
            editCrop = ResizedCrop(editCrop, p.x() - anchor.x(), p.y() - anchor.y(), QSizeF(4 / sw, 4 / sh));
            dragPoint = {p.x(), p.y()};
            repaint();
        }
        break;
    case QEvent::MouseButtonRelease:
        // A plain click (no drag in between) clears the rectangle; a Shift
        // move or a Ctrl resize that ends where it began keeps it.
        if (modifiers != Qt::ControlModifier && modifiers != Qt::ShiftModifier
            && qFuzzyCompare(1.0 + p.x(), 1.0 + anchor.x()) && qFuzzyCompare(1.0 + p.y(), 1.0 + anchor.y()))
            editCrop = QRectF(0, 0, 1, 1);
        dragPoint = {-1.0, -1.0};
        repaint();
        model.setSaved(false);
        UpdateTitle();
        break;
    case QEvent::MouseButtonDblClick:
        if (ui->SidePane->isVisible()) {
            ui->SidePane->hide();
            if (!displayPixmap.isNull()) {
                const double a = PictureAspect();
                int W = width();
                int H = height();
                if (W / a > H)
                    W = int(H * a);
                else
                    H = int(W / a);
                resize(W, H);
            }
            repaint();
        } else {
            ui->SidePane->show();
        }
        break;
    default:
        break;
    }
}

void Framewright::on_cropButton_clicked()
{
    if (ui->cropPreviewCheck->isChecked())
        return;
    appliedCrop = editCrop;
    editCrop = QRectF(0, 0, 0, 0);
    ui->cropPreviewCheck->setChecked(true);
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::on_cropPreviewCheck_clicked()
{
    if (paused)
        UpdateDisplay(true);
    repaint();
}
