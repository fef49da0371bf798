#pragma once

#include <QDialog>

// Window of the solve database analyser. One instance lives as long as the
// main window (without a parent, so it is a top-level window of its own) so
// that a loaded database stays loaded between showings.
class DBAnalyser : public QDialog
{
    Q_OBJECT

public:
    explicit DBAnalyser(QWidget *parent = nullptr);
    ~DBAnalyser() override;
};
