// Solve database: delimiter choice, quoting pass, record building, parsing,
// solver entries and file loading, hostile input included.

#include "SolveDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

using Columns = QMap<int, QString>;
using Ints = QList<int>;

// One database line of `count` fields, empty except `columns`.
QStringList fieldList(const Columns &columns, int count)
{
    QStringList fields;
    for (int i = 0; i < count; ++i)
        fields.append(columns.value(i));
    return fields;
}

QString csvLine(const Columns &columns, int count = 47, QChar delimiter = u',')
{
    return fieldList(columns, count).join(delimiter);
}

// Not columns: values the record computes.
enum { kYear = -1, kMarks = -2, kStepTimes = -3, kBucket = -4 };

template<typename Numbers>
QString joined(const Numbers &numbers)
{
    QStringList list;
    for (float n : numbers)
        list.append(QString::number(n));
    return list.join(u' ');
}

// The record field filled from `column`, as text (numbers in QString::number form).
QString columnValue(const cube::SolveRecord &r, int column)
{
    switch (column) {
    case kYear: return QString::number(r.year);
    case kMarks: return joined(r.marks);
    case kStepTimes: return joined(r.stepTimes);
    case kBucket: return r.timeBucket;
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

void recordRow(const char *name, const Columns &columns, int count, const Ints &read, const QString &expected)
{
    QTest::newRow(name) << columns << count << read << expected;
}

// Pieces of hostile and ordinary fields, as bytes: numbers in every form the
// reading must treat as Qt does, non-ASCII white space, invalid UTF-8 at a
// field's end, byte order marks inside the file, quotes (also across lines).
const QList<QByteArray> kPieces = {
    "", " ", "12.5", "\xC2\xA0" "12.5", " 7 ", "+3", "+-3", "1e3", "inf", "nan", "-0", "2019-05-01", "x 2017",
    "\xD9\xA3", "\xC3\xA9", "\xE2\x82", "\xF0\x9F", "\xEF\xBB\xBF" "Ann", "\"a,b\"", "\"x\ny\"", "\r", "ID",
    "R U R' U' // pair", "y R U2 R' // OLL 27", "U2 // PLL", "\t4.5\t", "1 2", "\xE3\x80\x80" "9", "1.5e-2",
    "99999999999", "0x10", "3.", ".5", "Time", "30",
};

QList<QByteArray> randomFields(QRandomGenerator &random, int fields)
{
    QList<QByteArray> parts;
    for (int i = 0; i < fields; ++i)
        parts.append(kPieces.at(random.bounded(int(kPieces.size()))));
    return parts;
}

QByteArray randomLine(QRandomGenerator &random, int fields)
{
    return randomFields(random, fields).join(',');
}

// The reading of one file by the documented rules, spelt out with Qt alone:
// decode the whole text, unquote, split, trim, convert with QString.
struct ReferenceRecord
{
    QStringList texts;  // columns 0, 1, 4, 5, 16-28 (even), 32, 44, 45, 46
    QList<float> floats;  // time (placeholder applied), marks, fps
    QList<int> ints;      // year, move count, cross move count
};

float referenceFloat(const QString &field)
{
    bool ok = false;
    const float value = field.trimmed().toFloat(&ok);
    return ok && std::isfinite(value) ? value : 0.0f;
}

int referenceInt(const QString &field)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok);
    return ok ? value : 0;
}

QList<ReferenceRecord> referenceRead(const QByteArray &bytes)
{
    const QString text = db::unquoteFields(QString::fromUtf8(bytes), u',');
    QList<ReferenceRecord> records;
    for (const QString &line : text.split(u'\n')) {
        if (line.startsWith(u"ID"))
            continue;
        const QStringList f = line.split(u',');
        if (f.size() < 45)
            continue;
        const auto at = [&f](int column) { return f.value(column).trimmed(); };
        ReferenceRecord r;
        for (int column : {0, 1, 4, 5, 16, 18, 20, 22, 24, 26, 28, 32, 44, 45, 46})
            r.texts.append(at(column));
        const float time = referenceFloat(at(2));
        r.floats.append(time <= 1.0f ? 99.99f : time);
        for (int column = 15; column <= 29; column += 2)
            r.floats.append(referenceFloat(at(column)));
        r.floats.append(referenceFloat(at(33)));
        const QString date = at(7);
        const qsizetype dash = date.indexOf(u'-');
        int year = referenceInt(dash < 0 ? date : date.left(dash));
        if (year == 0 && at(8).size() >= 4)
            year = referenceInt(at(8).right(4));
        r.ints << year << referenceInt(at(35)) << referenceInt(at(42));
        records.append(r);
    }
    return records;
}

ReferenceRecord readBack(const cube::SolveRecord &r)
{
    ReferenceRecord read;
    read.texts << r.solveId << r.puzzle << r.solver << r.method;
    read.texts += r.steps;
    read.texts << r.markUnit << r.reconstructor << r.ollCase << r.pllAlg;
    read.floats.append(r.time);
    read.floats += QList<float>(r.marks.begin(), r.marks.end());
    read.floats.append(r.fps);
    read.ints << r.year << r.moveCount << r.crossMoveCountColumn;
    return read;
}

// Readable text of a record's values for a failure message.
QString describe(const ReferenceRecord &r)
{
    QStringList numbers;
    for (float value : r.floats)
        numbers.append(QString::number(value));
    for (int value : r.ints)
        numbers.append(QString::number(value));
    return r.texts.join(u'|') + QStringLiteral(" / ") + numbers.join(u' ');
}

}  // namespace

class TestSolveDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void delimiterAndQuotes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");  // empty: the choice of delimiter is tested
        QTest::addColumn<QString>("expected");
        QTest::newRow("choose: more commas") << "a,b,c;d" << "" << ",";
        QTest::newRow("choose: tie goes to the semicolon") << "a,b;c" << "" << ";";
        QTest::newRow("choose: neither") << "abc" << "" << ";";
        QTest::newRow("choose: quoted commas count too") << "\"a,b\";c" << "" << ";";
        QTest::newRow("delimiter inside quotes") << "\"a,b\",c" << "," << "a|b,c";
        QTest::newRow("line feed inside quotes") << "\"a\nb\",c\nd" << "," << "a|b,c\nd";
        QTest::newRow("tab, CR and semicolon inside; tab outside") << "\"a\tb\rc;d\";e\tf" << ";" << "a|b|c|d;e\tf";
        QTest::newRow("other delimiter inside stays") << "\"a;b\",c" << "," << "a;b,c";
        QTest::newRow("doubled quote closes and reopens") << "\"a\"\"b,c\"" << "," << "ab|c";
        QTest::newRow("lone quote runs to the end") << "\"a,b\nc" << "," << "a|b|c";
    }

    void delimiterAndQuotes()
    {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(QString, expected);
        QCOMPARE(delimiter.isEmpty() ? QString(db::chooseDelimiter(text)) : db::unquoteFields(text, delimiter[0]),
                 expected);
    }

    // A record built from `count` fields, empty except `columns`; the fields
    // read back from `read`, joined by "|".
    void buildRecord_data()
    {
        QTest::addColumn<Columns>("columns");
        QTest::addColumn<int>("count");
        QTest::addColumn<Ints>("read");
        QTest::addColumn<QString>("expected");
        recordRow("id, puzzle, solver trimmed", {{0, " 1234 "}, {1, "3x3\t"}, {4, "  Max Park "}}, 47, {0, 1, 4},
                  "1234|3x3|Max Park");
        recordRow("method, cross colour", {{5, "CFOP"}, {6, " White"}}, 47, {5, 6}, "CFOP|White");
        recordRow("steps keep their comments", {{16, " x2 // inspection "}, {28, "R U R' U' "}}, 47, {16, 28},
                  "x2 // inspection|R U R' U'");
        recordRow("mark unit, reconstructor with a Windows CR", {{32, "Time "}, {44, "Rec\r"}}, 47, {32, 44}, "Time|Rec");
        recordRow("OLL case, PLL algorithm", {{45, " OLL 27"}, {46, "Ua-perm "}}, 47, {45, 46}, "OLL 27|Ua-perm");
        recordRow("time", {{2, " 8.25 "}}, 47, {2}, "8.25");
        recordRow("time just above one second", {{2, "1.01"}}, 47, {2}, "1.01");
        // One second, negative, empty, decimal comma, infinity, beyond float range.
        for (const char *time : {"1.0", "-3", "", "7,5", "inf", "1e40"})
            QTest::addRow("placeholder time '%s'", time) << Columns{{2, time}} << 47 << Ints{2} << "99.99";
        recordRow("fps", {{33, "29.97"}}, 47, {33}, "29.97");
        recordRow("move counts", {{35, "+45"}, {42, " -7 "}}, 47, {35, 42}, "45|-7");
        recordRow("fractional move count", {{35, "4.5"}}, 47, {35}, "0");
        recordRow("move count beyond 32 bits", {{35, "99999999999"}}, 47, {35}, "0");

        recordRow("year first with hyphens", {{7, "2019-05-03"}, {8, "x 2017"}}, 45, {kYear}, "2019");
        recordRow("empty date, text ends in year", {{8, "12/05/2018 "}}, 45, {kYear}, "2018");
        recordRow("day first with hyphens gives the day", {{7, "03-05-2019"}}, 45, {kYear}, "3");
        recordRow("day first with slashes is unreadable", {{7, "03/05/2019"}}, 45, {kYear}, "0");
        recordRow("column 8 of exactly four", {{8, "2016"}}, 45, {kYear}, "2016");
        recordRow("column 8 shorter than four", {{8, "201"}}, 45, {kYear}, "0");

        // Frame marks 100, 160, 400 at 60 fps: steps of 1 s and 4 s; the later
        // marks stay at 400, so the later steps take 0 s.
        Columns marked{{2, "9.5"}, {15, "100"}, {17, "160"}, {33, "60"}};
        for (int step = 0; step < 7; ++step) {
            marked[16 + 2 * step] = QStringLiteral("s%1").arg(step);
            marked[19 + 2 * step] = "400";
        }
        recordRow("marks and step times", marked, 45, {kMarks, kStepTimes, 33, kBucket, 16, 28},
                  "100 160 400 400 400 400 400 400|1 4 0 0 0 0 0|60|Sub10|s0|s6");

        const Columns all{{0, "id7"}, {45, "oll"}, {46, "pll"}, {50, "extra"}};
        recordRow("44 fields give an empty record", all, 44, {0, 45, 46, 2}, "|||0");
        recordRow("45 fields, no OLL or PLL column", all, 45, {0, 45, 46, 2}, "id7|||99.99");
        recordRow("46 fields, OLL column only", all, 46, {0, 45, 46, 2}, "id7|oll||99.99");
        recordRow("47 fields", all, 47, {0, 45, 46, 2}, "id7|oll|pll|99.99");
    }

    void buildRecord()
    {
        QFETCH(Columns, columns);
        QFETCH(int, count);
        QFETCH(Ints, read);
        QFETCH(QString, expected);
        const cube::SolveRecord record = db::buildSolveRecord(fieldList(columns, count));
        QStringList values;
        for (int column : read)
            values.append(columnValue(record, column));
        QCOMPARE(values.join(u'|'), expected);
    }

    // Parsed records as id:pair entries:EOLR name, and the solver entries when given.
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("delimiter");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("entries");
        const QString a = csvLine({{0, "a"}});
        const QString b = csvLine({{0, "b"}});
        const auto row = [](const char *name, const QString &text, const QStringList &records, QChar delimiter = u',') {
            QTest::newRow(name) << text << delimiter << records << QStringList();
        };
        row("empty text", "", {});
        row("header skipped, blank lines skipped", csvLine({{0, "ID"}}) + "\n" + a + "\n\n" + b + "\n", {"a:0:", "b:0:"});
        row("any line starting with ID is a header", csvLine({{0, "IDEA"}}) + "\n" + a, {"a:0:"});
        row("lower-case id is data", csvLine({{0, "id"}}), {"id:0:"});
        row("44 fields skipped, 45 read", csvLine({{0, "short"}}, 44) + "\n" + csvLine({{0, "ok"}}, 45), {"ok:0:"});
        row("quoted comma stays in its field", "\"x,y\"" + csvLine({{1, "3x3"}}), {"x|y:0:"});
        row("quoted line feed keeps one record", "\"x\ny\"" + csvLine({}), {"x|y:0:"});
        row("Windows line ends", a + "\r\n" + b + "\r\n", {"a:0:", "b:0:"});
        row("semicolon file", csvLine({{0, "s"}}, 45, u';') + "\n" + a, {"s:0:"}, u';');
        // The CFOP analysis always gives four pair entries; the Roux analysis
        // names an empty EOLR step "Skip"; other methods get the common analysis only.
        const auto solve = [](const char *method) { return csvLine({{0, "m"}, {2, "8"}, {5, method}}); };
        row("CFOP", solve("CFOP"), {"m:4:"});
        row("Roux", solve("Roux"), {"m:0:Skip"});
        row("ZZ", solve("ZZ"), {"m:0:"});
        row("method is case-sensitive", solve("cfop"), {"m:0:"});

        const auto solvers = [](const char *name, const QStringList &names, const QStringList &entries) {
            QStringList lines;
            for (const QString &solver : names)
                lines.append(csvLine({{4, solver}}));
            QTest::newRow(name) << lines.join(u'\n') << QChar(u',') << QStringList(names.size(), ":0:") << entries;
        };
        solvers("solvers: none", {}, {"All"});
        solvers("solvers: by count, then name descending",
                {"Anna", "Bob", "Carl", "Dora", "Bob", "Carl", "Dora", "Dora", "Bob", "Carl", "Anna"},
                {"All", "Dora [3]", "Carl [3]", "Bob [3]", "Anna [2]"});
        // 'b' (0x62) sorts after 'B' (0x42), 'É' (0xC9) after 'Z'.
        solvers("solvers: code-unit order, case-sensitive", {"Bob", "bob", "Zed", "\u00C9mile"},
                {"All", "\u00C9mile [1]", "bob [1]", "Zed [1]", "Bob [1]"});
        solvers("solvers: name with a percent sign stays", {"50%1"}, {"All", "50%1 [1]"});
        solvers("solvers: empty name", {""}, {"All", " [1]"});
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QChar, delimiter);
        QFETCH(QStringList, records);
        QFETCH(QStringList, entries);
        const db::SolveDatabase database = db::parseDatabase(text, delimiter);
        QStringList parsed;
        for (const cube::SolveRecord &r : database.solves)
            parsed.append(QStringLiteral("%1:%2:%3").arg(r.solveId).arg(r.cfop->pairTimes.size()).arg(r.roux->eolrName));
        QCOMPARE(parsed, records);
        if (!entries.isEmpty())
            QCOMPARE(database.solverEntries, entries);
    }

    // Loading from a file, hostile input included: the solve count, then the
    // solver and time of the first solve; empty: no database; "*": any count.
    void loadFile_data()
    {
        QTest::addColumn<QString>("name");  // empty: `bytes` written to a file
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing file") << "missing.csv" << QByteArray() << "";
        QTest::newRow("directory") << "." << QByteArray() << "";
        QTest::newRow("empty path") << "/" << QByteArray() << "";
        QTest::newRow("empty file") << "" << QByteArray() << "0";
        QTest::newRow("UTF-8 name, comma file")
            << "" << csvLine({{2, "7.25"}, {4, "J\u00E9r\u00F4me"}}).toUtf8() << "1 J\u00E9r\u00F4me 7.25";
        // The semicolon wins the count, so the decimal comma splits nothing and
        // the time reads as unparsable.
        QTest::newRow("semicolon file with decimal comma")
            << "" << csvLine({{2, "7,25"}, {4, "Ann"}}, 45, u';').toUtf8() << "1 Ann 99.99";
        QTest::newRow("byte order mark before the header")
            << "" << QByteArray("\xEF\xBB\xBF" + csvLine({{0, "ID"}, {4, "Solver"}}).toUtf8() + "\n"
                                + csvLine({{2, "6"}, {4, "Ann"}}).toUtf8())
            << "1 Ann 6";
        QTest::newRow("invalid UTF-8 becomes replacement character")
            << "" << QByteArray(QByteArray(",,5,,Ren\xE9") + QByteArray(40, ',')) << "1 Ren\uFFFD 5";
        QRandomGenerator random(20240611);
        for (int seed = 0; seed < 4; ++seed) {
            QByteArray noise(200000, '\0');
            for (char &byte : noise)
                byte = char(random.bounded(256));
            QTest::addRow("random bytes %d", seed) << "" << noise << "*";
        }
        QByteArray withNul = csvLine({{0, "nX"}}).toUtf8();
        withNul[1] = '\0';
        QTest::newRow("NUL byte in a field") << "" << withNul << "1  99.99";
        QTest::newRow("lone quote swallows the rest")
            << "" << QString(csvLine({{0, "a"}}) + "\n\"" + csvLine({{0, "b"}}) + "\n" + csvLine({})).toUtf8()
            << "1  99.99";
        QTest::newRow("50 MB of delimiters in one line") << "" << QByteArray(50 * 1024 * 1024, ',') << "1  99.99";
        QTest::newRow("50 MB line without delimiter") << "" << QByteArray(50 * 1024 * 1024, 'x') << "0";
        QTest::newRow("ragged lines") << "" << QByteArray(QByteArray(3, ',') + "\n" + QByteArray(44, ',') + "\n;;\n")
                                      << "1  99.99";
        QTest::newRow("cross step of a megabyte")
            << "" << csvLine({{2, "8"}, {5, "CFOP"}, {16, QStringLiteral("R U R' U' ").repeated(100000)}}).toUtf8()
            << "1  8";
    }

    void loadFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = name == "/" ? QString() : dir.filePath(name.isEmpty() ? "db.csv" : name);
        if (name.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), bytes.size());
        }
        QString error;
        QElapsedTimer timer;
        timer.start();
        const std::optional<db::SolveDatabase> database = db::loadDatabaseFile(path, &error);
        // Linear work takes well under a second here even in a debug build; a
        // quadratic step would take hours.
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
        QCOMPARE(error.isEmpty(), database.has_value());
        if (!database || expected == "*") {
            QCOMPARE(database.has_value(), !expected.isEmpty());
            return;
        }
        QString loaded = QString::number(database->solves.size());
        if (!database->solves.empty())
            loaded += ' ' + database->solves[0].solver + ' ' + QString::number(database->solves[0].time);
        QCOMPARE(loaded, expected);
        QCOMPARE(database->solverEntries.value(0), QStringLiteral("All"));
    }
    // Fields are cut from the file's bytes and decoded one by one; that must
    // read every line as decoding the whole text first would.
    void bytesReadAsTheDecodedText()
    {
        QRandomGenerator random(7041);
        QByteArray bytes;
        for (int line = 0; line < 600; ++line)
            bytes += randomLine(random, 44 + random.bounded(6)) + (random.bounded(5) == 0 ? "\r\n" : "\n");
        QTemporaryDir dir;
        const QString path = dir.filePath("db.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        const std::optional<db::SolveDatabase> database = db::loadDatabaseFile(path);
        QVERIFY(database);
        const QList<ReferenceRecord> expected = referenceRead(bytes);
        QCOMPARE(database->solves.size(), size_t(expected.size()));
        QVERIFY(expected.size() > 100);  // the pieces must not make most lines vanish
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const ReferenceRecord read = readBack(database->solves[size_t(i)]);
            QVERIFY2(read.texts == expected[i].texts && read.floats == expected[i].floats && read.ints == expected[i].ints,
                     qPrintable(QStringLiteral("record %1: read %2, expected %3")
                                    .arg(i).arg(describe(read), describe(expected[i]))));
        }
    }

    // Chunks on several threads give the serial result, record for record,
    // whatever the count; progress only grows and ends at the line count.
    void threadsGiveTheSerialResult()
    {
        QRandomGenerator random(99);
        QByteArray bytes;
        const QList<QByteArray> methods = {"CFOP", "Roux", "ZZ", "CFOP"};
        while (bytes.size() < 5 * 1024 * 1024) {
            QList<QByteArray> fields = randomFields(random, 47);
            fields[2] = QByteArray::number(5 + random.bounded(10));
            fields[4] = "Solver" + QByteArray::number(random.bounded(30));
            fields[5] = methods.at(random.bounded(4));
            bytes += fields.join(',') + '\n';
            if (random.bounded(50) == 0)
                bytes += "ID,header\n\n";
        }
        const db::SolveDatabase serial = db::parseDatabaseUtf8(bytes, ',', {}, 1);
        QVERIFY(serial.solves.size() > 10000);
        for (int threads : {2, 3, 8}) {
            QList<qint64> reports;
            qint64 total = -1;
            const db::SolveDatabase parallel = db::parseDatabaseUtf8(bytes, ',', [&](qint64 read, qint64 lines) {
                reports.append(read);
                total = lines;
            }, threads);
            QCOMPARE(parallel.solves.size(), serial.solves.size());
            for (size_t i = 0; i < serial.solves.size(); ++i) {
                if (!(parallel.solves[i] == serial.solves[i]))
                    QFAIL(qPrintable(QStringLiteral("%1 threads: record %2 differs").arg(threads).arg(i)));
            }
            QCOMPARE(parallel.solverEntries, serial.solverEntries);
            QVERIFY(std::is_sorted(reports.begin(), reports.end()));
            // Lines as they are after the quoting pass.
            QCOMPARE(total, qint64(db::unquoteFields(QString::fromUtf8(bytes), u',').count(u'\n')) + 1);
            QCOMPARE(reports.last(), total);
            QVERIFY(reports.size() > 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestSolveDatabase)
#include "tst_solvedatabase.moc"
