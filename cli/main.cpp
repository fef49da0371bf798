// framewright-cli: the headless face of Framewright's analysis and frame tools.

#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("framewright-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FRAMEWRIGHT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Command-line tools of Framewright, the speedsolve video study program."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("Command to run."));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    std::fprintf(stderr, "framewright-cli: unknown command \"%s\"\n%s", qPrintable(args.first()),
                 qPrintable(parser.helpText()));
    return 2;
}
