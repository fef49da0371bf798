#include "Framewright.h"

#include "AppStyle.h"
#include "FrameGrabber.h"
#include "SplitsFile.h"
#include "TimeText.h"
#include "Navigation.h"
#include "FramePipeline.h"
#include "Version.h"
#include "Calculator.h"
#include "ui_CrossColorCalculator.h"
#include "SettingsStore.h"
#include "ui_FramewrightWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>

namespace {

// How long the status bar shows that the splits were copied, in ms.
constexpr int kStatusMessageMs = 5000;

}  // namespace

static void registerResources()
{
    Q_INIT_RESOURCE(framewright);
}

Framewright::Framewright(const QString &path, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::FramewrightWindow>())
    , videoPath(path)
{
    registerResources();
    ui->setupUi(this);
    ui->tabWidget->setCurrentIndex(0);
    ui->samplingCombo->setCurrentIndex(0);

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

    connect(ui->fpsSpin, &QDoubleSpinBox::valueChanged, this, &Framewright::UpdateFPS);
    connect(ui->brightnessSlider, &QSlider::valueChanged, this, &Framewright::Update);
    connect(ui->enhanceCombo, &QComboBox::currentIndexChanged, this, &Framewright::Update);
    connect(ui->samplingCombo, &QComboBox::currentIndexChanged, this, &Framewright::Update);
    connect(&autosaveTimer, &QTimer::timeout, this, &Framewright::AutoSave);

    pipeline = std::make_unique<FramePipeline>();
    LoadModels();
    if (!path.isEmpty())
        OpenVideo(path);

    setAcceptDrops(true);
    for (QWidget *widget : {ui->displayWidget, ui->timelineWidget}) {
        widget->installEventFilter(this);
        widget->setMouseTracking(true);
        // Both paint their whole area themselves.
        widget->setAttribute(Qt::WA_OpaquePaintEvent);
    }
    LoadKeyBindings();
    installEventFilter(this);
}

Framewright::~Framewright()
{
    SaveOnShutdown();
    if (playTimerId != -1)
        killTimer(playTimerId);
    if (grabber) {
        grabber->close();
        grabber.reset();
    }
    WriteSettings();
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
    settings.endGroup();
}

void Framewright::SaveOnShutdown()
{
    if (model.saved())
        return;
    if (!ui->autosaveCheck->isChecked()) {
        const auto answer = QMessageBox::warning(
            this, tr("Unsaved data"), tr("You have unsaved data: do you want to save it?"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
        if (answer != QMessageBox::Ok)
            return;
    }
    // Closing must never drop marks silently: keep asking until they are
    // written somewhere or the user explicitly discards them.
    QString path = SplitsPath();
    QString error;
    while (!SaveSplits(path, false, &error)) {
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
        if (box.clickedButton() == discard || box.clickedButton() == nullptr)
            return;
        if (box.clickedButton() == saveAs) {
            const QString chosen = QFileDialog::getSaveFileName(
                this, tr("Save Splits"), path, tr("Splits Files (*.splits.txt);;All Files (*)"));
            if (!chosen.isEmpty())
                path = chosen;
        }
    }
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
    if (!model.saved())
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
    const auto rows = SplitListRows(model.marks(), ui->fpsSpin->value(),
                                    static_cast<int>(markColours.size()));
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
    messages.append(text);
    messageCounters.push_back(messageLifetime);
}

void Framewright::PushUndo()
{
    model.pushUndo();
}

void Framewright::ClearHistory()
{
    model.clearHistory();
}

void Framewright::AfterMarksChanged()
{
    RefreshSplitList();
    UpdateTitle();
}

void Framewright::ResetSolveCombo(int count, int current)
{
    const QSignalBlocker blocker(ui->solveCombo);
    ui->solveCombo->clear();
    for (int i = 1; i <= count; ++i)
        ui->solveCombo->addItem(tr("Solve %1").arg(i));
    ui->solveCombo->setCurrentIndex(current);
}

// ---- display ---------------------------------------------------------------

void Framewright::Update()
{
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::UpdateFPS()
{
    RefreshSplitList();
    Update();
}

void Framewright::on_rotateCombo_currentIndexChanged(int)
{
    Update();
}

// ---- marks -----------------------------------------------------------------

void Framewright::on_splitAddButton_clicked()
{
    const int index = model.addMark(currentFrame);
    ShowMessage(QStringLiteral("%1").arg(index));
    RefreshSplitList();
    frameShown = false;
    UpdateDisplay(true);
    repaint();
    UpdateTitle();
}

void Framewright::on_splitRemoveButton_clicked()
{
    const bool clearAll = QGuiApplication::keyboardModifiers() == Qt::ShiftModifier;
    if (model.removeMark(ui->splitList->currentRow(), clearAll))
        AfterMarksChanged();
}

void Framewright::on_splitUpdateButton_clicked()
{
    if (model.updateMark(ui->splitList->currentRow(), currentFrame))
        AfterMarksChanged();
}

void Framewright::on_splitList_itemDoubleClicked(QListWidgetItem *item)
{
    if (!grabber || !item)
        return;
    const int index = MarkIndexForListRow(ui->splitList->row(item), ui->splitList->count(),
                                          static_cast<int>(model.marks().size()));
    if (index < 0)
        return;
    grabber->seek(SeekIndexForFrame(model.marks()[static_cast<size_t>(index)], totalFrames));
    rawFrame.release();
    currentFrame = grabber->getPosition();
    frameShown = false;
    UpdateDisplay(true);
    repaint();
}

void Framewright::on_actionClear_Splits_for_this_solve_triggered()
{
    model.clearCurrentSolve();
    AfterMarksChanged();
}

void Framewright::on_actionClear_all_splits_and_solves_triggered()
{
    model.clearAll();
    ResetSolveCombo(1, 0);
    AfterMarksChanged();
}

void Framewright::on_actionUndo_triggered()
{
    if (model.undo()) {
        ShowMessage(tr("Undo"));
        RefreshSplitList();
    }
    UpdateTitle();
}

void Framewright::on_actionRedo_triggered()
{
    if (model.redo()) {
        RefreshSplitList();
        ShowMessage(tr("Redo"));
    }
    UpdateTitle();
}

// ---- solves ----------------------------------------------------------------

void Framewright::on_addSolveButton_clicked()
{
    const int count = model.addSolve();
    {
        const QSignalBlocker blocker(ui->solveCombo);
        ui->solveCombo->addItem(tr("Solve %1").arg(count));
        ui->solveCombo->setCurrentIndex(model.currentSolve());
    }
    AfterMarksChanged();
}

void Framewright::on_removeSolveButton_clicked()
{
    if (model.solves().size() < 2)
        return;
    if (model.currentStoredSolveHasMarks()) {
        const auto answer = QMessageBox::warning(
            this, tr("Remove Solve"), tr("Are you sure you want to remove solve?"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Ok)
            return;
    }
    int next = 0;
    {
        const QSignalBlocker blocker(ui->solveCombo);
        ui->solveCombo->removeItem(ui->solveCombo->currentIndex());
        next = ui->solveCombo->currentIndex();
        model.removeCurrentSolve(next);
        // The combo and the model agree on the current solve even if the
        // combo had no selection left.
        ui->solveCombo->setCurrentIndex(model.currentSolve());
    }
    AfterMarksChanged();
}

void Framewright::on_solveCombo_currentIndexChanged(int index)
{
    if (!model.switchSolve(index))
        return;
    ShowMessage(ui->solveCombo->itemText(index));
    RefreshSplitList();
}

// ---- file and clipboard ----------------------------------------------------

bool Framewright::SaveSplits(const QString &path, bool silent, QString *error)
{
    if (!model.solves().empty())
        model.writeBack();
    SplitsSettings settings;
    settings.appliedCrop = appliedCrop;
    settings.fps = ui->fpsSpin->value();
    settings.rotation = ui->rotateCombo->currentIndex();
    const QByteArray text = SplitsFileText(model.solves(), model.marks(), settings);
    QString reason;
    if (!WriteFileAtomically(path, text, &reason)) {
        if (error)
            *error = reason;
        // The title keeps its "*"; say why, but only once for a failure that
        // repeats on every autosave tick.
        if (!silent)
            ShowMessage(tr("Not saved"));
        if (!silent || reason != lastSaveError)
            statusBar()->showMessage(tr("Could not save \"%1\": %2").arg(path, reason), kStatusMessageMs);
        lastSaveError = reason;
        return false;
    }
    lastSaveError.clear();
    if (!silent)
        ShowMessage(tr("Saved"));
    model.setSaved(true);
    UpdateTitle();
    return true;
}

void Framewright::LoadSplits(const QString &path)
{
    QFile file(SplitsPathFor(path));
    if (!file.open(QIODevice::ReadOnly))
        return;
    model.setSaved(true);
    UpdateTitle();
    const SplitsFileContent content = ParseSplitsFile(file);

    if (content.hasSolves) {
        model.appendSolves(content.solves);
        ResetSolveCombo(static_cast<int>(model.solves().size()), 0);
        RefreshSplitList();
    }
    if (content.cropLine != SplitsFileContent::Crop::Absent) {
        if (content.cropLine == SplitsFileContent::Crop::Present)
            appliedCrop = content.crop;
        ui->cropPreviewCheck->setChecked(true);
    }
    if (content.fps)
        ui->fpsSpin->setValue(*content.fps);
    if (content.rotation)
        ui->rotateCombo->setCurrentIndex(*content.rotation);
}

void Framewright::on_actionSave_triggered()
{
    SaveSplits(SplitsPath(), false);
}

void Framewright::AutoSave()
{
    if (model.saved() || !ui->autosaveCheck->isChecked() || !grabber)
        return;
    SaveSplits(SplitsPath(), true);
    repaint();
}

void Framewright::on_actionCopy_to_Clipboard_triggered()
{
    QGuiApplication::clipboard()->setText(MarksClipboardText(model.marks()));
    ShowMessage(tr("Copied"));
    statusBar()->showMessage(tr("Splits copied to Clipboard"), kStatusMessageMs);
}

void Framewright::on_actionPaste_from_Clipboard_triggered()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    if (!model.paste(ParseClipboardMarks(data->text())))
        return;
    RefreshSplitList();
    ShowMessage(tr("Pasta"));
    UpdateTitle();
}

// ---- menus -----------------------------------------------------------------

void Framewright::on_actionExit_triggered()
{
    QCoreApplication::quit();
}

void Framewright::on_actionCross_Calculator_triggered()
{
    if (!crossCalculatorUi) {
        crossCalculatorDialog = std::make_unique<QDialog>();
        crossCalculatorUi = std::make_unique<Ui::CrossColorCalculator>();
        crossCalculatorUi->setupUi(crossCalculatorDialog.get());
        connect(crossCalculatorUi->computeButton, &QPushButton::clicked, this,
                &Framewright::CrossCalculatorCompute);
        connect(crossCalculatorUi->clipboardButton, &QPushButton::clicked, this,
                &Framewright::CrossCalculatorClipboard);
    }
    crossCalculatorDialog->show();
    crossCalculatorDialog->raise();
    crossCalculatorDialog->exec();
}

void Framewright::CrossCalculatorCompute()
{
    if (!crossCalculatorUi)
        return;
    const auto mode = static_cast<cube::CalculatorMode>(crossCalculatorUi->computeCombo->currentIndex());
    crossCalculatorUi->output->setPlainText(
        cube::calculatorOutput(crossCalculatorUi->solvesEdit->toPlainText(), mode));
}

void Framewright::CrossCalculatorClipboard()
{
    if (!crossCalculatorUi)
        return;
    if (crossCalculatorUi->output->toPlainText().isEmpty())
        CrossCalculatorCompute();
    QGuiApplication::clipboard()->setText(crossCalculatorUi->output->toPlainText());
}

void Framewright::on_actionDB_Analyser_triggered()
{
    dbAnalyser.show();
    dbAnalyser.raise();
}


