#include "ShortcutsDialog.h"

#include "ui_ShortcutsDialog.h"

#include <QLabel>
#include <QMessageBox>

ShortcutsDialog::ShortcutsDialog(const KeyBindings &current, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::ShortcutsDialog>())
    , chosen(current)
{
    ui->setupUi(this);
    rows = {
        {ui->addMarkerEdit, &KeyBindings::AddMarker},
        {ui->addSolveEdit, &KeyBindings::AddSolve},
        {ui->frameBackEdit, &KeyBindings::FrameBack},
        {ui->framePrevEdit, &KeyBindings::FramePrev},
        {ui->frameNextEdit, &KeyBindings::FrameNext},
        {ui->frameForwardEdit, &KeyBindings::FrameForward},
        {ui->openMostRecentEdit, &KeyBindings::OpenMostRecent},
        {ui->fullscreenEdit, &KeyBindings::Fullscreen},
    };
    for (const Row &row : rows)
        row.edit->setText(QString(QChar(char16_t(uchar(current.*row.member & 0xff)))));
    connect(ui->saveButton, &QPushButton::clicked, this, &ShortcutsDialog::trySave);
}

ShortcutsDialog::~ShortcutsDialog() = default;

void ShortcutsDialog::trySave()
{
    KeyBindings candidate = chosen;
    for (const Row &row : rows) {
        const std::optional<int32_t> code = BindingCodeForText(row.edit->text());
        if (!code)
            continue;
        const QString problem = BindingProblem(*code);
        if (!problem.isEmpty()) {
            // The row's label names the binding in the user's language.
            const auto *label = qobject_cast<QLabel *>(row.edit->parentWidget()->layout()->itemAt(0)->widget());
            QMessageBox::warning(this, windowTitle(),
                                 tr("\"%1\" cannot be used for %2. %3")
                                     .arg(row.edit->text().trimmed(), label ? label->text() : QString(), problem));
            row.edit->setFocus();
            row.edit->selectAll();
            return;
        }
        candidate.*row.member = *code;
    }
    chosen = candidate;
    accept();
}
