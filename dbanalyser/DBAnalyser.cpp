#include "DBAnalyser.h"

DBAnalyser::DBAnalyser(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DBAnalyser"));
    setWindowTitle(tr("Solvebank Analyser"));
    resize(764, 470);
}

DBAnalyser::~DBAnalyser() = default;
