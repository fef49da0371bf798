// Tests of the image-sequence frame source: which files make up a sequence
// and in what order, reading with the loop at the end, clamped positions, the
// bounded cache of decoded images, and paths outside ASCII.

#include "ImageGrabber.h"
#include "TestClips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

using testmedia::readNext;

namespace {

using Names = QStringList;
using Indices = QList<int>;

// The names in `list`, separated by "|".
Names names(const char *list)
{
    return QString::fromUtf8(list).split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

Names numbered(const char *prefix, int last, int digits)
{
    Names result;
    for (int i = 1; i <= last; ++i)
        result << QString::fromUtf8(prefix) + QStringLiteral("%1.png").arg(i, digits, 10, QLatin1Char('0'));
    return result;
}

std::string native(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// `count` images of 64 x 48 named prefix + two digits + ".png" in `dir`.
QStringList images(const QTemporaryDir &dir, int count, const char *prefix = "i")
{
    return testmedia::writeImageSequence(dir.path(), QString::fromUtf8(prefix), 0, count, QStringLiteral("png"), 2,
                                         64, 48);
}

} // namespace

class TestImageGrabber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsTheSequence_data()
    {
        QTest::addColumn<Names>("present");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<Names>("expected");
        const Names hundred = numbered("frame", 100, 4) << QStringLiteral("frame_notes.png");
        QTest::newRow("frame0042 among frame0001..0100 and frame_notes")
            << hundred << QStringLiteral("frame0042.png") << hundred;
        QTest::newRow("shot_2, shot_10, shot_1 by number")
            << names("shot_2.png|shot_10.png|shot_1.png") << QStringLiteral("shot_2.png")
            << names("shot_1.png|shot_2.png|shot_10.png");
        QTest::newRow("unpadded numbers keep the by-name order") << numbered("f", 12, 0) << QStringLiteral("f7.png")
            << names("f1.png|f10.png|f11.png|f12.png|f2.png|f3.png|f4.png|f5.png|f6.png|f7.png|f8.png|f9.png");
        QTest::newRow("other prefix and other extension left out")
            << names("cam01.jpg|cam02.jpg|cam03.png|car01.jpg|ca01.jpg") << QStringLiteral("cam02.jpg")
            << names("cam01.jpg|cam02.jpg");
        QTest::newRow("name order ignores case") << names("frame0001.png|FRAME0002.png|frame0003.png")
            << QStringLiteral("frame0001.png") << names("frame0001.png|FRAME0002.png|frame0003.png");
        QTest::newRow("hidden members are included")
            << names(".seq01.png|.seq02.png") << QStringLiteral(".seq02.png") << names(".seq01.png|.seq02.png");
        // Plain names first, then the keys in code-unit order: "C" sorts before "b".
        QTest::newRow("numbered keys compare case-sensitively")
            << names("take7.png|takeb_1.png|takeC_1.png|take_2.png") << QStringLiteral("take7.png")
            << names("take7.png|take_2.png|takeC_1.png|takeb_1.png");
        QTest::newRow("bracket in the prefix is taken literally")
            << names("solve[1]01.png|solve[1]02.png|solve101.png") << QStringLiteral("solve[1]01.png")
            << names("solve[1]01.png|solve[1]02.png");
        QTest::newRow("names outside ASCII") << names("Würfel ß 01.png|Würfel ß 02.png|Wurfel ß 03.png")
            << QStringLiteral("Würfel ß 02.png") << names("Würfel ß 01.png|Würfel ß 02.png");
        QTest::newRow("no digits at the end: IMG.png") << names("IMG.png|IMG1.png") << QStringLiteral("IMG.png")
                                                       << Names{};
        QTest::newRow("digits only in the middle") << names("a1b.png|a2b.png") << QStringLiteral("a1b.png")
                                                   << Names{};
        // orderSequence() itself, given the paths and the extension.
        const QString png = QStringLiteral("png");
        QTest::newRow("plain names keep their order before the numbered ones")
            << names("/d/b_2.png|/d/z.png|/d/b_1.png|/d/a.png") << png
            << names("/d/z.png|/d/a.png|/d/b_1.png|/d/b_2.png");
        QTest::newRow("numbers compare by value")
            << names("/d/s_10.png|/d/s_9.png|/d/s_100.png") << png << names("/d/s_9.png|/d/s_10.png|/d/s_100.png");
        QTest::newRow("keys before numbers")
            << names("/d/b_1.png|/d/a_5.png|/d/a_2.png") << png << names("/d/a_2.png|/d/a_5.png|/d/b_1.png");
        QTest::newRow("the key is the text before the first underscore")
            << names("/d/b_x_1.png|/d/a_z_3.png|/d/a_y_2.png") << png
            << names("/d/a_y_2.png|/d/a_z_3.png|/d/b_x_1.png");
        QTest::newRow("negative numbers count by absolute value, ties keep their order")
            << names("/d/s_-3.png|/d/s_03.png|/d/s_1.png|/d/s_2.png") << png
            << names("/d/s_1.png|/d/s_2.png|/d/s_-3.png|/d/s_03.png");
        QTest::newRow("last part not a number stays plain")
            << names("/d/f_2.png|/d/f_notes.png|/d/f_1.png|/d/f_.png") << png
            << names("/d/f_notes.png|/d/f_.png|/d/f_1.png|/d/f_2.png");
        QTest::newRow("empty parts are kept: a leading underscore gives an empty key")
            << names("/d/a_1.png|/d/_7.png|/d/__2.png") << png << names("/d/__2.png|/d/_7.png|/d/a_1.png");
        QTest::newRow("the extension's length is cut off")
            << names("/d/x_12.jpeg|/d/x_3.jpeg") << QStringLiteral("jpeg") << names("/d/x_3.jpeg|/d/x_12.jpeg");
        QTest::newRow("underscores in directories do not count")
            << names("/d_9/x2.png|/d_1/x1.png") << png << names("/d_9/x2.png|/d_1/x1.png");
        QTest::newRow("no paths") << Names{} << png << Names{};
        // Enough ties that an unstable sort would shuffle them: "k_", i zeros,
        // then i % 3 is number i % 3.
        Names ties, inOrder[3];
        for (int i = 0; i < 48; ++i) {
            ties << QStringLiteral("/d/k_%1%2.png").arg(QString(i, QLatin1Char('0'))).arg(i % 3);
            inOrder[i % 3] << ties.last();
        }
        QTest::newRow("many equal numbers keep their order") << ties << png << inOrder[0] + inOrder[1] + inOrder[2];
    }

    // Finding a sequence never opens its files: they are empty.
    void findsTheSequence()
    {
        QFETCH(Names, present);
        QFETCH(QString, opened); // without a dot: the extension to order `present` by
        QFETCH(Names, expected);
        if (!opened.contains(QLatin1Char('.'))) {
            QCOMPARE(ImageGrabber::orderSequence(present, opened), expected);
            return;
        }
        QTemporaryDir dir;
        const QDir subdir(dir.filePath(QStringLiteral("Bilder äöü")));
        QVERIFY(subdir.mkpath(QStringLiteral(".")));
        for (const QString &name : present)
            QVERIFY(QFile(subdir.filePath(name)).open(QIODevice::WriteOnly));
        ImageGrabber grabber(native(subdir.filePath(opened)));
        Names found;
        for (const QString &path : grabber.files()) {
            QCOMPARE(QFileInfo(path).absolutePath(), subdir.absolutePath());
            found << QFileInfo(path).fileName();
        }
        QCOMPARE(found, expected);
        QCOMPARE(grabber.getFrameCount(), expected.size());
    }

    void readsInOrderAndLoops_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("subdir");
        QTest::newRow("PNG") << QStringLiteral("frame") << QStringLiteral("png") << QStringLiteral("png");
        QTest::newRow("JPG") << QStringLiteral("frame") << QStringLiteral("jpg") << QStringLiteral("jpg");
        QTest::newRow("PNG in a directory named outside ASCII")
            << QStringLiteral("Würfel ") << QStringLiteral("png") << QStringLiteral("Bilder äöü €");
    }

    void readsInOrderAndLoops()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, extension);
        QFETCH(QString, subdir);
        QTemporaryDir dir;
        const QString path = dir.filePath(subdir);
        QVERIFY(QDir().mkpath(path));
        const QStringList written = testmedia::writeImageSequence(path, prefix, 0, 12, extension, 4, 160, 120);
        ImageGrabber grabber(native(written.at(5)));
        QCOMPARE(grabber.getFrameCount(), 12);
        QCOMPARE(grabber.getFps(), 25.0f);
        QCOMPARE(grabber.getPosition(), 0);
        QCOMPARE(grabber.getSize().width, 0);
        // The caller gets a copy: painting over it leaves the cached image.
        cv::Mat first;
        grabber >> first;
        QCOMPARE(testmedia::readIndex(first), 0);
        first.setTo(cv::Scalar(255, 255, 255));
        for (int i = 1; i < 12; ++i) {
            QCOMPARE(readNext(grabber), i);
            QCOMPARE(grabber.getPosition(), i + 1);
        }
        QCOMPARE(grabber.getSize().width, 160);
        QCOMPARE(grabber.getSize().height, 120);
        // At the end reading starts again with the first image.
        QCOMPARE(readNext(grabber), 0);
        QCOMPARE(grabber.getPosition(), 1);
        QCOMPARE(readNext(grabber), 1);
    }

    void clampsPositions_data()
    {
        QTest::addColumn<int>("start");     // position before the move
        QTest::addColumn<bool>("relative"); // skip rather than seek
        QTest::addColumn<int>("argument");
        QTest::addColumn<int>("expectedPosition");
        QTest::addColumn<int>("expectedImage");
        // 10 images.
        QTest::newRow("seek inside") << 0 << false << 7 << 7 << 7;
        QTest::newRow("seek to the last image") << 0 << false << 9 << 9 << 9;
        QTest::newRow("seek to the count stops at the last image") << 0 << false << 10 << 9 << 9;
        QTest::newRow("seek past the count stops at the last image") << 3 << false << 25 << 9 << 9;
        QTest::newRow("seek before the start stops at 0") << 6 << false << -4 << 0 << 0;
        QTest::newRow("seek to the smallest index") << 6 << false << INT32_MIN << 0 << 0;
        QTest::newRow("skip back") << 6 << true << -2 << 4 << 4;
        QTest::newRow("skip forward") << 2 << true << 7 << 9 << 9;
        QTest::newRow("skip to the count stops at the last image") << 2 << true << 8 << 9 << 9;
        QTest::newRow("skip past the end stops at the last image") << 8 << true << 100 << 9 << 9;
        QTest::newRow("skip before the start stops at 0") << 3 << true << -11 << 0 << 0;
        QTest::newRow("skip by 0") << 4 << true << 0 << 4 << 4;
        QTest::newRow("skip by the largest step") << 4 << true << INT32_MAX << 9 << 9;
        QTest::newRow("skip by the smallest step") << 4 << true << INT32_MIN << 0 << 0;
    }

    void clampsPositions()
    {
        QFETCH(int, start);
        QFETCH(bool, relative);
        QFETCH(int, argument);
        QFETCH(int, expectedPosition);
        QFETCH(int, expectedImage);
        QTemporaryDir dir;
        ImageGrabber grabber(native(images(dir, 10).at(0)));
        QCOMPARE(grabber.getFrameCount(), 10);
        grabber.seek(start);
        QCOMPARE(grabber.getPosition(), start);
        relative ? grabber.skip(argument) : grabber.seek(argument);
        QCOMPARE(grabber.getPosition(), expectedPosition);
        QCOMPARE(readNext(grabber), expectedImage);
        QCOMPARE(grabber.getPosition(), expectedImage + 1);
    }

    void cacheKeepsTheLast21Images_data()
    {
        QTest::addColumn<Indices>("reads");    // after the files are gone
        QTest::addColumn<Indices>("expected"); // -1: the file had to be read again
        // Images 0..29 were read in order: 9..29 are still cached.
        QTest::newRow("newest and oldest image kept") << Indices{29, 9} << Indices{29, 9};
        QTest::newRow("newest image dropped") << Indices{8} << Indices{-1};
        QTest::newRow("first image") << Indices{0} << Indices{-1};
        QTest::newRow("reading again drops the lowest index") << Indices{8, 9, 10, 29} << Indices{-1, -1, 10, 29};
        QTest::newRow("cached reads drop nothing") << Indices{9, 29, 15, 9, 10} << Indices{9, 29, 15, 9, 10};
        QTest::newRow("an image read again is the lowest index next time")
            << Indices{0, 1, 10, 9} << Indices{-1, -1, 10, -1};
    }

    // The files are deleted after the first pass: what is still cached comes
    // back, anything else is read again and found missing.
    void cacheKeepsTheLast21Images()
    {
        QFETCH(Indices, reads);
        QFETCH(Indices, expected);
        QTemporaryDir dir;
        const QStringList written = images(dir, 30);
        ImageGrabber grabber(native(written.at(0)));
        for (int i = 0; i < 30; ++i)
            QCOMPARE(readNext(grabber), i);
        for (const QString &path : written)
            QVERIFY(QFile::remove(path));
        Indices got;
        for (const int index : reads) {
            grabber.seek(index);
            got << readNext(grabber);
        }
        QCOMPARE(got, expected);
    }

    void sizeComesFromTheFirstImageDelivered_data()
    {
        QTest::addColumn<QList<QSize>>("sizes"); // of the images in order; empty: unreadable file
        QTest::addColumn<QSize>("expected");     // after reading them all
        QTest::newRow("first image") << QList<QSize>{{160, 120}, {64, 48}} << QSize(160, 120);
        QTest::newRow("unreadable first image") << QList<QSize>{QSize(), {64, 48}, {160, 120}} << QSize(64, 48);
        QTest::newRow("unreadable image between") << QList<QSize>{{64, 48}, QSize(), {64, 48}} << QSize(64, 48);
        QTest::newRow("nothing readable") << QList<QSize>{QSize(), QSize()} << QSize(0, 0);
    }

    // An unreadable image is delivered empty, and reading goes on after it.
    void sizeComesFromTheFirstImageDelivered()
    {
        QFETCH(QList<QSize>, sizes);
        QFETCH(QSize, expected);
        QTemporaryDir dir;
        for (int i = 0; i < sizes.size(); ++i) {
            const QString path = dir.filePath(QStringLiteral("s%1.png").arg(i));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not an image");
            file.close();
            if (sizes.at(i).isValid())
                QVERIFY(cv::imwrite(native(path), testmedia::indexFrame(i, sizes[i].width(), sizes[i].height())));
        }
        ImageGrabber grabber(native(dir.filePath(QStringLiteral("s0.png"))));
        QCOMPARE(grabber.getFrameCount(), sizes.size());
        for (int i = 0; i < sizes.size(); ++i) {
            QCOMPARE(readNext(grabber), sizes.at(i).isValid() ? i : -1);
            QCOMPARE(grabber.getPosition(), i + 1);
            // An unreadable image is an error naming it, not the end.
            QCOMPARE(grabber.lastRead(), sizes.at(i).isValid() ? ReadResult::Delivered : ReadResult::Error);
            QCOMPARE(grabber.errorString().contains(QStringLiteral("s%1.png").arg(i)), !sizes.at(i).isValid());
        }
        QCOMPARE(QSize(grabber.getSize().width, grabber.getSize().height), expected);
    }

    void emptySequenceDeliversNothing_data()
    {
        QTest::addColumn<QString>("opened"); // empty: no path at all
        QTest::newRow("no digits at the end") << QStringLiteral("IMG.png");
        QTest::newRow("missing directory") << QStringLiteral("nowhere/IMG01.png");
        QTest::newRow("empty path") << QString();
        QTest::newRow("closed sequence") << QStringLiteral("IMG00.png");
    }

    void emptySequenceDeliversNothing()
    {
        QFETCH(QString, opened);
        QTemporaryDir dir;
        images(dir, 2, "IMG");
        ImageGrabber grabber(opened.isEmpty() ? std::string() : native(dir.filePath(opened)));
        if (opened == QLatin1String("IMG00.png")) { // closed
            QCOMPARE(readNext(grabber), 0);
            grabber.close();
            QCOMPARE(grabber.files(), QStringList{});
            QCOMPARE(readNext(grabber), -2);
            grabber.close();
            return;
        }
        QCOMPARE(grabber.getFrameCount(), 0);
        QVERIFY(!grabber.isOpen());
        QVERIFY(!grabber.errorString().isEmpty() || opened.isEmpty());
        QCOMPARE(readNext(grabber), -2);
        QCOMPARE(grabber.lastRead(), ReadResult::EndOfStream);
        QCOMPARE(grabber.getPosition(), 0);
        grabber.seek(3);
        QCOMPARE(grabber.getPosition(), 0);
        grabber.skip(3);
        QCOMPARE(grabber.getPosition(), 0);
        QCOMPARE(readNext(grabber), -2);
        QCOMPARE(grabber.getSize().width, 0);
    }
};

QTEST_GUILESS_MAIN(TestImageGrabber)
#include "tst_imagegrabber.moc"
