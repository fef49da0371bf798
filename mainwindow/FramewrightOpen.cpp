// Opening videos and image sequences: the open dialog, the command line,
// open-most-recent, and drag and drop of videos, images and splits files.

#include "Framewright.h"

#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "SolveModel.h"
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
#include <QStatusBar>
#include <QUrl>

namespace {

constexpr int kAutosaveIntervalMs = 3000;
constexpr int kSavedMessageMs = 5000;

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
    // Absolute and canonical from here on: the current directory changes
    // below, and a relative path would then name another file.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return;
    std::unique_ptr<FrameGrabber> source =
        CreateFrameSource(canonical, FrameSourceKind::Automatic, ui->ffgrabberCheck->isChecked());
    if (!source->isOpen()) {
        // Nothing the user had is touched: the open video stays on display
        // with its marks, and its splits file is saved as before.
        const QString reason = source->errorString();
        ShowNotice(reason.isEmpty() ? tr("%1 cannot be opened as a video.").arg(QDir::toNativeSeparators(canonical))
                                    : reason);
        return;
    }
    // The marks of the open video go to its splits file before the model is
    // reset for the new one, with the frame rate, crop and rotation they were
    // made with. Autosave on, this is the save its next tick would have done;
    // off, the marks are saved all the same (opening another video is no
    // request to throw them away), and the status bar says where. Reopening
    // the same file then reads them back. Should the write fail, the user
    // chooses; without an answer the open video stays.
    if (!videoPath.isEmpty() && !model->saved()) {
        const QString splits = SplitsPath();
        if (SaveSplits(splits, true)) {
            if (!ui->autosaveCheck->isChecked())
                statusBar()->showMessage(tr("Splits of %1 saved to %2")
                                             .arg(QDir::toNativeSeparators(videoPath), QDir::toNativeSeparators(splits)),
                                         kSavedMessageMs);
        } else if (!SaveOrAskUntilSettled(splits, false)) {
            return;
        }
    }
    // The new source becomes the player's only once the frame rate and the
    // splits file are applied: their change signals would otherwise decode
    // and process frames of the old one.
    player->setSource(nullptr);

    const float fps = source->getFps();
    if (fps != 0.0f)
        ui->fpsSpin->setValue(fps);
    const FrameSize size = source->getSize();

    model->reset();
    ResetSolveCombo(1, 0);
    LoadSplits(canonical);
    RefreshSplitList();

    QDir::setCurrent(QFileInfo(canonical).absolutePath());
    videoPath = canonical;
    QSettings().setValue(QStringLiteral("mostRecentPath"), canonical);
    ui->displayWidget->setSourceSize(QSize(size.width, size.height));
    player->setSource(std::move(source));
    ui->pauseButton->setDefault(true);
    // The keys go to the window, not to a control that was clicked before.
    ui->displayWidget->setFocus();
    // One multi-argument arg(): a path holding "%1" stays as it is.
    setWindowTitle(tr("Framewright v%1: %2 (%3x%4, %5fps)")
                       .arg(QStringLiteral(FRAMEWRIGHT_VERSION), canonical, QString::number(size.width),
                            QString::number(size.height), QString::number(double(fps), 'g', 6)));
    model->setSaved(true);
    autosaveTimer.start(kAutosaveIntervalMs);
    Update();
    if (player->source()->hasVariableFrameRate())
        ShowNotice(tr("The frame rate of this video varies; times are computed with the FPS box."));
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
