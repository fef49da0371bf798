// Tests of the capture frame source on clips generated at test time, one per
// codec and container, whose every frame shows its own index: counts, reading
// in order, exact seeks and steps, the loop at the end, and the frame count
// read from an AVI file's main header.

#include "AviGrabber.h"
#include "TestClips.h"

#include <QFile>
#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>

using testmedia::kClipFrames;

using testmedia::readNext;

namespace {

#define OPEN_CLIP(grabber, file)                                                                  \
    const std::string grabber##Path = QFile::encodeName(testmedia::clipPath(file)).toStdString(); \
    if (grabber##Path.empty())                                                                    \
        QSKIP("encoder not available");                                                           \
    AviGrabber grabber(grabber##Path)

// The start of an AVI file: RIFF header, "LIST" "hdrl" and a main header
// whose dwTotalFrames (at byte 48) is `totalFrames`, followed by no stream.
QByteArray fakeAvi(quint32 totalFrames, const char *form = "AVI ", const char *mainChunk = "avih")
{
    const auto le = [](quint32 v) {
        v = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char *>(&v), 4);
    };
    return "RIFF" + le(1000) + form + "LIST" + le(68) + "hdrl" + mainChunk + le(56) + le(40000) + le(0) + le(0)
           + le(0x10) + le(totalFrames) + QByteArray(36, '\0');
}

// Runs `action` with the standard output going into `path`; returns what it printed.
template<typename Action>
QByteArray captureStdout(const QString &path, Action action)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    action();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestAviGrabber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(testmedia::haveFfmpeg(), "ffmpeg is needed to generate the test clips"); }

    void readsInOrderAndLoops_data() { addClipRows(); }
    void readsInOrderAndLoops()
    {
        QFETCH(QString, file);
        QFETCH(int, countSlack);
        OPEN_CLIP(grabber, file);
        const int count = grabber.getFrameCount();
        QVERIFY2(std::abs(count - kClipFrames) <= countSlack, qPrintable(QString::number(count)));
        QCOMPARE(grabber.getFps(), float(testmedia::kClipFps));
        QCOMPARE(grabber.getSize().width, testmedia::kClipWidth);
        QCOMPARE(grabber.getSize().height, testmedia::kClipHeight);
        QCOMPARE(grabber.getPosition(), 0);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(readNext(grabber), i);
            QCOMPARE(grabber.getPosition(), i + 1);
        }
        QCOMPARE(readNext(grabber), 0);
        QCOMPARE(grabber.getPosition(), 1);
        QCOMPARE(readNext(grabber), 1);
        grabber.seek(count - 1);
        QCOMPARE(readNext(grabber), count - 1);
        QCOMPARE(grabber.getPosition(), count);
        QCOMPARE(readNext(grabber), 0);
        // A seek past the end stops at the last frame.
        grabber.seek(count + 50);
        QCOMPARE(grabber.getPosition(), count - 1);
        QCOMPARE(readNext(grabber), count - 1);
        QCOMPARE(readNext(grabber), 0);
        QCOMPARE(grabber.getPosition(), 1);
    }
    void seeksToFrames_data() { addClipRows(); }
    void seeksToFrames()
    {
        QFETCH(QString, file);
        OPEN_CLIP(grabber, file);
        // Every frame of the first key-frame intervals, each by a seek backwards:
        // where a container cannot seek into its first interval the capture
        // lands on the next key frame.
        for (int index = 60; index >= 0; --index) {
            grabber.seek(index);
            QCOMPARE(readNext(grabber), index);
            QCOMPARE(grabber.getPosition(), index + 1);
        }
        AviGrabber random(grabberPath);
        const int count = random.getFrameCount();
        std::mt19937 generator(20240611);
        std::uniform_int_distribution<int> target(0, count - 1);
        for (int i = 0; i < 30; ++i) {
            const int index = target(generator);
            random.seek(index);
            QCOMPARE(random.getPosition(), index);
            QCOMPARE(readNext(random), index);
            QCOMPARE(random.getPosition(), index + 1);
            QCOMPARE(readNext(random), index + 1 < count ? index + 1 : 0);
        }
        // The last frames, each by a freshly opened source.
        for (int index = count - 3; index < count; ++index) {
            AviGrabber fresh(grabberPath);
            fresh.seek(index);
            QCOMPARE(readNext(fresh), index);
            QCOMPARE(fresh.lastRead(), ReadResult::Delivered);
        }
    }
    void stepsLikeTheWindow_data() { addClipRows(); }
    void stepsLikeTheWindow()
    {
        QFETCH(QString, file);
        OPEN_CLIP(grabber, file);
        const int count = grabber.getFrameCount();
        // The window stands just after the frame on display: one frame back is
        // skip(-2), ten back skip(-11), ten forward skip(9); each is followed by
        // a read. The forward steps run into the end and stop at the last frame.
        const int steps[] = {-2, -2, -2, 9, 9, -11, -2, 9, -11, -11, -11, -11, -11, -11, -2, 9, 9, 9,
                             9,  9,  9,  9, 9, 9,   9,  9, 9,   9,   9,   9,   -2,  -2,  9, -11, -2};
        grabber.seek(60);
        QCOMPARE(readNext(grabber), 60);
        for (const int step : steps) {
            const int expected = std::clamp(grabber.getPosition() + step, 0, count - 1);
            grabber.skip(step);
            QCOMPARE(grabber.getPosition(), expected);
            QCOMPARE(readNext(grabber), expected);
            QCOMPARE(grabber.getPosition(), expected + 1);
        }
        // Frame read first, skip, position after it, frame read next; negative
        // numbers count from the end.
        const int edges[][4] = {{10, -1, 10, 10}, {10, 1, 12, 12},   {40, 0, 41, 41},
                                {-6, 100, -1, -1}, {5, -100, 0, 0}, {-1, -11, -11, -11}};
        const auto fromEnd = [count](int index) { return index < 0 ? count + index : index; };
        for (const auto &edge : edges) {
            grabber.seek(fromEnd(edge[0]));
            QCOMPARE(readNext(grabber), fromEnd(edge[0]));
            grabber.skip(edge[1]);
            QCOMPARE(grabber.getPosition(), fromEnd(edge[2]));
            QCOMPARE(readNext(grabber), fromEnd(edge[3]));
            QCOMPARE(grabber.getPosition(), fromEnd(edge[3]) + 1);
        }
    }
    void overstatedCountEndsAtTheLastFrame_data()
    {
        QTest::addColumn<int>("seekTo"); // -1: read from the start
        QTest::newRow("reading on from the last real frame") << -1;
        QTest::newRow("seeking to the last real frame") << kClipFrames - 1;
        QTest::newRow("seeking into the overstated tail") << kClipFrames + 2;
    }
    // With an audio stream that outlasts the video, a Matroska file's duration
    // promises a few frames more than there are.
    void overstatedCountEndsAtTheLastFrame()
    {
        QFETCH(int, seekTo);
        OPEN_CLIP(grabber, QStringLiteral("audio-first.mkv"));
        QVERIFY2(grabber.getFrameCount() > kClipFrames, qPrintable(QString::number(grabber.getFrameCount())));
        if (seekTo < 0) {
            for (int i = 0; i < kClipFrames; ++i)
                QCOMPARE(readNext(grabber), i);
        } else {
            grabber.seek(seekTo);
            if (seekTo < kClipFrames)
                QCOMPARE(readNext(grabber), seekTo);
        }
        // No empty frame at the end: the true end is found and reading loops.
        QCOMPARE(readNext(grabber), 0);
        QCOMPARE(grabber.getPosition(), 1);
        QCOMPARE(grabber.getFrameCount(), kClipFrames);
        grabber.skip(1000);
        QCOMPARE(grabber.getPosition(), kClipFrames - 1);
        QCOMPARE(readNext(grabber), kClipFrames - 1);
    }
    void countFromAviHeader_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file
        QTest::addColumn<int>("expectedCount"); // -1: no answer
        QTest::newRow("AVI main header telling 1234 frames") << fakeAvi(1234) << 1234;
        QTest::newRow("same bytes without RIFF") << QByteArray(fakeAvi(1234)).replace(0, 4, "JUNK") << 0;
        QTest::newRow("RIFF WAVE file") << fakeAvi(1234, "WAVE") << 0;
        QTest::newRow("RIFF AVI whose first chunk is not avih") << fakeAvi(1234, "AVI ", "strh") << 0;
        QTest::newRow("AVI header telling 0 frames") << fakeAvi(0) << 0;
        QTest::newRow("count beyond the signed range") << fakeAvi(0xffffffffu) << -2;
        QTest::newRow("file shorter than the header") << fakeAvi(1234).left(50) << 0;
        QTest::newRow("empty file") << QByteArray("") << 0;
        QTest::newRow("missing file") << QByteArray() << -1;
    }
    void countFromAviHeader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expectedCount);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fake ä.avi"));
        if (!bytes.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), qint64(bytes.size()));
        }
        const std::string name = QFile::encodeName(path).toStdString();
        const std::optional<uint32_t> count = AviGrabber::headerFrameCount(name);
        QCOMPARE(count.has_value(), expectedCount != -1);
        if (count)
            QCOMPARE(*count, expectedCount == -2 ? 0xffffffffu : uint32_t(expectedCount));

        // The capture cannot read any of these: the source says so and why,
        // whatever the header claims, and knows no size.
        std::optional<AviGrabber> grabber;
        const QByteArray printed = captureStdout(dir.filePath(QStringLiteral("out")), [&] { grabber.emplace(name); });
        QCOMPARE(printed, bytes.isNull() ? "cannot open input file " + QByteArray(name.c_str()) + '\n' : QByteArray());
        QVERIFY(!grabber->isOpen());
        QVERIFY2(grabber->errorString().contains(QStringLiteral("fake ä.avi")), qPrintable(grabber->errorString()));
        QCOMPARE(grabber->getFrameCount(), 0);
        QCOMPARE(grabber->getSize().width, 0);
        QCOMPARE(grabber->getSize().height, 0);
        QCOMPARE(readNext(*grabber), -2);
        QCOMPARE(grabber->lastRead(), ReadResult::Error);
        QCOMPARE(grabber->getPosition(), 0);
    }
    void emptyOrClosedSourceDeliversNothing()
    {
        AviGrabber empty(std::string{});
        QCOMPARE(empty.getFrameCount(), 0);
        QCOMPARE(empty.getFps(), 0.0f);
        QCOMPARE(empty.getSize().width, 0);
        QCOMPARE(empty.getSize().height, 0);
        QCOMPARE(readNext(empty), -2);
        empty.skip(5);
        QCOMPARE(empty.getPosition(), 0);
        OPEN_CLIP(grabber, QStringLiteral("h264.mp4"));
        QCOMPARE(readNext(grabber), 0);
        grabber.close();
        QCOMPARE(readNext(grabber), -2);
        QCOMPARE(grabber.getPosition(), 1);
        grabber.close();
        QCOMPARE(grabber.getFrameCount(), kClipFrames);
    }

private:
    static void addClipRows()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("countSlack");
        for (const testmedia::ClipRow &row : testmedia::clipRows())
            QTest::newRow(row.name) << row.options.fileName << row.countSlack;
    }
};

QTEST_GUILESS_MAIN(TestAviGrabber)
#include "tst_avigrabber.moc"
