// Solve database: delimiter choice, quoting pass, record building, parsing,
// solver entries, file loading and hostile input.

#include "SolveDatabase.h"

#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Columns = QMap<int, QString>;

QStringList fieldList(const Columns &columns, int count)
{
    QStringList fields;
    for (int i = 0; i < count; ++i)
        fields.append(columns.value(i));
    return fields;
}

// One database line of `count` fields, empty except `columns`.
QString csvLine(const Columns &columns, int count = 47, QChar delimiter = u',')
{
    return fieldList(columns, count).join(delimiter);
}

QStringList solveIds(const db::SolveDatabase &database)
{
    QStringList ids;
    for (const cube::SolveRecord &record : database.solves)
        ids.append(record.solveId);
    return ids;
}

// The record field filled from `column`, as text (numbers in QString::number form).
QString columnValue(const cube::SolveRecord &r, int column)
{
    switch (column) {
    case 0: return r.solveId;
    case 1: return r.puzzle;
    case 2: return QString::number(r.time);
    case 4: return r.solver;
    case 5: return r.method;
    case 6: return r.crossColour;
    case 32: return r.markUnit;
    case 33: return QString::number(r.fps);
    case 35: return QString::number(r.moveCount);
    case 42: return QString::number(r.crossMoveCountColumn);
    case 44: return r.reconstructor;
    case 45: return r.ollCase;
    case 46: return r.pllAlg;
    default: return (column >= 16 && column <= 28 && column % 2 == 0) ? r.steps.value((column - 16) / 2)
                                                                       : QStringLiteral("<not a column>");
    }
}

}  // namespace

class TestSolveDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chooseDelimiter_data();
    void chooseDelimiter();
    void unquoteFields_data();
    void unquoteFields();
    void columns_data();
    void columns();
    void year_data();
    void year();
    void fieldCount_data();
    void fieldCount();
    void marksAndCommonAnalysis();
    void parseLines_data();
    void parseLines();
    void solverEntries_data();
    void solverEntries();
    void methodAnalysis_data();
    void methodAnalysis();
    void loadFile_data();
    void loadFile();
    void loadFile_unopenable_data();
    void loadFile_unopenable();
    void hostileInput_data();
    void hostileInput();
};

void TestSolveDatabase::chooseDelimiter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("expected");
    QTest::newRow("more commas") << "a,b,c;d" << QChar(u',');
    QTest::newRow("as many commas as semicolons") << "a,b;c" << QChar(u';');
    QTest::newRow("neither") << "abc" << QChar(u';');
    QTest::newRow("quoted commas count too") << "\"a,b\";c" << QChar(u';');
}

void TestSolveDatabase::chooseDelimiter()
{
    QFETCH(QString, text);
    QFETCH(QChar, expected);
    QCOMPARE(db::chooseDelimiter(text), expected);
}

void TestSolveDatabase::unquoteFields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("delimiter");
    QTest::addColumn<QString>("expected");
    QTest::newRow("delimiter inside quotes") << "\"a,b\",c" << QChar(u',') << "a|b,c";
    QTest::newRow("line feed inside quotes") << "\"a\nb\",c\nd" << QChar(u',') << "a|b,c\nd";
    QTest::newRow("tab, CR and semicolon inside; tab outside") << "\"a\tb\rc;d\";e\tf" << QChar(u';')
                                                                << "a|b|c|d;e\tf";
    QTest::newRow("other delimiter inside stays") << "\"a;b\",c" << QChar(u',') << "a;b,c";
    QTest::newRow("doubled quote closes and reopens") << "\"a\"\"b,c\"" << QChar(u',') << "ab|c";
    QTest::newRow("lone quote runs to the end") << "\"a,b\nc" << QChar(u',') << "a|b|c";
}

void TestSolveDatabase::unquoteFields()
{
    QFETCH(QString, text);
    QFETCH(QChar, delimiter);
    QFETCH(QString, expected);
    QCOMPARE(db::unquoteFields(text, delimiter), expected);
}

void TestSolveDatabase::columns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("expected");
    QTest::newRow("solve id trimmed") << 0 << " 1234 " << "1234";
    QTest::newRow("puzzle") << 1 << "3x3\t" << "3x3";
    QTest::newRow("solver keeps inner blanks") << 4 << "  Max Park " << "Max Park";
    QTest::newRow("method") << 5 << "CFOP" << "CFOP";
    QTest::newRow("cross colour") << 6 << " White" << "White";
    QTest::newRow("first step keeps its comment") << 16 << " x2 // inspection " << "x2 // inspection";
    QTest::newRow("seventh step") << 28 << "R U R' U' " << "R U R' U'";
    QTest::newRow("mark unit") << 32 << "Time " << "Time";
    QTest::newRow("reconstructor, CR of a Windows line end") << 44 << "Rec\r" << "Rec";
    QTest::newRow("OLL case") << 45 << " OLL 27" << "OLL 27";
    QTest::newRow("PLL algorithm") << 46 << "Ua-perm " << "Ua-perm";

    QTest::newRow("time") << 2 << " 8.25 " << "8.25";
    QTest::newRow("time just above one second") << 2 << "1.01" << "1.01";
    QTest::newRow("time of one second is a placeholder") << 2 << "1.0" << "99.99";
    QTest::newRow("negative time") << 2 << "-3" << "99.99";
    QTest::newRow("empty time") << 2 << "" << "99.99";
    QTest::newRow("decimal comma") << 2 << "7,5" << "99.99";
    QTest::newRow("infinity text") << 2 << "inf" << "99.99";
    QTest::newRow("beyond float range") << 2 << "1e40" << "99.99";
    QTest::newRow("fps") << 33 << "29.97" << "29.97";
    QTest::newRow("move count") << 35 << "+45" << "45";
    QTest::newRow("fractional move count") << 35 << "4.5" << "0";
    QTest::newRow("move count beyond 32 bits") << 35 << "99999999999" << "0";
    QTest::newRow("cross move count") << 42 << " -7 " << "-7";
}

void TestSolveDatabase::columns()
{
    QFETCH(int, column);
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    const cube::SolveRecord record = db::buildSolveRecord(fieldList({{column, raw}}, 47));
    QCOMPARE(columnValue(record, column), expected);
}

void TestSolveDatabase::year_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<int>("expected");
    QTest::newRow("year first with hyphens") << "2019-05-03" << "x 2017" << 2019;
    QTest::newRow("empty date, text ends in year") << "" << "12/05/2018 " << 2018;
    QTest::newRow("day first with hyphens gives the day") << "03-05-2019" << "" << 3;
    QTest::newRow("day first with slashes is unreadable") << "03/05/2019" << "" << 0;
    QTest::newRow("column 8 shorter than four") << "" << "201" << 0;
}

void TestSolveDatabase::year()
{
    QFETCH(QString, date);
    QFETCH(QString, dateText);
    QFETCH(int, expected);
    const cube::SolveRecord record = db::buildSolveRecord(fieldList({{7, date}, {8, dateText}}, 45));
    QCOMPARE(record.year, expected);
}

void TestSolveDatabase::fieldCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("solveId");
    QTest::addColumn<QString>("ollCase");
    QTest::addColumn<QString>("pllAlg");
    QTest::addColumn<float>("time");
    QTest::newRow("44 fields give an empty record") << 44 << "" << "" << "" << 0.0f;
    QTest::newRow("45 fields, no OLL or PLL column") << 45 << "id7" << "" << "" << 99.99f;
    QTest::newRow("46 fields, OLL column only") << 46 << "id7" << "oll" << "" << 99.99f;
    QTest::newRow("47 fields") << 47 << "id7" << "oll" << "pll" << 99.99f;
}

void TestSolveDatabase::fieldCount()
{
    QFETCH(int, count);
    QFETCH(QString, solveId);
    QFETCH(QString, ollCase);
    QFETCH(QString, pllAlg);
    QFETCH(float, time);
    Columns columns{{0, "id7"}, {45, "oll"}, {46, "pll"}, {50, "extra"}};
    const cube::SolveRecord record = db::buildSolveRecord(fieldList(columns, count));
    QCOMPARE(record.solveId, solveId);
    QCOMPARE(record.ollCase, ollCase);
    QCOMPARE(record.pllAlg, pllAlg);
    QCOMPARE(record.time, time);
}

void TestSolveDatabase::marksAndCommonAnalysis()
{
    // Frame marks 100, 160, 400 at 60 fps: steps of 1 s and 4 s; the later
    // marks stay at 400, so the later steps take 0 s.
    Columns columns{{2, "9.5"}, {15, "100"}, {17, "160"}, {33, "60"}};
    for (int column = 19; column <= 29; column += 2)
        columns[column] = "400";
    for (int step = 0; step < 7; ++step)
        columns[16 + 2 * step] = QStringLiteral("s%1").arg(step);
    const cube::SolveRecord record = db::buildSolveRecord(fieldList(columns, 45));

    const std::array<float, 8> marks{100, 160, 400, 400, 400, 400, 400, 400};
    QCOMPARE(record.marks, marks);
    QCOMPARE(record.steps, QStringList({"s0", "s1", "s2", "s3", "s4", "s5", "s6"}));
    QCOMPARE(record.fps, 60.0f);
    const std::vector<float> stepTimes{1, 4, 0, 0, 0, 0, 0};
    QCOMPARE(record.stepTimes, stepTimes);
    QCOMPARE(record.timeBucket, QStringLiteral("Sub10"));
}

void TestSolveDatabase::parseLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("delimiter");
    QTest::addColumn<QStringList>("ids");
    const QString a = csvLine({{0, "a"}});
    const QString b = csvLine({{0, "b"}});
    QTest::newRow("empty text") << "" << QChar(u',') << QStringList();
    QTest::newRow("header skipped, blank lines skipped") << QString(csvLine({{0, "ID"}}) + "\n" + a + "\n\n" + b + "\n")
                                                         << QChar(u',') << QStringList({"a", "b"});
    QTest::newRow("any line starting with ID is a header") << QString(csvLine({{0, "IDEA"}}) + "\n" + a) << QChar(u',')
                                                           << QStringList({"a"});
    QTest::newRow("lower-case id is data") << csvLine({{0, "id"}}) << QChar(u',') << QStringList({"id"});
    QTest::newRow("44 fields skipped, 45 read") << QString(csvLine({{0, "short"}}, 44) + "\n" + csvLine({{0, "ok"}}, 45))
                                                << QChar(u',') << QStringList({"ok"});
    QTest::newRow("quoted comma stays in its field") << QString("\"x,y\"" + csvLine({{1, "3x3"}})) << QChar(u',')
                                                     << QStringList({"x|y"});
    QTest::newRow("quoted line feed keeps one record") << QString("\"x\ny\"" + csvLine({})) << QChar(u',')
                                                       << QStringList({"x|y"});
    QTest::newRow("Windows line ends") << QString(a + "\r\n" + b + "\r\n") << QChar(u',') << QStringList({"a", "b"});
    QTest::newRow("semicolon file") << QString(csvLine({{0, "s"}}, 45, u';') + "\n" + a) << QChar(u';')
                                    << QStringList({"s"});
}

void TestSolveDatabase::parseLines()
{
    QFETCH(QString, text);
    QFETCH(QChar, delimiter);
    QFETCH(QStringList, ids);
    const db::SolveDatabase database = db::parseDatabase(text, delimiter);
    QCOMPARE(solveIds(database), ids);
}

void TestSolveDatabase::solverEntries_data()
{
    QTest::addColumn<QStringList>("solvers");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("no solves") << QStringList() << QStringList({"All"});
    QTest::newRow("by count, then name descending")
        << QStringList({"Anna", "Bob", "Carl", "Dora", "Bob", "Carl", "Dora", "Dora", "Bob", "Carl", "Anna"})
        << QStringList({"All", "Dora [3]", "Carl [3]", "Bob [3]", "Anna [2]"});
    // 'b' (0x62) sorts after 'B' (0x42), 'É' (0xC9) after 'Z'.
    QTest::newRow("code-unit order, case-sensitive") << QStringList({"Bob", "bob", "Zed", "\u00C9mile"})
                                                     << QStringList({"All", "\u00C9mile [1]", "bob [1]", "Zed [1]",
                                                                     "Bob [1]"});
    QTest::newRow("name with a percent sign stays") << QStringList({"50%1"}) << QStringList({"All", "50%1 [1]"});
    QTest::newRow("empty solver name") << QStringList({""}) << QStringList({"All", " [1]"});
}

void TestSolveDatabase::solverEntries()
{
    QFETCH(QStringList, solvers);
    QFETCH(QStringList, expected);
    QStringList lines;
    for (const QString &solver : solvers)
        lines.append(csvLine({{4, solver}}));
    QCOMPARE(db::parseDatabase(lines.join(u'\n'), u',').solverEntries, expected);
}

void TestSolveDatabase::methodAnalysis_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("pairCount");
    QTest::addColumn<QString>("eolrName");
    // The CFOP analysis always gives four pair entries; the Roux analysis
    // names an empty EOLR step "Skip".
    QTest::newRow("CFOP") << "CFOP" << 4 << "";
    QTest::newRow("Roux") << "Roux" << 0 << "Skip";
    QTest::newRow("ZZ keeps the common analysis only") << "ZZ" << 0 << "";
    QTest::newRow("method is case-sensitive") << "cfop" << 0 << "";
}

void TestSolveDatabase::methodAnalysis()
{
    QFETCH(QString, method);
    QFETCH(int, pairCount);
    QFETCH(QString, eolrName);
    const db::SolveDatabase database = db::parseDatabase(csvLine({{5, method}, {2, "8"}}), u',');
    QCOMPARE(database.solves.size(), size_t(1));
    QCOMPARE(int(database.solves[0].pairTimes.size()), pairCount);
    QCOMPARE(database.solves[0].eolrName, eolrName);
}

void TestSolveDatabase::loadFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("solvers");
    QTest::addColumn<float>("time");
    QTest::newRow("empty file") << QByteArray() << QStringList() << 0.0f;
    QTest::newRow("UTF-8 name, comma file")
        << csvLine({{2, "7.25"}, {4, "J\u00E9r\u00F4me"}}).toUtf8() << QStringList({"J\u00E9r\u00F4me"}) << 7.25f;
    // The semicolon wins the count, so the decimal comma splits nothing and
    // the time reads as unparsable.
    QTest::newRow("semicolon file with decimal comma")
        << csvLine({{2, "7,25"}, {4, "Ann"}}, 45, u';').toUtf8() << QStringList({"Ann"}) << 99.99f;
    QTest::newRow("byte order mark before the header")
        << QByteArray("\xEF\xBB\xBF" + csvLine({{0, "ID"}, {4, "Solver"}}).toUtf8() + "\n"
                      + csvLine({{2, "6"}, {4, "Ann"}}).toUtf8())
        << QStringList({"Ann"}) << 6.0f;
    QTest::newRow("invalid UTF-8 becomes replacement character")
        << QByteArray(QByteArray(",,5,,Ren\xE9") + QByteArray(40, ',')) << QStringList({"Ren\uFFFD"}) << 5.0f;
}

void TestSolveDatabase::loadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, solvers);
    QFETCH(float, time);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("db.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    QString error;
    const std::optional<db::SolveDatabase> database = db::loadDatabaseFile(path, &error);
    QVERIFY(database.has_value());
    QStringList loaded;
    for (const cube::SolveRecord &record : database->solves)
        loaded.append(record.solver);
    QCOMPARE(loaded, solvers);
    if (!database->solves.empty())
        QCOMPARE(database->solves[0].time, time);
}

void TestSolveDatabase::loadFile_unopenable_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << "missing.csv";
    QTest::newRow("directory") << ".";
    QTest::newRow("empty path") << "";
}

void TestSolveDatabase::loadFile_unopenable()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = name.isEmpty() ? QString() : dir.filePath(name);
    QString error;
    QVERIFY(!db::loadDatabaseFile(path, &error).has_value());
    QVERIFY(!error.isEmpty());
}

void TestSolveDatabase::hostileInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expectedSolves");  // -1: any number

    QRandomGenerator random(20240611);
    for (int seed = 0; seed < 4; ++seed) {
        QByteArray noise(200000, '\0');
        for (char &byte : noise)
            byte = char(random.bounded(256));
        QTest::addRow("random bytes %d", seed) << noise << -1;
    }
    QByteArray withNul = csvLine({{0, "nX"}}).toUtf8();
    withNul[1] = '\0';
    QTest::newRow("NUL byte in a field") << withNul << 1;
    QTest::newRow("lone quote swallows the rest")
        << QString(csvLine({{0, "a"}}) + "\n\"" + csvLine({{0, "b"}}) + "\n" + csvLine({})).toUtf8() << 1;
    QTest::newRow("50 MB of delimiters in one line") << QByteArray(50 * 1024 * 1024, ',') << 1;
    QTest::newRow("50 MB line without delimiter") << QByteArray(50 * 1024 * 1024, 'x') << 0;
    QTest::newRow("ragged lines") << QByteArray(QByteArray(3, ',') + "\n" + QByteArray(44, ',') + "\n;;\n") << 1;
    QTest::newRow("cross step of a megabyte")
        << csvLine({{5, "CFOP"}, {16, QStringLiteral("R U R' U' ").repeated(100000)}}).toUtf8() << 1;
}

void TestSolveDatabase::hostileInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expectedSolves);
    QElapsedTimer timer;
    timer.start();
    const QString text = QString::fromUtf8(bytes);
    const db::SolveDatabase database = db::parseDatabase(text, db::chooseDelimiter(text));
    // Linear work takes well under a second here even in a debug build; a
    // quadratic step would take hours.
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
    if (expectedSolves >= 0)
        QCOMPARE(int(database.solves.size()), expectedSolves);
    QCOMPARE(database.solverEntries.value(0), QStringLiteral("All"));
}

QTEST_GUILESS_MAIN(TestSolveDatabase)
#include "tst_solvedatabase.moc"
