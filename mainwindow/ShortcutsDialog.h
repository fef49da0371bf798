#pragma once

#include "KeyBindings.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ShortcutsDialog;
}

class QLineEdit;

// "Set Shortcuts": one line per bindable key (all but Pause) showing the
// bound character. "Save Changes" accepts only bindings that can fire: a key
// the window always handles itself (a digit, C) or a character no key
// produces is refused with the reason, and the dialog stays open. An emptied
// line keeps its old binding.
class ShortcutsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ShortcutsDialog(const KeyBindings &current, QWidget *parent = nullptr);
    ~ShortcutsDialog() override;

    // The bindings as accepted (the ones given, until "Save Changes" succeeds).
    const KeyBindings &bindings() const { return chosen; }

private:
    void trySave();

    std::unique_ptr<Ui::ShortcutsDialog> ui;
    KeyBindings chosen;
    struct Row
    {
        QLineEdit *edit;
        int32_t KeyBindings::*member;
    };
    std::vector<Row> rows;
};
