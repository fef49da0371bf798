// Split marks and solves: adding, removing and updating marks, the solves,
// undo and redo, the splits file and the marks on the clipboard.

#include "Framewright.h"

#include "DisplayWidget.h"
#include "FrameCursor.h"
#include "SolveModel.h"
#include "SplitsFile.h"
#include "TimeText.h"
#include "ui_FramewrightWindow.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalBlocker>
#include <QStatusBar>

namespace {

// How long the status bar shows a save failure or the copied splits, in ms.
constexpr int kStatusMessageMs = 5000;

}  // namespace

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

// ---- marks -----------------------------------------------------------------

void Framewright::on_splitAddButton_clicked()
{
    const int index = model->addMark(player->currentFrame);
    ShowMessage(QStringLiteral("%1").arg(index));
    RefreshSplitList();
    UpdateTitle();
}

void Framewright::on_splitRemoveButton_clicked()
{
    const bool clearAll = QGuiApplication::keyboardModifiers() == Qt::ShiftModifier;
    if (model->removeMark(ui->splitList->currentRow(), clearAll))
        AfterMarksChanged();
}

void Framewright::on_splitUpdateButton_clicked()
{
    if (model->updateMark(ui->splitList->currentRow(), player->currentFrame))
        AfterMarksChanged();
}

void Framewright::on_splitList_itemDoubleClicked(QListWidgetItem *item)
{
    if (!player->hasSource() || !item)
        return;
    const int index = MarkIndexForListRow(ui->splitList->row(item), ui->splitList->count(),
                                          static_cast<int>(model->marks().size()));
    if (index >= 0)
        player->seekToIndex(model->marks()[static_cast<size_t>(index)] - 1);
}

void Framewright::on_actionClear_Splits_for_this_solve_triggered()
{
    model->clearCurrentSolve();
    AfterMarksChanged();
}

void Framewright::on_actionClear_all_splits_and_solves_triggered()
{
    model->clearAll();
    ResetSolveCombo(1, 0);
    AfterMarksChanged();
}

void Framewright::on_actionUndo_triggered()
{
    if (model->undo()) {
        ShowMessage(tr("Undo"));
        RefreshSplitList();
    }
    UpdateTitle();
}

void Framewright::on_actionRedo_triggered()
{
    if (model->redo()) {
        RefreshSplitList();
        ShowMessage(tr("Redo"));
    }
    UpdateTitle();
}

// ---- solves ----------------------------------------------------------------

void Framewright::on_addSolveButton_clicked()
{
    const int count = model->addSolve();
    {
        const QSignalBlocker blocker(ui->solveCombo);
        ui->solveCombo->addItem(tr("Solve %1").arg(count));
        ui->solveCombo->setCurrentIndex(model->currentSolve());
    }
    AfterMarksChanged();
}

void Framewright::on_removeSolveButton_clicked()
{
    if (model->solves().size() < 2)
        return;
    if (model->currentStoredSolveHasMarks()) {
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
        model->removeCurrentSolve(next);
        // The combo and the model agree on the current solve even if the
        // combo had no selection left.
        ui->solveCombo->setCurrentIndex(model->currentSolve());
    }
    AfterMarksChanged();
}

void Framewright::on_solveCombo_currentIndexChanged(int index)
{
    if (!model->switchSolve(index))
        return;
    ShowMessage(ui->solveCombo->itemText(index));
    RefreshSplitList();
}

// ---- file and clipboard ----------------------------------------------------

bool Framewright::SaveSplits(const QString &path, bool silent, QString *error)
{
    if (!model->solves().empty())
        model->writeBack();
    SplitsSettings settings;
    settings.appliedCrop = ui->displayWidget->appliedCrop;
    settings.fps = ui->fpsSpin->value();
    settings.rotation = ui->rotateCombo->currentIndex();
    const QByteArray text = SplitsFileText(model->solves(), model->marks(), settings);
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
    model->setSaved(true);
    UpdateTitle();
    return true;
}

void Framewright::LoadSplits(const QString &path)
{
    QFile file(SplitsPathFor(path));
    if (!file.open(QIODevice::ReadOnly))
        return;
    model->setSaved(true);
    UpdateTitle();
    const SplitsFileContent content = ParseSplitsFile(file);

    if (content.hasSolves) {
        model->appendSolves(content.solves);
        ResetSolveCombo(static_cast<int>(model->solves().size()), 0);
        RefreshSplitList();
    }
    if (content.cropLine != SplitsFileContent::Crop::Absent) {
        if (content.cropLine == SplitsFileContent::Crop::Present)
            ui->displayWidget->appliedCrop = content.crop;
        ui->cropPreviewCheck->setChecked(true);
        Update();
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
    if (model->saved() || !ui->autosaveCheck->isChecked() || !player->hasSource())
        return;
    SaveSplits(SplitsPath(), true);
}

void Framewright::on_actionCopy_to_Clipboard_triggered()
{
    QGuiApplication::clipboard()->setText(MarksClipboardText(model->marks()));
    ShowMessage(tr("Copied"));
    statusBar()->showMessage(tr("Splits copied to Clipboard"), kStatusMessageMs);
}

void Framewright::on_actionPaste_from_Clipboard_triggered()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    if (!model->paste(ParseClipboardMarks(data->text())))
        return;
    RefreshSplitList();
    ShowMessage(tr("Pasta"));
    UpdateTitle();
}
