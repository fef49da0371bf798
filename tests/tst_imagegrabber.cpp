// Tests of the image-sequence frame source: which files make up a sequence
// and in what order, reading with the loop at the end, clamped positions, the
// bounded cache of decoded images, and paths outside ASCII.

#include "ImageGrabber.h"
#include "TestMedia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdint>

namespace {

using Names = QStringList;
using Indices = QList<int>;

// Creates empty files: finding and ordering a sequence never opens them.
bool touch(const QString &dir, const Names &names)
{
    for (const QString &name : names) {
        QFile file(QDir(dir).filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

// The names in `list`, separated by "|".
Names names(const char *list)
{
    return QString::fromUtf8(list).split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

Names numbered(const QString &prefix, int first, int last, int digits, const QString &suffix)
{
    Names names;
    for (int i = first; i <= last; ++i)
        names << prefix + QStringLiteral("%1").arg(i, digits, 10, QLatin1Char('0')) + suffix;
    return names;
}

Names fileNames(const QStringList &paths)
{
    Names names;
    for (const QString &path : paths)
        names << QFileInfo(path).fileName();
    return names;
}

std::string native(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// The index shown by the next delivered image; -2 when the caller's image was
// left untouched, -1 when it was emptied.
int readNext(ImageGrabber &grabber)
{
    cv::Mat image(8, 8, CV_8UC3, cv::Scalar(1, 2, 3));
    const uchar *before = image.data;
    grabber >> image;
    if (!image.empty() && image.data == before)
        return -2;
    return testmedia::readIndex(image);
}

} // namespace

class TestImageGrabber : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsTheSequence_data();
    void findsTheSequence();
    void ordersSequence_data();
    void ordersSequence();
    void readsInOrderAndLoops_data();
    void readsInOrderAndLoops();
    void clampsPositions_data();
    void clampsPositions();
    void cacheKeepsTheLast21Images_data();
    void cacheKeepsTheLast21Images();
    void deliversCopies();
    void unreadableImageIsDeliveredEmpty();
    void sizeComesFromTheFirstImageDelivered_data();
    void sizeComesFromTheFirstImageDelivered();
    void emptySequenceDeliversNothing_data();
    void emptySequenceDeliversNothing();
    void closeEmptiesTheSequence();
};

void TestImageGrabber::findsTheSequence_data()
{
    QTest::addColumn<Names>("present");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<Names>("expected");

    const Names hundred = numbered(QStringLiteral("frame"), 1, 100, 4, QStringLiteral(".png"));
    QTest::newRow("frame0042 among frame0001..0100 and frame_notes")
        << hundred + names("frame_notes.png") << QStringLiteral("frame0042.png")
        << hundred + names("frame_notes.png");
    QTest::newRow("shot_2, shot_10, shot_1 by number")
        << names("shot_2.png|shot_10.png|shot_1.png") << QStringLiteral("shot_2.png")
        << names("shot_1.png|shot_2.png|shot_10.png");
    QTest::newRow("unpadded numbers keep the by-name order")
        << numbered(QStringLiteral("f"), 1, 12, 0, QStringLiteral(".png")) << QStringLiteral("f7.png")
        << names("f1.png|f10.png|f11.png|f12.png|f2.png|f3.png|f4.png|f5.png|f6.png|f7.png|f8.png|f9.png");
    QTest::newRow("other prefix and other extension left out")
        << names("cam01.jpg|cam02.jpg|cam03.png|car01.jpg|ca01.jpg") << QStringLiteral("cam02.jpg")
        << names("cam01.jpg|cam02.jpg");
    QTest::newRow("name order ignores case")
        << names("frame0001.png|FRAME0002.png|frame0003.png") << QStringLiteral("frame0001.png")
        << names("frame0001.png|FRAME0002.png|frame0003.png");
    QTest::newRow("hidden members are included")
        << names(".seq01.png|.seq02.png") << QStringLiteral(".seq02.png") << names(".seq01.png|.seq02.png");
    // Plain names first, then the keys in code-unit order: "C" sorts before "b".
    QTest::newRow("numbered keys compare case-sensitively")
        << names("take7.png|takeb_1.png|takeC_1.png|take_2.png") << QStringLiteral("take7.png")
        << names("take7.png|take_2.png|takeC_1.png|takeb_1.png");
    QTest::newRow("bracket in the prefix is taken literally")
        << names("solve[1]01.png|solve[1]02.png|solve101.png") << QStringLiteral("solve[1]01.png")
        << names("solve[1]01.png|solve[1]02.png");
    QTest::newRow("names outside ASCII")
        << names("Würfel ß 01.png|Würfel ß 02.png|Wurfel ß 03.png") << QStringLiteral("Würfel ß 02.png")
        << names("Würfel ß 01.png|Würfel ß 02.png");
    QTest::newRow("no digits at the end: IMG.png")
        << names("IMG.png|IMG1.png") << QStringLiteral("IMG.png") << Names{};
    QTest::newRow("digits only in the middle") << names("a1b.png|a2b.png") << QStringLiteral("a1b.png") << Names{};
}

void TestImageGrabber::findsTheSequence()
{
    QFETCH(Names, present);
    QFETCH(QString, opened);
    QFETCH(Names, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString subdir = dir.filePath(QStringLiteral("Bilder äöü"));
    QVERIFY(QDir().mkpath(subdir));
    QVERIFY(touch(subdir, present));

    ImageGrabber grabber(native(QDir(subdir).filePath(opened)));
    const QStringList files = grabber.files();
    QCOMPARE(fileNames(files), expected);
    QCOMPARE(grabber.getFrameCount(), int32_t(expected.size()));
    for (const QString &path : files)
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(subdir).absoluteFilePath());
}

void TestImageGrabber::ordersSequence_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("expected");

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
    QTest::newRow("no paths") << QStringList{} << png << QStringList{};

    // Enough ties that an unstable sort would shuffle them: "k_" followed by
    // i zeros and then i % 3 is number i % 3.
    QStringList ties;
    QStringList tiesInOrder[3];
    for (int i = 0; i < 48; ++i) {
        const QString path = QStringLiteral("/d/k_") + QString(i, QLatin1Char('0')) + QString::number(i % 3)
                             + QStringLiteral(".png");
        ties << path;
        tiesInOrder[i % 3] << path;
    }
    QTest::newRow("many equal numbers keep their order")
        << ties << png << tiesInOrder[0] + tiesInOrder[1] + tiesInOrder[2];
}

void TestImageGrabber::ordersSequence()
{
    QFETCH(QStringList, paths);
    QFETCH(QString, extension);
    QFETCH(QStringList, expected);

    QCOMPARE(ImageGrabber::orderSequence(paths, extension), expected);
}

void TestImageGrabber::readsInOrderAndLoops_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("subdir");

    QTest::newRow("PNG") << QStringLiteral("frame") << QStringLiteral("png") << QStringLiteral("png");
    QTest::newRow("JPG") << QStringLiteral("frame") << QStringLiteral("jpg") << QStringLiteral("jpg");
    QTest::newRow("PNG in a directory named outside ASCII")
        << QStringLiteral("Würfel ") << QStringLiteral("png") << QStringLiteral("Bilder äöü €");
}

void TestImageGrabber::readsInOrderAndLoops()
{
    QFETCH(QString, prefix);
    QFETCH(QString, extension);
    QFETCH(QString, subdir);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(subdir);
    QVERIFY(QDir().mkpath(path));
    const int count = 12;
    const QStringList written = testmedia::writeImageSequence(path, prefix, 0, count, extension, 4, 160, 120);
    QCOMPARE(written.size(), count);

    ImageGrabber grabber(native(written.at(5)));
    QCOMPARE(grabber.getFrameCount(), count);
    QCOMPARE(grabber.getFps(), 25.0f);
    QCOMPARE(grabber.getPosition(), 0);
    QCOMPARE(grabber.getSize().width, 0);
    QCOMPARE(grabber.getSize().height, 0);
    for (int i = 0; i < count; ++i) {
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

void TestImageGrabber::clampsPositions_data()
{
    QTest::addColumn<int>("start");     // position before the move
    QTest::addColumn<bool>("relative"); // skip rather than seek
    QTest::addColumn<int>("argument");
    QTest::addColumn<int>("expectedPosition");
    QTest::addColumn<int>("expectedImage");

    // 10 images.
    QTest::newRow("seek inside") << 0 << false << 7 << 7 << 7;
    QTest::newRow("seek to the last image") << 0 << false << 9 << 9 << 9;
    QTest::newRow("seek to the count wraps on reading") << 0 << false << 10 << 10 << 0;
    QTest::newRow("seek past the count stops at it") << 3 << false << 25 << 10 << 0;
    QTest::newRow("seek before the start stops at 0") << 6 << false << -4 << 0 << 0;
    QTest::newRow("seek to the smallest index") << 6 << false << INT32_MIN << 0 << 0;
    QTest::newRow("skip back") << 6 << true << -2 << 4 << 4;
    QTest::newRow("skip forward") << 2 << true << 9 << 10 << 0;
    QTest::newRow("skip past the end stops at the count") << 8 << true << 100 << 10 << 0;
    QTest::newRow("skip before the start stops at 0") << 3 << true << -11 << 0 << 0;
    QTest::newRow("skip by 0") << 4 << true << 0 << 4 << 4;
    QTest::newRow("skip by the largest step") << 4 << true << INT32_MAX << 10 << 0;
    QTest::newRow("skip by the smallest step") << 4 << true << INT32_MIN << 0 << 0;
}

void TestImageGrabber::clampsPositions()
{
    QFETCH(int, start);
    QFETCH(bool, relative);
    QFETCH(int, argument);
    QFETCH(int, expectedPosition);
    QFETCH(int, expectedImage);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList written =
        testmedia::writeImageSequence(dir.path(), QStringLiteral("img"), 0, 10, QStringLiteral("png"), 3, 64, 48);
    ImageGrabber grabber(native(written.at(0)));
    QCOMPARE(grabber.getFrameCount(), 10);
    grabber.seek(start);
    QCOMPARE(grabber.getPosition(), start);
    if (relative)
        grabber.skip(argument);
    else
        grabber.seek(argument);
    QCOMPARE(grabber.getPosition(), expectedPosition);
    QCOMPARE(readNext(grabber), expectedImage);
    QCOMPARE(grabber.getPosition(), expectedImage + 1);
}

void TestImageGrabber::cacheKeepsTheLast21Images_data()
{
    QTest::addColumn<Indices>("reads");    // read after the files are gone
    QTest::addColumn<Indices>("expected"); // -1: the file had to be read again

    // Images 0..29 were read in order: 9..29 are still cached.
    QTest::newRow("newest image") << Indices{29} << Indices{29};
    QTest::newRow("oldest image kept") << Indices{9} << Indices{9};
    QTest::newRow("newest image dropped") << Indices{8} << Indices{-1};
    QTest::newRow("first image") << Indices{0} << Indices{-1};
    QTest::newRow("reading again drops the lowest index")
        << Indices{8, 9, 10, 29} << Indices{-1, -1, 10, 29};
    QTest::newRow("cached reads drop nothing")
        << Indices{9, 29, 15, 9, 10} << Indices{9, 29, 15, 9, 10};
    QTest::newRow("an image read again is the lowest index next time")
        << Indices{0, 1, 10, 9} << Indices{-1, -1, 10, -1};
}

// The files are deleted after the first pass: what is still cached comes back,
// anything else is read again and found missing.
void TestImageGrabber::cacheKeepsTheLast21Images()
{
    QFETCH(Indices, reads);
    QFETCH(Indices, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList written =
        testmedia::writeImageSequence(dir.path(), QStringLiteral("c"), 0, 30, QStringLiteral("png"), 2, 64, 48);
    ImageGrabber grabber(native(written.at(0)));
    QCOMPARE(grabber.getFrameCount(), 30);
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

void TestImageGrabber::deliversCopies()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList written =
        testmedia::writeImageSequence(dir.path(), QStringLiteral("d"), 0, 3, QStringLiteral("png"), 2, 64, 48);
    ImageGrabber grabber(native(written.at(0)));
    cv::Mat first;
    grabber >> first;
    QCOMPARE(testmedia::readIndex(first), 0);
    first.setTo(cv::Scalar(255, 255, 255));
    grabber.seek(0);
    QCOMPARE(readNext(grabber), 0);
}

void TestImageGrabber::unreadableImageIsDeliveredEmpty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList written =
        testmedia::writeImageSequence(dir.path(), QStringLiteral("u"), 0, 3, QStringLiteral("png"), 2, 64, 48);
    QFile broken(written.at(1));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not an image");
    broken.close();

    ImageGrabber grabber(native(written.at(0)));
    QCOMPARE(readNext(grabber), 0);
    QCOMPARE(readNext(grabber), -1);
    QCOMPARE(grabber.getPosition(), 2);
    QCOMPARE(readNext(grabber), 2);
}

void TestImageGrabber::sizeComesFromTheFirstImageDelivered_data()
{
    QTest::addColumn<QList<QSize>>("sizes"); // of the images in order; empty: unreadable file
    QTest::addColumn<QSize>("expected");     // after reading them all

    QTest::newRow("first image") << QList<QSize>{{160, 120}, {64, 48}} << QSize(160, 120);
    QTest::newRow("unreadable first image")
        << QList<QSize>{QSize(), {64, 48}, {160, 120}} << QSize(64, 48);
    QTest::newRow("nothing readable") << QList<QSize>{QSize(), QSize()} << QSize(0, 0);
}

void TestImageGrabber::sizeComesFromTheFirstImageDelivered()
{
    QFETCH(QList<QSize>, sizes);
    QFETCH(QSize, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList paths;
    for (int i = 0; i < sizes.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("s%1.png").arg(i));
        if (sizes.at(i).isValid()) {
            QVERIFY(cv::imwrite(native(path),
                                testmedia::indexFrame(i, sizes.at(i).width(), sizes.at(i).height())));
        } else {
            QVERIFY(touch(dir.path(), {QFileInfo(path).fileName()}));
        }
        paths << path;
    }
    ImageGrabber grabber(native(paths.at(0)));
    QCOMPARE(grabber.getFrameCount(), int32_t(sizes.size()));
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(readNext(grabber), sizes.at(i).isValid() ? i : -1);
    QCOMPARE(QSize(grabber.getSize().width, grabber.getSize().height), expected);
}

void TestImageGrabber::emptySequenceDeliversNothing_data()
{
    QTest::addColumn<QString>("opened"); // empty: no path at all

    QTest::newRow("no digits at the end") << QStringLiteral("IMG.png");
    QTest::newRow("missing directory") << QStringLiteral("nowhere/frame01.png");
    QTest::newRow("empty path") << QString();
}

void TestImageGrabber::emptySequenceDeliversNothing()
{
    QFETCH(QString, opened);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    testmedia::writeImageSequence(dir.path(), QStringLiteral("IMG"), 0, 2, QStringLiteral("png"), 1, 64, 48);
    ImageGrabber grabber(opened.isEmpty() ? std::string() : native(dir.filePath(opened)));
    QCOMPARE(grabber.getFrameCount(), 0);
    QCOMPARE(readNext(grabber), -2);
    QCOMPARE(grabber.getPosition(), 0);
    grabber.seek(3);
    QCOMPARE(grabber.getPosition(), 0);
    grabber.skip(3);
    QCOMPARE(grabber.getPosition(), 0);
    QCOMPARE(readNext(grabber), -2);
    QCOMPARE(grabber.getSize().width, 0);
}

void TestImageGrabber::closeEmptiesTheSequence()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList written =
        testmedia::writeImageSequence(dir.path(), QStringLiteral("e"), 0, 3, QStringLiteral("png"), 2, 64, 48);
    ImageGrabber grabber(native(written.at(0)));
    QCOMPARE(readNext(grabber), 0);
    grabber.close();
    QCOMPARE(grabber.files(), QStringList{});
    QCOMPARE(readNext(grabber), -2);
    grabber.close();
}

QTEST_GUILESS_MAIN(TestImageGrabber)
#include "tst_imagegrabber.moc"
