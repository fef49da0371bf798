#pragma once

#include <QString>

#include <optional>

// The text another X client gets when it pastes the CLIPBOARD selection:
// asked of the server as UTF8_STRING on an Xlib connection of its own, the
// way a program pasting does. Qt's QClipboard::text() answers from the
// program's own memory while it owns the selection, so it cannot tell
// whether the text really reached the X server.
//
// The owner may be this very program, which answers from its event loop:
// Qt's event loop is spun while waiting. nullopt, with the reason in
// `error`, when there is no owner, it sends no text, or it does not answer
// within `timeoutMs`.
std::optional<QString> clipboardTextFromAnotherClient(int timeoutMs, QString *error = nullptr);
