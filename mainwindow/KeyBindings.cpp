#include "KeyBindings.h"

#include <QCoreApplication>

#include <utility>

const std::array<KeyBindingSetting, 9> kKeyBindingSettings = {{
    {"KeyPause", &KeyBindings::Pause},
    {"KeyFrameBack", &KeyBindings::FrameBack},
    {"KeyFramePrev", &KeyBindings::FramePrev},
    {"KeyFrameNext", &KeyBindings::FrameNext},
    {"KeyFrameForward", &KeyBindings::FrameForward},
    {"KeyAddMarker", &KeyBindings::AddMarker},
    {"KeyOpenMostRecent", &KeyBindings::OpenMostRecent},
    {"KeyFullscreen", &KeyBindings::Fullscreen},
    {"KeyAddSolve", &KeyBindings::AddSolve},
}};

std::optional<int32_t> BindingCodeForText(const QString &text)
{
    const QByteArray bytes = text.trimmed().toUpper().toUtf8();
    if (bytes.isEmpty())
        return std::nullopt;
    return int32_t(static_cast<signed char>(bytes.at(0)));
}

QString BindingProblem(int32_t code)
{
    if (code < 32 || code > 126)
        return QCoreApplication::translate("KeyBindings", "Only plain keys (letters, digits and signs) can be bound.");
    if (code >= '0' && code <= '9')
        return QCoreApplication::translate("KeyBindings", "The digit keys always jump to a split mark.");
    if (code == 'C')
        return QCoreApplication::translate("KeyBindings", "C always copies the split marks.");
    return QString();
}

KeyCommand KeyCommandFor(int key, Qt::KeyboardModifiers modifiers, const KeyBindings &bindings)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return {KeyAction::GotoMarker, modifiers == Qt::ShiftModifier ? key - 38 : key - 48};
    switch (key) {
    case Qt::Key_Right:
        return {KeyAction::NextMarker};
    case Qt::Key_Left:
        return {KeyAction::PrevMarker};
    case Qt::Key_PageUp:
        return {KeyAction::NextSolve};
    case Qt::Key_PageDown:
        return {KeyAction::PrevSolve};
    default:
        break;
    }
    if (key == Qt::Key_Y && modifiers == Qt::ControlModifier)
        return {KeyAction::Redo};
    // C always copies, even if the settings bind Pause to it.
    if (key == Qt::Key_C)
        return {KeyAction::Copy};
    if (key == bindings.Pause)
        return {KeyAction::TogglePlayback};
    const std::pair<int32_t, KeyAction> bound[] = {
        {bindings.FrameBack, KeyAction::StepBack10},
        {bindings.FramePrev, KeyAction::StepBack1},
        {bindings.FrameNext, KeyAction::StepForward1},
        {bindings.FrameForward, KeyAction::StepForward10},
        {bindings.AddMarker, KeyAction::AddMarker},
        {bindings.OpenMostRecent, KeyAction::OpenMostRecent},
        {bindings.Fullscreen, KeyAction::Fullscreen},
        {bindings.AddSolve, KeyAction::AddSolve},
    };
    for (const auto &[code, action] : bound) {
        if (key == code)
            return {action};
    }
    return {};
}
