#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the framewright-cli the test was built with (FRAMEWRIGHT_CLI_PATH).
namespace testmedia {

struct CliResult
{
    int exitCode = -1;  // -1 when it crashed or did not finish in time
    QString out;
    QString err;
};

inline CliResult runCli(const QStringList &args, int timeoutMs = 120000)
{
    QProcess process;
    process.start(QStringLiteral(FRAMEWRIGHT_CLI_PATH), args);
    if (!process.waitForFinished(timeoutMs))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace testmedia
