#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CrossColorCalculator;
}

// The Cross and F2L calculator: reconstruction rows pasted from a
// spreadsheet in, one answer row each out (tab-separated, for pasting back).
class CrossCalculatorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CrossCalculatorDialog(QWidget *parent = nullptr);
    ~CrossCalculatorDialog() override;

    // The calculator's form (the pasted text, the mode, the answer).
    Ui::CrossColorCalculator &form() { return *crossCalculatorUi; }

public Q_SLOTS:
    // Answers the pasted rows in the chosen mode.
    void compute();
    // Puts the answer on the clipboard, computing it first when there is none.
    void copyToClipboard();

private:
    std::unique_ptr<Ui::CrossColorCalculator> crossCalculatorUi;
};
