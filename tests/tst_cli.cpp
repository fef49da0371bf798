// framewright-cli from the outside: arguments, input, output bytes, exit codes.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result runProgram(const QString &program, const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Result runCli(const QStringList &args, const QByteArray &input = QByteArray())
{
    return runProgram(QStringLiteral(FRAMEWRIGHT_CLI_PATH), args, input);
}

QString dataFile(const char *name)
{
    return QStringLiteral(FRAMEWRIGHT_TEST_DATA) + QLatin1Char('/') + QLatin1String(name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing " + path.toUtf8() + '>');
}

}  // namespace

class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void calc_data();
    void calc();
    void usageErrors_data();
    void usageErrors();
    void unreadableFiles();
    void dbPipeline_data();
    void dbPipeline();
    void dbConvert();
    void dbConvert_undefinedInput_data();
    void dbConvert_undefinedInput();
    void withoutVideoModule_videoCommandsFailAndTheRestWork();
};

void TestCli::calc_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("moves, CRLF and lone CR") << QStringLiteral("moves") << QByteArray("R U R' U'\r\nU2\rx R U")
                                             << QByteArray("4\n0\n2\n");
    QTest::newRow("moves, trailing line feed adds a row") << QStringLiteral("moves") << QByteArray("R U\n")
                                                          << QByteArray("2\n0\n");
    QTest::newRow("moves, empty input") << QStringLiteral("moves") << QByteArray() << QByteArray("0\n");
    QTest::newRow("cross colours") << QStringLiteral("cross") << QByteArray("x2\nz'\nR U R' F")
                                   << QByteArray("White\nOrange\nYellow\n");
    QTest::newRow("cross, empty input") << QStringLiteral("cross") << QByteArray() << QByteArray("Yellow\n");
    QTest::newRow("f2l, empty input") << QStringLiteral("f2l") << QByteArray() << QByteArray("\t\t\t\n");
    QTest::newRow("ll, empty input") << QStringLiteral("ll") << QByteArray()
                                     << QByteArray("\t\t\t\t0\t0\t0\t3\n");
    QTest::newRow("quoted multi-line cell is one row") << QStringLiteral("moves")
                                                       << QByteArray("\"R U\nR' U'\"\nF") << QByteArray("4\n0\n");
}

void TestCli::calc()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    const Result result = runCli({QStringLiteral("calc"), mode}, input);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);

    // The same text from a file.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rows.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(input);
    file.close();
    QCOMPARE(runCli({QStringLiteral("calc"), mode, path}).out, expected);
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("calc without mode") << QStringList{QStringLiteral("calc")};
    QTest::newRow("calc unknown mode") << QStringList{QStringLiteral("calc"), QStringLiteral("oll")};
    QTest::newRow("db without file") << QStringList{QStringLiteral("db"), QStringLiteral("--list")};
    QTest::newRow("db without output") << QStringList{QStringLiteral("db"), dataFile("small.csv")};
    QTest::newRow("db two outputs") << QStringList{QStringLiteral("db"), dataFile("small.csv"),
                                                   QStringLiteral("--list"), QStringLiteral("--stats")};
    QTest::newRow("db bad filter type") << QStringList{QStringLiteral("db"), dataFile("small.csv"),
                                                       QStringLiteral("--filter"), QStringLiteral("Colour:Red"),
                                                       QStringLiteral("--list")};
    QTest::newRow("db bad filter param") << QStringList{QStringLiteral("db"), dataFile("small.csv"),
                                                        QStringLiteral("--filter"), QStringLiteral("Time:Sub3"),
                                                        QStringLiteral("--list")};
    QTest::newRow("db option without value") << QStringList{QStringLiteral("db"), dataFile("small.csv"),
                                                            QStringLiteral("--list"), QStringLiteral("--method")};
    QTest::newRow("db method not in the box") << QStringList{QStringLiteral("db"), dataFile("small.csv"),
                                                             QStringLiteral("--method"), QStringLiteral("cfop"),
                                                             QStringLiteral("--list")};
    QTest::newRow("db filter type None") << QStringList{QStringLiteral("db"), dataFile("small.csv"),
                                                        QStringLiteral("--filter"), QStringLiteral("None:Sub4"),
                                                        QStringLiteral("--list")};
    QTest::newRow("db-convert two files") << QStringList{QStringLiteral("db-convert"), QStringLiteral("a"),
                                                         QStringLiteral("b")};
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, args);
    const Result result = runCli(args);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains("Usage:"), result.err.constData());
}

void TestCli::unreadableFiles()
{
    const QString missing = QDir::temp().filePath(QStringLiteral("framewright-no-such-file.csv"));
    for (const QStringList &args : {QStringList{QStringLiteral("calc"), QStringLiteral("moves"), missing},
                                    QStringList{QStringLiteral("db"), missing, QStringLiteral("--stats")},
                                    QStringList{QStringLiteral("db-convert"), missing}}) {
        const Result result = runCli(args);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains("cannot read"), result.err.constData());
    }
}

void TestCli::dbPipeline_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expectedFile");
    // Each expected file was checked field by field against the analysis rules.
    QTest::newRow("list, fastest first") << QStringList{QStringLiteral("--list")} << QStringLiteral("small.list.txt");
    QTest::newRow("summary") << QStringList{QStringLiteral("--stats")} << QStringLiteral("small.stats.txt");
    QTest::newRow("common table") << QStringList{QStringLiteral("--table"), QStringLiteral("--no-moves")}
                                  << QStringLiteral("small.any.tsv");
    QTest::newRow("CFOP table") << QStringList{QStringLiteral("--method"), QStringLiteral("CFOP"),
                                               QStringLiteral("--table"), QStringLiteral("--no-moves")}
                                << QStringLiteral("small.cfop.tsv");
    QTest::newRow("Roux table") << QStringList{QStringLiteral("--method"), QStringLiteral("Roux"),
                                               QStringLiteral("--table"), QStringLiteral("--no-moves")}
                                << QStringLiteral("small.roux.tsv");
    QTest::newRow("one solver with move usage")
        << QStringList{QStringLiteral("--puzzle"), QStringLiteral("3x3"), QStringLiteral("--solver"),
                       QStringLiteral("Bob"), QStringLiteral("--table")}
        << QStringLiteral("small.bob-moves.tsv");
}

void TestCli::dbPipeline()
{
    QFETCH(QStringList, options);
    QFETCH(QString, expectedFile);
    const Result result = runCli(QStringList{QStringLiteral("db"), dataFile("small.csv")} + options);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, readFile(dataFile(expectedFile.toLatin1().constData())));
}

void TestCli::dbConvert()
{
    const QByteArray table =
        "R U F2 D' scramble text\n"
        "ignored line\n"
        "y2 R D // cross\n"
        "U R U' R' // 1st pair\n"
        "L' U L // 2nd pair\n"
        "R U R' // 3rd pair\n"
        "y L' U' L // 4th pair\n"
        "R U2 R' // OLL\n"
        "U // AUF\n"
        "Step\tTime\n"
        "header of the time table\n"
        "Cross\t1.50\n"
        "F2L 1\t0.80\n"
        "F2L 2\t0.70\n"
        "F2L 3\t0.60\n"
        "F2L 4\t0.90\n"
        "OLL\t1.00\n";
    // Marks run up from 0; the move count leaves the first step out:
    // 4 + 3 + 3 + 3 (y is no move) + 3 + 0 (a single token) = 16.
    const QByteArray expected =
        "R U F2 D' scramble text"
        "\ty2 R D // cross\t0"
        "\tU R U' R' // 1st pair\t1.500"
        "\tL' U L // 2nd pair\t2.300"
        "\tR U R' // 3rd pair\t3.000"
        "\ty L' U' L // 4th pair\t3.600"
        "\tR U2 R' // OLL\t4.500"
        "\tU // AUF\t5.500"
        "\t\t0\t\t0\tTime\t30\t\t16\n";
    const Result result = runCli({QStringLiteral("db-convert")}, table);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);

    // Six step lines gain an empty first step: the six land after it.
    QByteArray six = table;
    six.replace("y2 R D // cross\n", "");
    const Result shifted = runCli({QStringLiteral("db-convert")}, six);
    QCOMPARE(shifted.exitCode, 0);
    QVERIFY2(shifted.out.startsWith("R U F2 D' scramble text\t\t0\tU R U' R' // 1st pair\t1.500\t"),
             shifted.out.constData());
    QVERIFY2(shifted.out.endsWith("\tTime\t30\t\t16\n"), shifted.out.constData());
}

void TestCli::dbConvert_undefinedInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no Step line") << QByteArray("a\nb\nR U\nL' U L\n");
    QTest::newRow("short time table") << QByteArray("a\nb\nR U\nR' U'\nStep\tTime\nh\nCross\t1.0\nF2L\t2.0\n");
}

void TestCli::dbConvert_undefinedInput()
{
    QFETCH(QByteArray, input);
    const Result result = runCli({QStringLiteral("db-convert")}, input);
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.out.isEmpty());
    QVERIFY(!result.err.isEmpty());
}

void TestCli::withoutVideoModule_videoCommandsFailAndTheRestWork()
{
    // The tool alone, without the module that holds the frame commands.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("framewright-cli"));
    QVERIFY(QFile::copy(QStringLiteral(FRAMEWRIGHT_CLI_PATH), program));

    const Result db = runProgram(program, {QStringLiteral("db"), dataFile("small.csv"), QStringLiteral("--stats")});
    QCOMPARE(db.exitCode, 0);
    QCOMPARE(db.out, runCli({QStringLiteral("db"), dataFile("small.csv"), QStringLiteral("--stats")}).out);

    for (const char *command : {"probe", "frame", "frames", "gif", "export", "ocr"}) {
        const Result result = runProgram(program, {QLatin1String(command), dataFile("small.csv")});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains("framewright-cli-video.so, which cannot be loaded"), result.err.constData());
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
