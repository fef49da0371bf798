#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The nine user-bindable keys, as Qt key codes (for letters and digits the
// upper-case character's code), in this order.
struct KeyBindings
{
    int32_t Pause = 32;           // Space
    int32_t FrameBack = 81;       // Q
    int32_t FramePrev = 65;       // A
    int32_t FrameNext = 68;       // D
    int32_t FrameForward = 69;    // E
    int32_t AddMarker = 77;       // M
    int32_t OpenMostRecent = 79;  // O
    int32_t Fullscreen = 70;      // F
    int32_t AddSolve = 43;        // +

    friend bool operator==(const KeyBindings &, const KeyBindings &) = default;
};

// A binding and its settings key, for loading and saving in order.
struct KeyBindingSetting
{
    const char *settingsKey;
    int32_t KeyBindings::*member;
};
extern const std::array<KeyBindingSetting, 9> kKeyBindingSettings;

// The key code a text typed for a binding stands for: the first byte of its
// trimmed, upper-cased UTF-8 form. nullopt for an empty text (keep the old binding).
std::optional<int32_t> BindingCodeForText(const QString &text);

// Why `code` cannot be a binding, or an empty text when it can: keys the
// window always handles itself (digits, C) would never reach the binding, and
// characters outside ASCII produce no key code.
QString BindingProblem(int32_t code);
