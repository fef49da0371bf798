// Opening videos and image sequences: the open dialog, the command line,
// open-most-recent, and drag and drop of videos, images and splits files.

#include "Framewright.h"

#include "FrameGrabber.h"
#include "FrameSources.h"
#include "SolveList.h"
#include "Version.h"
#include "ui_FramewrightWindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMimeData>
#include <QSettings>
#include <QSignalBlocker>
#include <QUrl>

namespace {

constexpr int kAutosaveIntervalMs = 3000;

bool isOpenableName(const QString &path)
{
    static const char *const suffixes[] = {".avi", ".mp4", ".mpeg", ".mpg", ".mov", ".wmv",
                                           ".mkv", ".ogv", ".splits.txt", ".png", ".jpg"};
    const QString lower = path.toLower();
    for (const char *suffix : suffixes) {
        if (lower.endsWith(QLatin1String(suffix)))
            return true;
    }
    return false;
}

}  // namespace

void Framewright::OpenVideo(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    if (playTimerId != -1) {
        killTimer(playTimerId);
        playTimerId = -1;
    }
    if (grabber) {
        grabber->close();
        grabber.reset();
    }
    // The new source becomes the window's only once the frame rate and the
    // splits file are applied: their change signals would otherwise decode
    // and process frames that are thrown away, and leave the source past
    // frame 1.
    std::unique_ptr<FrameGrabber> source =
        CreateFrameSource(path, FrameSourceKind::Automatic, ui->ffgrabberCheck->isChecked());

    totalFrames = source->getFrameCount();
    const float fps = source->getFps();
    if (fps != 0.0f)
        ui->fpsSpin->setValue(fps);
    const FrameSize size = source->getSize();
    rawFrame.release();

    model.reset();
    ResetSolveCombo(1, 0);
    LoadSplits(path);
    RefreshSplitList();

    QDir::setCurrent(QFileInfo(path).absolutePath());
    videoPath = path;
    QSettings().setValue(QStringLiteral("mostRecentPath"), path);
    currentFrame = 0;
    grabber = std::move(source);
    StartPlayTimer();
    ui->pauseButton->setDefault(true);
    ui->pauseButton->setFocus();
    // One multi-argument arg(): a path holding "%1" stays as it is.
    setWindowTitle(tr("Framewright v%1: %2 (%3x%4, %5fps)")
                       .arg(QStringLiteral(FRAMEWRIGHT_VERSION), path, QString::number(size.width),
                            QString::number(size.height), QString::number(double(fps), 'g', 6)));
    model.setSaved(true);
    autosaveTimer.start(kAutosaveIntervalMs);
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::on_actionOpen_triggered()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Video"), QDir::currentPath(),
                                                      tr("Video Files (*.avi *.mp4 *.mov *.mkv *.mpeg *.ogv *.wmv)"));
    if (!path.isEmpty())
        OpenVideo(path);
}

void Framewright::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (isOpenableName(url.path(QUrl::FullyDecoded))) {
            event->acceptProposedAction();
            return;
        }
    }
}

void Framewright::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (path.endsWith(QLatin1String(".splits.txt")))
            LoadSplits(path);
        else
            OpenVideo(path);
    }
    event->acceptProposedAction();
}

void Framewright::on_actionSolvebank_triggered()
{
    // The solve database's site: its address lives in the analyser's settings.
    QSettings settings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser"));
    QString site = settings.value(QLatin1String(db::kSolvePageSiteKey)).toString().trimmed();
    if (site.isEmpty()) {
        bool ok = false;
        site = QInputDialog::getText(this, tr("Solvebank"), tr("Address of the solve database site:"),
                                     QLineEdit::Normal, QStringLiteral("https://"), &ok)
                   .trimmed();
        const QUrl url(site);
        if (!ok || !url.isValid() || url.host().isEmpty())
            return;
        settings.setValue(QLatin1String(db::kSolvePageSiteKey), site);
    }
    QDesktopServices::openUrl(QUrl(site));
}
