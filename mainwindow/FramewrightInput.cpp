// Keyboard and mouse: the event filter's dispatch, the bindable keys and the
// "Set Shortcuts" dialog, and the help text.

#include "Framewright.h"

#include "SettingsStore.h"
#include "ui_FramewrightWindow.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

bool Framewright::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Shift)
            ui->splitRemoveButton->setText(tr("Clear"));
        break;
    case QEvent::KeyRelease:
        if (HandleKeyRelease(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    default:
        break;
    }

    if (watched == ui->timeLabel && event->type() == QEvent::MouseButtonDblClick) {
        GoToFrameDialog();
        return true;
    }
    if (watched == ui->timelineWidget
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)) {
        if (SeekFromTimeline(static_cast<QMouseEvent *>(event)))
            return true;
    }
    if (watched == ui->displayWidget) {
        switch (event->type()) {
        case QEvent::Resize:
            RefreshDisplayPixmap();
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            DisplayMouseEvent(event);
            break;
        default:
            break;
        }
    }
    if (event->type() == QEvent::Paint) {
        if (watched == ui->displayWidget) {
            PaintDisplay();
            return true;
        }
        if (watched == ui->timelineWidget) {
            PaintTimeline();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Framewright::HandleKeyRelease(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (key == Qt::Key_Shift)
        ui->splitRemoveButton->setText(tr("Remove"));

    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        // Shift reaches marks 10 to 19 (layouts whose digits need Shift deliver digit codes too).
        GotoMarker(modifiers == Qt::ShiftModifier ? key - 38 : key - 48);
        return true;
    }
    if (key == Qt::Key_Right) {
        GotoNextMarker();
        return true;
    }
    if (key == Qt::Key_Left) {
        GotoPrevMarker();
        return true;
    }
    if (key == Qt::Key_PageUp) {
        const int index = std::min(int(model.solves().size()) - 1, model.currentSolve() + 1);
        if (index >= 0)
            ui->solveCombo->setCurrentIndex(index);
        return true;
    }
    if (key == Qt::Key_PageDown) {
        ui->solveCombo->setCurrentIndex(std::max(model.currentSolve() - 1, 0));
        return true;
    }
    if (key == keyBindings.Pause) {
        TogglePlayback();
        return true;
    }
    if (key == Qt::Key_Y && modifiers == Qt::ControlModifier) {
        on_actionRedo_triggered();
        return true;
    }
    if (key == Qt::Key_C) {
        on_actionCopy_to_Clipboard_triggered();
        return true;
    }
    if (key == keyBindings.FrameBack) {
        Step(-10);
        return true;
    }
    if (key == keyBindings.FramePrev) {
        Step(-1);
        return true;
    }
    if (key == keyBindings.FrameNext) {
        Step(1);
        return true;
    }
    if (key == keyBindings.FrameForward) {
        Step(10);
        return true;
    }
    if (key == keyBindings.AddMarker) {
        on_splitAddButton_clicked();
        return true;
    }
    if (key == keyBindings.OpenMostRecent) {
        OpenVideo(QSettings().value(QStringLiteral("mostRecentPath")).toString());
        return true;
    }
    if (key == keyBindings.Fullscreen) {
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        return true;
    }
    if (key == keyBindings.AddSolve) {
        on_addSolveButton_clicked();
        return true;
    }
    return false;
}

void Framewright::LoadKeyBindings()
{
    keyBindings = KeyBindings{};
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    if (!settings.contains(QStringLiteral("KeyPause")))
        return;
    for (const KeyBindingSetting &key : kKeyBindingSettings) {
        int32_t &binding = keyBindings.*key.member;
        bool ok = false;
        const int value = settings.value(QLatin1String(key.settingsKey), binding).toInt(&ok);
        if (ok)
            binding = value;
    }
}

void Framewright::SaveKeyBindings()
{
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    for (const KeyBindingSetting &key : kKeyBindingSettings)
        settings.setValue(QLatin1String(key.settingsKey), keyBindings.*key.member);
}

void Framewright::on_actionEdit_Keyboard_Bindings_triggered()
{
    struct Row
    {
        const char *label;
        int32_t KeyBindings::*member;
    };
    static const Row rows[] = {
        {QT_TR_NOOP("Add Split Mark"), &KeyBindings::AddMarker},
        {QT_TR_NOOP("Add Solve"), &KeyBindings::AddSolve},
        {QT_TR_NOOP("Back 10 frames"), &KeyBindings::FrameBack},
        {QT_TR_NOOP("Back 1 frame"), &KeyBindings::FramePrev},
        {QT_TR_NOOP("Forward 1 frame"), &KeyBindings::FrameNext},
        {QT_TR_NOOP("Forward 10 frames"), &KeyBindings::FrameForward},
        {QT_TR_NOOP("Open Most recent"), &KeyBindings::OpenMostRecent},
        {QT_TR_NOOP("Full Screen"), &KeyBindings::Fullscreen},
    };

    QDialog dialog;
    dialog.setObjectName(QStringLiteral("SetShortcutsDialog"));
    dialog.setWindowTitle(tr("Set Shortcuts"));
    auto *layout = new QVBoxLayout(&dialog);
    std::vector<QLineEdit *> edits;
    for (const Row &row : rows) {
        auto *line = new QWidget(&dialog);
        auto *lineLayout = new QHBoxLayout(line);
        lineLayout->addWidget(new QLabel(tr(row.label), line));
        auto *edit = new QLineEdit(QString(QChar(char16_t(uchar(keyBindings.*row.member & 0xff)))), line);
        edit->setObjectName(QString::fromLatin1(row.label));
        lineLayout->addWidget(edit);
        layout->addWidget(line);
        edits.push_back(edit);
    }
    auto *buttons = new QWidget(&dialog);
    auto *buttonLayout = new QHBoxLayout(buttons);
    auto *save = new QPushButton(tr("Save Changes"), buttons);
    auto *cancel = new QPushButton(tr("Cancel"), buttons);
    buttonLayout->addWidget(save);
    buttonLayout->addWidget(cancel);
    layout->addWidget(buttons);
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    KeyBindings chosen = keyBindings;
    connect(save, &QPushButton::clicked, &dialog, [&] {
        // A key that the window always handles itself, or that no key
        // produces, would never fire: refuse it and keep the dialog open.
        KeyBindings candidate = keyBindings;
        for (size_t i = 0; i < edits.size(); ++i) {
            const std::optional<int32_t> code = BindingCodeForText(edits[i]->text());
            if (!code)
                continue;
            const QString problem = BindingProblem(*code);
            if (!problem.isEmpty()) {
                QMessageBox::warning(&dialog, tr("Set Shortcuts"),
                                     tr("\"%1\" cannot be used for %2. %3")
                                         .arg(edits[i]->text().trimmed(), tr(rows[i].label), problem));
                edits[i]->setFocus();
                edits[i]->selectAll();
                return;
            }
            candidate.*rows[i].member = *code;
        }
        chosen = candidate;
        dialog.accept();
    });

    if (dialog.exec() != QDialog::Accepted)
        return;
    keyBindings = chosen;
    SaveKeyBindings();
}

void Framewright::on_actionDisplay_Help_triggered()
{
    const QStringList lines = {
        tr("Dbl-clicks"),
        tr("On image: hide/show interface"),
        tr("On split: go to frame"),
        QString(),
        tr("Checkboxes:"),
        tr("Funky codecs \u2013 in case video wont load"),
        tr("30 fps \u2013 instead of 25fps"),
        tr("Activate Crop \u2013 set crop rectangle first"),
        QString(),
        tr("Drag & Drop:"),
        tr("Video File \u2013 Open file"),
        tr("Splits File (*.splits.txt) \u2013 Load splits"),
        QString(),
        tr("Fixed Keyboard Shortcuts"),
        tr("Ctrl+Z \u2013 Undo"),
        tr("Ctrl+Shift+Z or Ctrl+Y \u2013 Redo"),
        tr("Ctrl+C \u2013 Copy splits to clipboard"),
        tr("Ctrl+V \u2013 Paste splits from clipboard"),
        tr("Left/Right arrows \u2013 Goto Prev/Next Marker"),
        tr("+ \u2013 Add Solve"),
        tr("Ctrl+S \u2013 Save splits to [InputFile].splits.txt"),
        tr("Ctrl+O \u2013 Open video"),
    };
    QMessageBox::about(this, tr("Keyboard Shortcuts"), lines.join(QLatin1Char('\n')));
}
