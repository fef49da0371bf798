#pragma once

#include <QString>
#include <QtCore/qnamespace.h>

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

// What a key typed in the main window does.
enum class KeyAction {
    None,
    GotoMarker,  // jump to the mark `markIndex`
    NextMarker,
    PrevMarker,
    NextSolve,
    PrevSolve,
    TogglePlayback,
    Redo,
    Copy,
    StepBack10,
    StepBack1,
    StepForward1,
    StepForward10,
    AddMarker,
    OpenMostRecent,
    Fullscreen,
    AddSolve,
};

struct KeyCommand
{
    KeyAction action = KeyAction::None;
    int markIndex = 0;  // for GotoMarker
    friend bool operator==(const KeyCommand &, const KeyCommand &) = default;
};

// The command of a key typed with `modifiers` (as held when it was
// pressed). The fixed keys come first, so a binding equal to one of them
// (a digit, an arrow, Page Up/Down, C) never fires: digits jump to marks 0-9
// (10-19 with exactly Shift, for layouts whose digits need Shift), Right and
// Left to the next and previous mark, Page Up / Page Down to the next and
// previous solve, Ctrl+Y redoes, C (with any modifiers) copies the marks;
// then the bindings, Pause first.
KeyCommand KeyCommandFor(int key, Qt::KeyboardModifiers modifiers, const KeyBindings &bindings);
