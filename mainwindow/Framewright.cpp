// The main window's spine: start-up and shut-down, settings, the wiring of
// the player, the display and the timeline, and the menus that open the
// other tools.

#include "Framewright.h"

#include "AppStyle.h"
#include "CrossCalculatorDialog.h"
#include "DBAnalyser.h"
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "FramePipeline.h"
#include "KeyBindings.h"
#include "KeyStrokes.h"
#include "OcrRunner.h"
#include "PlaybackClock.h"
#include "SettingsStore.h"
#include "SolveModel.h"
#include "TimeText.h"
#include "Version.h"
#include "VideoExportDialog.h"
#include "ui_FramewrightWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>

namespace {

// How long the status bar shows a processing failure or a notice, in ms.
constexpr int kProcessingMessageMs = 10000;

}  // namespace

// Outside the anonymous namespace: the macro declares the resource's
// initialiser, which must keep external linkage.
static void registerResources()
{
    Q_INIT_RESOURCE(framewright);
}

Framewright::Framewright(const QString &path, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::FramewrightWindow>())
    , dbAnalyser(std::make_unique<DBAnalyser>())
    , player(std::make_unique<FrameCursor>())
    , model(std::make_unique<SolveModel>())
    , keyBindings(std::make_unique<KeyBindings>())
    , keyPresses(std::make_unique<KeyPressTracker>())
    , keyRepeats(std::make_unique<RepeatThrottle>())
{
    // A path given relative to where the program was started stays that:
    // the settings below may move the current directory.
    const QString opened = path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    registerResources();
    SetUpForm();
    ApplyAppStyle();

    markColours = {QColor(QStringLiteral("#1a1333")), QColor(QStringLiteral("#262949")),
                   QColor(QStringLiteral("#045459")), QColor(QStringLiteral("#087353")),
                   QColor(QStringLiteral("#15c286")), QColor(QStringLiteral("#abd96d")),
                   QColor(QStringLiteral("#fbbf54")), QColor(QStringLiteral("#ee6b3b")),
                   QColor(QStringLiteral("#ec0f47")), QColor(QStringLiteral("#a02c5d")),
                   QColor(QStringLiteral("#700460")), QColor(QStringLiteral("#022c7a"))};

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons_framewright")));
    setWindowTitle(tr("Framewright v%1").arg(QStringLiteral(FRAMEWRIGHT_VERSION)));

    ApplySettings();
    ui->timeLabel->installEventFilter(this);
    SetUpPlayer();
    SetUpConnections();
    LoadModels();
    if (!opened.isEmpty())
        OpenVideo(opened);
    setAcceptDrops(true);
    SetUpKeyboard();
}

Framewright::~Framewright()
{
    SaveOnShutdown();
    player->setSource(nullptr);
    // A recognition still running is waited for, its answer never shown:
    // the cursor it set goes back now.
    if (ocr && ocr->busy())
        QGuiApplication::restoreOverrideCursor();
    ocr.reset();  // waits for the recognition, then ends the engine
    WriteSettings();
    // The base destructor hides and deletes the widgets after the members
    // (the form, the player, the model) are gone, and that still emits
    // signals: the FPS box reports the end of editing when it loses the
    // focus. None of them may reach this window's slots or lambdas any more.
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
}

void Framewright::SetUpForm()
{
    ui->setupUi(this);
    ui->tabWidget->setCurrentIndex(0);
    ui->samplingCombo->setCurrentIndex(0);
    // The time label is as wide as its longest text, so that it is never cut,
    // and keeps that width, so that a new text on every played frame does not
    // lay the window out again.
    const QFontMetrics metrics(ui->timeLabel->font());
    ui->timeLabel->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("00:00:000 (0000000)")));
    ui->timeLabel->setText(::TimeString(0, ui->fpsSpin->value()));
}

void Framewright::SetUpPlayer()
{
    ui->timelineWidget->setModel(model.get());
    ui->timelineWidget->setPlayer(player.get());
    ui->timelineWidget->setColours(markColours);
    ui->timelineWidget->setFps(ui->fpsSpin->value());
    ui->displayWidget->setKeepAspect(ui->cropKeepAspect->isChecked());
    ApplyPlaybackRate();

    connect(player.get(), &FrameCursor::pictureChanged, this, &Framewright::ShowPicture);
    connect(player.get(), &FrameCursor::pausedChanged, this, [this](bool paused) {
        // Still pictures are scaled smoothly; playback uses the fast scaling.
        ui->displayWidget->setSmooth(paused);
    });
    connect(player.get(), &FrameCursor::processingFailed, this, [this](const QString &reason) {
        statusBar()->showMessage(tr("Image processing failed: %1").arg(reason), kProcessingMessageMs);
    });
    connect(player.get(), &FrameCursor::readFailed, this, &Framewright::ShowNotice);
    connect(ui->timelineWidget, &TimelineWidget::seekRequested, this,
            [this](int32_t frameIndex) { player->seekToIndex(frameIndex); });
    connect(ui->displayWidget, &DisplayWidget::cropEdited, this, [this] {
        model->setSaved(false);
        UpdateTitle();
    });
    connect(ui->displayWidget, &DisplayWidget::interfaceToggleRequested, this, &Framewright::ToggleInterface);
    connect(ui->cropKeepAspect, &QCheckBox::toggled, ui->displayWidget, &DisplayWidget::setKeepAspect);
}

void Framewright::SetUpConnections()
{
    connect(ui->fpsSpin, &QDoubleSpinBox::valueChanged, this, &Framewright::UpdateFPS);
    // Enter in the FPS box ends typing: the keys step through the video again.
    connect(ui->fpsSpin, &QDoubleSpinBox::editingFinished, this, [this] {
        if (ui->fpsSpin->hasFocus())
            ui->displayWidget->setFocus(Qt::OtherFocusReason);
    });
    connect(ui->brightnessSlider, &QSlider::valueChanged, this, &Framewright::Update);
    connect(ui->enhanceCombo, &QComboBox::currentIndexChanged, this, &Framewright::Update);
    connect(ui->samplingCombo, &QComboBox::currentIndexChanged, this, &Framewright::Update);
    connect(&autosaveTimer, &QTimer::timeout, this, &Framewright::AutoSave);
}

void Framewright::ApplySettings()
{
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    const QString home = settings.value(QStringLiteral("system/homePath")).toString();
    if (!home.isEmpty())
        QDir::setCurrent(home);
    settings.beginGroup(QStringLiteral("Gui"));
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    // Booleans come back from the store as the texts "true"/"false" (or as
    // numbers from older stores); toBool reads both.
    const std::pair<const char *, QCheckBox *> boxes[] = {
        {"cropKeepAspect", ui->cropKeepAspect},
        {"ffgrabberCheck", ui->ffgrabberCheck},
        {"autosaveCheck", ui->autosaveCheck},
    };
    for (const auto &[key, box] : boxes) {
        const QVariant value = settings.value(QLatin1String(key));
        if (value.isValid())
            box->setChecked(value.toBool());
    }
    bool ok = false;
    const int speed = settings.value(QStringLiteral("playbackSpeed")).toInt(&ok);
    if (ok && speed >= 0 && speed < ui->playbackSpeedCombo->count())
        ui->playbackSpeedCombo->setCurrentIndex(speed);
    settings.endGroup();
}

void Framewright::WriteSettings()
{
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.setValue(QStringLiteral("system/homePath"), QDir::currentPath());
    settings.beginGroup(QStringLiteral("Gui"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("cropKeepAspect"), ui->cropKeepAspect->isChecked());
    settings.setValue(QStringLiteral("ffgrabberCheck"), ui->ffgrabberCheck->isChecked());
    settings.setValue(QStringLiteral("autosaveCheck"), ui->autosaveCheck->isChecked());
    settings.setValue(QStringLiteral("playbackSpeed"), ui->playbackSpeedCombo->currentIndex());
    settings.endGroup();
}

void Framewright::SaveOnShutdown()
{
    if (model->saved())
        return;
    if (!ui->autosaveCheck->isChecked()) {
        const auto answer = QMessageBox::warning(
            this, tr("Unsaved data"), tr("You have unsaved data: do you want to save it?"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
        if (answer != QMessageBox::Ok)
            return;
    }
    // Closing must never drop marks silently.
    SaveOrAskUntilSettled(SplitsPath(), false);
}

bool Framewright::SaveOrAskUntilSettled(QString path, bool silent)
{
    QString error;
    while (!SaveSplits(path, silent, &error)) {
        QMessageBox box(QMessageBox::Warning, tr("Splits not saved"),
                        tr("The split marks could not be saved to \"%1\":\n%2")
                            .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), error),
                        QMessageBox::NoButton, this);
        box.setInformativeText(tr("Try again, save them to another file, or discard them?"));
        box.addButton(QMessageBox::Retry);
        QPushButton *saveAs = box.addButton(tr("Save As..."), QMessageBox::AcceptRole);
        QPushButton *discard = box.addButton(QMessageBox::Discard);
        box.setDefaultButton(saveAs);
        box.exec();
        if (box.clickedButton() == discard)
            return true;
        if (box.clickedButton() == nullptr)
            return false;
        if (box.clickedButton() == saveAs) {
            const QString chosen = QFileDialog::getSaveFileName(
                this, tr("Save Splits"), path, tr("Splits Files (*.splits.txt);;All Files (*)"));
            if (!chosen.isEmpty())
                path = chosen;
        }
    }
    return true;
}

QString Framewright::SplitsPath() const
{
    return videoPath + QLatin1String(".splits.txt");
}

QString Framewright::TimeString(int32_t frame) const
{
    return ::TimeString(frame, ui->fpsSpin->value());
}

// ---- title, list, messages ------------------------------------------------

void Framewright::UpdateTitle()
{
    const QString current = windowTitle();
    QString title = current;
    if (title.endsWith(QLatin1Char('*')))
        title.chop(1);
    if (!model->saved())
        title += QLatin1Char('*');
    if (title != current)
        setWindowTitle(title);
}

void Framewright::RefreshSplitList()
{
    const int row = ui->splitList->currentRow();
    ui->splitList->clear();
    QFont bold = ui->splitList->font();
    bold.setWeight(QFont::Bold);
    const auto rows = SplitListRows(model->marks(), ui->fpsSpin->value(), static_cast<int>(markColours.size()));
    for (const SplitListRow &r : rows) {
        auto *item = new QListWidgetItem(r.text, ui->splitList);
        item->setForeground(r.colourIndex >= 0 ? markColours.at(r.colourIndex) : QColor(Qt::black));
        item->setFont(bold);
    }
    if (row >= 0 && row < ui->splitList->count())
        ui->splitList->setCurrentRow(row);
    ui->timelineWidget->update();
}

void Framewright::ShowMessage(const QString &text)
{
    ui->displayWidget->showMessage(text);
}

void Framewright::ShowNotice(const QString &text)
{
    ui->displayWidget->showNotice(text);
    statusBar()->showMessage(text, kProcessingMessageMs);
}

void Framewright::PushUndo()
{
    model->pushUndo();
}

void Framewright::ClearHistory()
{
    model->clearHistory();
}

// ---- menus -----------------------------------------------------------------

void Framewright::on_actionExit_triggered()
{
    QCoreApplication::quit();
}

void Framewright::on_actionCross_Calculator_triggered()
{
    if (!crossCalculatorDialog)
        crossCalculatorDialog = std::make_unique<CrossCalculatorDialog>();
    // Modal from the moment it is shown: exec() on a dialog that is already
    // visible leaves it modeless, and the window would take keys and clicks
    // (another Ctrl+F, closing) while this call waits in the dialog's loop.
    crossCalculatorDialog->setWindowModality(Qt::ApplicationModal);
    crossCalculatorDialog->show();
    crossCalculatorDialog->raise();
    crossCalculatorDialog->exec();
}

void Framewright::CrossCalculatorCompute()
{
    if (crossCalculatorDialog)
        crossCalculatorDialog->compute();
}

void Framewright::CrossCalculatorClipboard()
{
    if (crossCalculatorDialog)
        crossCalculatorDialog->copyToClipboard();
}

void Framewright::on_actionDB_Analyser_triggered()
{
    dbAnalyser->show();
    dbAnalyser->raise();
}
