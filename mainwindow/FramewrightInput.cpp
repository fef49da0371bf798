// Keyboard: the window's key handling (keys act on release, as they were
// pressed), the bindable keys and the "Set Shortcuts" dialog, the help text.

#include "Framewright.h"

#include "FrameCursor.h"
#include "KeyBindings.h"
#include "KeyStrokes.h"
#include "SettingsStore.h"
#include "ShortcutsDialog.h"
#include "SolveModel.h"
#include "ui_FramewrightWindow.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>

namespace {

// Milliseconds of a monotonic clock, for telling stale auto-repeats apart.
int64_t monotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}

bool isTextField(const QObject *widget)
{
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget);
}

// Keys typed into a text field (the FPS box, a line edit) belong to it.
bool typingIntoTextField()
{
    return isTextField(QApplication::focusWidget());
}

// Ends typing in a text field of `window` when the user clicks anywhere else
// in it: the controls take no focus from a click, so without this the keys
// would stay in the FPS box after a click on a button or the timeline.
class TextFieldFocusReturn : public QObject
{
public:
    TextFieldFocusReturn(QWidget *window, QWidget *keyTarget)
        : QObject(window), window(window), keyTarget(keyTarget)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
            auto *pressed = static_cast<QWidget *>(watched);
            QWidget *focus = QApplication::focusWidget();
            if (isTextField(focus) && pressed->window() == window && pressed != focus && !focus->isAncestorOf(pressed)
                && !(pressed->focusPolicy() & Qt::ClickFocus))
                keyTarget->setFocus(Qt::MouseFocusReason);
        }
        return false;
    }

private:
    QWidget *window;
    QWidget *keyTarget;
};

}  // namespace

void Framewright::SetUpKeyboard()
{
    LoadKeyBindings();
    installEventFilter(this);
    qApp->installEventFilter(new TextFieldFocusReturn(this, ui->displayWidget));
}

bool Framewright::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (HandleKeyPress(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::KeyRelease:
        if (HandleKeyRelease(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == ui->timeLabel) {
            GoToFrameDialog();
            return true;
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Framewright::changeEvent(QEvent *event)
{
    // Releases of keys held while the window loses the focus go elsewhere.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        keyPresses->clear();
        ui->splitRemoveButton->setText(tr("Remove"));
    }
    QMainWindow::changeEvent(event);
}

bool Framewright::HandleKeyPress(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Shift)
        ui->splitRemoveButton->setText(tr("Clear"));
    keyPresses->pressed(event->nativeScanCode(), event->key(), event->modifiers());
    return false;
}

bool Framewright::HandleKeyRelease(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Shift)
        ui->splitRemoveButton->setText(tr("Remove"));
    // The key as it was pressed: Shift or Ctrl may have been let go first.
    const KeyStroke stroke = keyPresses->released(event->nativeScanCode(), event->key(), event->modifiers());
    if (typingIntoTextField())
        return false;
    // The press of a Ctrl or Alt chord was taken by a menu shortcut (Ctrl+A
    // opens the analyser): its release must not step a frame as well.
    if (!stroke.pressSeen && event->nativeScanCode() != 0
        && (stroke.modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const KeyCommand command = KeyCommandFor(stroke.key, stroke.modifiers, *keyBindings);
    if (command.action == KeyAction::None)
        return false;
    // An auto-repeat that queued up while the previous action was running is
    // dropped, so a held key never leaves a backlog behind.
    if (keyRepeats->accept(event->timestamp(), monotonicMs(), event->isAutoRepeat())) {
        RunKeyCommand(command);
        keyRepeats->finished(monotonicMs());
    }
    return true;
}

void Framewright::RunKeyCommand(const KeyCommand &command)
{
    switch (command.action) {
    case KeyAction::None:
        break;
    case KeyAction::GotoMarker:
        GotoMarker(command.markIndex);
        break;
    case KeyAction::NextMarker:
        GotoNextMarker();
        break;
    case KeyAction::PrevMarker:
        GotoPrevMarker();
        break;
    case KeyAction::NextSolve: {
        const int index = std::min(int(model->solves().size()) - 1, model->currentSolve() + 1);
        if (index >= 0)
            ui->solveCombo->setCurrentIndex(index);
        break;
    }
    case KeyAction::PrevSolve:
        ui->solveCombo->setCurrentIndex(std::max(model->currentSolve() - 1, 0));
        break;
    case KeyAction::TogglePlayback:
        TogglePlayback();
        break;
    case KeyAction::Redo:
        on_actionRedo_triggered();
        break;
    case KeyAction::Copy:
        on_actionCopy_to_Clipboard_triggered();
        break;
    case KeyAction::StepBack10:
        Step(-10);
        break;
    case KeyAction::StepBack1:
        Step(-1);
        break;
    case KeyAction::StepForward1:
        Step(1);
        break;
    case KeyAction::StepForward10:
        Step(10);
        break;
    case KeyAction::AddMarker:
        on_splitAddButton_clicked();
        break;
    case KeyAction::OpenMostRecent:
        OpenVideo(QSettings().value(QStringLiteral("mostRecentPath")).toString());
        break;
    case KeyAction::Fullscreen:
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        break;
    case KeyAction::AddSolve:
        on_addSolveButton_clicked();
        break;
    }
}

void Framewright::LoadKeyBindings()
{
    *keyBindings = KeyBindings{};
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    if (!settings.contains(QStringLiteral("KeyPause")))
        return;
    for (const KeyBindingSetting &key : kKeyBindingSettings) {
        int32_t &binding = *keyBindings.*key.member;
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
        settings.setValue(QLatin1String(key.settingsKey), *keyBindings.*key.member);
}

void Framewright::on_actionEdit_Keyboard_Bindings_triggered()
{
    ShortcutsDialog dialog(*keyBindings);
    if (dialog.exec() != QDialog::Accepted)
        return;
    *keyBindings = dialog.bindings();
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
