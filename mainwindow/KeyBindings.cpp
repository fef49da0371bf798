#include "KeyBindings.h"

#include <QCoreApplication>

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
