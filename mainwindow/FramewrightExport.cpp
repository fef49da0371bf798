// The Export menu: MP4 video, animated GIF, screenshot to the clipboard. The exports
// read from a frame source of their own opened on the same file, so the
// frame on display and the player's position stay as they are.

#include "Framewright.h"

#include "FrameCursor.h"
#include "FramePipeline.h"
#include "FrameSources.h"
#include "GifExport.h"
#include "GifExportDialog.h"
#include "SolveModel.h"
#include "VideoExport.h"
#include "VideoExportDialog.h"
#include "ui_FramewrightWindow.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QStatusBar>

#include <algorithm>
#include <limits>

namespace {

constexpr int kExportMessageMs = 10000;

}  // namespace

std::unique_ptr<FrameGrabber> Framewright::OpenExportSource()
{
    std::unique_ptr<FrameGrabber> source = CreateFrameSource(videoPath, FrameSourceKind::Automatic,
                                                             ui->ffgrabberCheck->isChecked(), FrameSourceUse::ReadingThrough);
    if (!source->isOpen()) {
        const QString reason = source->errorString();
        ShowNotice(reason.isEmpty() ? tr("%1 cannot be opened for the export.").arg(QDir::toNativeSeparators(videoPath))
                                    : reason);
        return nullptr;
    }
    return source;
}

void Framewright::on_actionExport_triggered()
{
    if (!player->hasSource())
        return;
    player->setPaused(true);
    if (!videoExportDialog)
        videoExportDialog = std::make_unique<VideoExportDialog>(this);
    FrameGrabber *source = player->source();
    // The entries show the size the export will write, from the processing as it is now.
    videoExportDialog->rebuild(videoexport::pipelineFrameSize(source->getSize(), CurrentPipelineSettings()),
                               model->marks(), double(source->getFps()));
    if (videoExportDialog->exec() != QDialog::Accepted)
        return;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Export video file"), QDir::currentPath(), tr("Video Files (*.mp4)"));
    if (path.isEmpty())
        return;
    ExportVideo(path, videoExportDialog->resolutionIndex(), videoExportDialog->rangeIndex(),
                videoExportDialog->reverse() ? 1 : 0, videoExportDialog->fps());
}

bool Framewright::ExportVideo(const QString &path, int resolution, int range, int direction, double fps)
{
    if (path.isNull() || !player->hasSource())
        return false;
    player->setPaused(true);
    videoexport::ExportSettings settings;
    settings.outputPath = path;
    settings.sourcePath = videoPath;
    settings.pipeline = CurrentPipelineSettings();
    settings.resolution = resolution;
    settings.range = videoexport::exportRange(range, model->marks(), player->source()->getFrameCount());
    settings.reverse = direction == 1;
    settings.fps = fps;

    const int total = int(std::clamp<int64_t>(settings.range.count(), 0, std::numeric_limits<int>::max()));
    QProgressDialog progress(tr("Exporting Video"), tr("Stop"), 0, total, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const videoexport::ExportResult result = videoexport::exportVideoFile(
        videoPath, FrameSourceKind::Automatic, ui->ffgrabberCheck->isChecked(), player->pipeline(), settings,
        [&progress](int64_t done, int64_t) {
            progress.setValue(int(std::min<int64_t>(done, progress.maximum())));
            // Keeps the window painting and the "Stop" button working.
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.reset();
    if (!result.ok) {
        ShowNotice(tr("The video was not exported: %1").arg(result.error));
        return false;
    }
    statusBar()->showMessage(tr("%n frame(s) written to %1 (%2, %3 fps)", nullptr, int(result.framesWritten))
                                 .arg(QDir::toNativeSeparators(path), mp4CodecName(result.codec))
                                 .arg(result.fps),
                             kExportMessageMs);
    return true;
}

void Framewright::on_actionExport_Animated_Gif_triggered()
{
    if (!player->hasSource())
        return;
    player->setPaused(true);
    if (player->processedFrame.empty()) {
        ShowNotice(tr("There is no frame on display to export."));
        return;
    }
    GifExportDialog dialog(videoPath + QStringLiteral("-export.gif"), this);
    dialog.resize(200, 80);
    if (dialog.exec() != QDialog::Accepted || dialog.path().isEmpty())
        return;
    ExportGif(WithGifExtension(dialog.path()), dialog.settings());
}

bool Framewright::ExportGif(const QString &path, const GifExportSettings &settings)
{
    if (!player->hasSource() || player->processedFrame.empty())
        return false;
    player->setPaused(true);
    const std::unique_ptr<FrameGrabber> source = OpenExportSource();
    if (!source)
        return false;
    // currentFrame is the 1-based number of the frame on display.
    const int start = std::max(0, player->currentFrame - 1);

    QProgressDialog progress(tr("Exporting Animated GIF"), tr("Stop"), 0, settings.frameCount, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const GifExportResult result = ExportAnimatedGif(
        *source, start, player->pipeline(), CurrentPipelineSettings(), path, settings, [&progress](int done, int) {
            progress.setValue(done);
            // Keeps the window painting and the "Stop" button working.
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.reset();
    if (!result.ok()) {
        ShowNotice(tr("The GIF was not written completely: %1").arg(result.error));
        return false;
    }
    statusBar()->showMessage(tr("%n frame(s) written to %1", nullptr, result.framesWritten)
                                 .arg(QDir::toNativeSeparators(path)),
                             kExportMessageMs);
    return true;
}

void Framewright::on_actionSave_Screenshot_to_Clipboard_triggered()
{
    // The processed frame at its own resolution, not the display-sized picture.
    const QPixmap picture = MakeDisplayPixmap(player->processedFrame);
    if (picture.isNull())
        return;
    QGuiApplication::clipboard()->setPixmap(picture, QClipboard::Clipboard);
    ShowMessage(tr("Screenshot"));
}
