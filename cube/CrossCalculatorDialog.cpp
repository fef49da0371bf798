#include "CrossCalculatorDialog.h"

#include "Calculator.h"
#include "ui_CrossColorCalculator.h"

#include <QClipboard>
#include <QGuiApplication>

CrossCalculatorDialog::CrossCalculatorDialog(QWidget *parent)
    : QDialog(parent)
    , crossCalculatorUi(std::make_unique<Ui::CrossColorCalculator>())
{
    crossCalculatorUi->setupUi(this);
    connect(crossCalculatorUi->computeButton, &QPushButton::clicked, this, &CrossCalculatorDialog::compute);
    connect(crossCalculatorUi->clipboardButton, &QPushButton::clicked, this, &CrossCalculatorDialog::copyToClipboard);
}

CrossCalculatorDialog::~CrossCalculatorDialog() = default;

void CrossCalculatorDialog::compute()
{
    const auto mode = static_cast<cube::CalculatorMode>(crossCalculatorUi->computeCombo->currentIndex());
    crossCalculatorUi->output->setPlainText(cube::calculatorOutput(crossCalculatorUi->solvesEdit->toPlainText(), mode));
}

void CrossCalculatorDialog::copyToClipboard()
{
    if (crossCalculatorUi->output->toPlainText().isEmpty())
        compute();
    QGuiApplication::clipboard()->setText(crossCalculatorUi->output->toPlainText());
}
