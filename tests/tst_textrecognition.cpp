// Text recognition of a selection: the selection's pixels, the text Tesseract
// reads in generated pictures (DejaVu Sans drawn by the ffmpeg program),
// where the language data is taken from (never the current directory), the
// message when there is none, and the same through framewright-cli ocr.

#include "FramePipeline.h"
#include "TextRecognition.h"
#include "media/CliRun.h"
#include "media/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

#include <optional>

namespace {

const QString kFont = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

struct Text
{
    QString text;
    int x;
    int y;
    int size;
};

// The drawtext filters for `texts`, black on the white picture.
QString drawFilters(const QList<Text> &texts)
{
    QStringList filters;
    for (const Text &t : texts)
        filters << QStringLiteral("drawtext=fontfile=%1:text='%2':x=%3:y=%4:fontsize=%5:fontcolor=black")
                       .arg(kFont, t.text)
                       .arg(t.x)
                       .arg(t.y)
                       .arg(t.size);
    return filters.join(QLatin1Char(','));
}

// Writes `texts` on a white picture of `width` x `height` into `path`
// (a .png image, or a one-second 10 fps H.264 clip for .mp4), after the
// extra filter `then` (e.g. a rotation). False with ffmpeg's words in `error`.
bool drawPicture(const QString &path, int width, int height, const QList<Text> &texts, QString *error,
                 const QString &then = QString())
{
    QString filter = drawFilters(texts);
    if (!then.isEmpty())
        filter += QLatin1Char(',') + then;
    QStringList args = {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                        QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("color=c=white:s=%1x%2:d=1:r=10").arg(width).arg(height),
                        QStringLiteral("-vf"), filter};
    if (path.endsWith(QLatin1String(".png")))
        args << QStringLiteral("-frames:v") << QStringLiteral("1");
    else
        args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
             << QStringLiteral("yuv420p") << QStringLiteral("-crf") << QStringLiteral("12");
    args << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        *error = QString::fromLocal8Bit(ffmpeg.readAllStandardError());
        return false;
    }
    return true;
}

// Sets environment variables for its lifetime and puts the old values back.
class EnvironmentGuard
{
public:
    void set(const char *name, const QByteArray &value)
    {
        saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        qputenv(name, value);
    }
    ~EnvironmentGuard()
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved
    {
        const char *name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> saved;
};

// A tessdata folder holding a file named eng.traineddata that is not
// language data: loading it would make the engine fail to start.
void plantBogusData(const QString &folder)
{
    QDir().mkpath(folder);
    QFile bogus(folder + QStringLiteral("/eng.traineddata"));
    QVERIFY(bogus.open(QIODevice::WriteOnly));
    bogus.write(QByteArray(4096, 'x'));
}

}  // namespace

Q_DECLARE_METATYPE(Text)

class TestTextRecognition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void selectionImage_data();
    void selectionImage();
    void recognisesText_data();
    void recognisesText();
    void rotatedAndCroppedFrame();
    void missingData_saysWhereItLookedAndTriesAgain();
    void dataLookup_ordersTheFoldersAndSkipsTheCurrentDirectory();

    void cli_data();
    void cli();
    void cli_failures_data();
    void cli_failures();

private:
    QTemporaryDir dir;
    QString previousCurrent;
    QString timerClip;
    QString rotatedClip;
};

void TestTextRecognition::initTestCase()
{
    QVERIFY2(testmedia::haveFfmpeg(), "ffmpeg is needed to draw the test pictures");
    QVERIFY2(QFile::exists(kFont), "the DejaVu fonts are needed to draw the test pictures");
    previousCurrent = QDir::currentPath();
    QString error;
    timerClip = dir.filePath(QStringLiteral("timer.mp4"));
    QVERIFY2(drawPicture(timerClip, 640, 360, {{QStringLiteral("12.345"), 100, 100, 72}}, &error), qPrintable(error));
    // Turned a quarter counter-clockwise: a quarter clockwise in the pipeline
    // sets it upright. Another text where the crop cuts it off.
    rotatedClip = dir.filePath(QStringLiteral("rotated.mp4"));
    QVERIFY2(drawPicture(rotatedClip, 640, 360,
                         {{QStringLiteral("12.345"), 60, 60, 64}, {QStringLiteral("98.765"), 400, 260, 64}}, &error,
                         QStringLiteral("transpose=2")),
             qPrintable(error));
}

void TestTextRecognition::cleanupTestCase()
{
    QDir::setCurrent(previousCurrent);
}

void TestTextRecognition::selectionImage_data()
{
    QTest::addColumn<QRectF>("selection");
    QTest::addColumn<QRect>("pixels");  // expected, in the 101 x 51 frame; empty: no image
    QTest::addColumn<bool>("wholeFrame");
    QTest::newRow("zero width: the whole frame") << QRectF(0.2, 0.2, 0.0, 0.5) << QRect(0, 0, 101, 51) << true;
    QTest::newRow("zero height: the whole frame") << QRectF(0.2, 0.2, 0.5, 0.0) << QRect(0, 0, 101, 51) << true;
    QTest::newRow("fractions truncated") << QRectF(0.25, 0.5, 0.5, 0.25) << QRect(25, 25, 50, 12) << false;
    QTest::newRow("the full rectangle: a copy") << QRectF(0, 0, 1, 1) << QRect(0, 0, 101, 51) << false;
    QTest::newRow("past the right edge: kept inside") << QRectF(0.9, 0.0, 0.5, 1.0) << QRect(90, 0, 11, 51) << false;
    QTest::newRow("less than a pixel") << QRectF(0.5, 0.5, 0.005, 0.5) << QRect() << false;
}

void TestTextRecognition::selectionImage()
{
    QFETCH(QRectF, selection);
    QFETCH(QRect, pixels);
    QFETCH(bool, wholeFrame);
    // A frame whose pixels tell their place: blue = x, green = y.
    cv::Mat big(60, 120, CV_8UC3, cv::Scalar(0, 0, 0));
    for (int y = 0; y < big.rows; ++y)
        for (int x = 0; x < big.cols; ++x)
            big.at<cv::Vec3b>(y, x) = cv::Vec3b(uint8_t(x), uint8_t(y), 7);
    // A view with gaps between its rows, as a cropped processed frame is.
    const cv::Mat frame = big(cv::Rect(3, 2, 101, 51));
    QVERIFY(!frame.isContinuous());

    const cv::Mat image = SelectionImage(frame, selection);
    if (pixels.isEmpty()) {
        QVERIFY(image.empty());
        return;
    }
    QCOMPARE(image.cols, pixels.width());
    QCOMPARE(image.rows, pixels.height());
    QCOMPARE(image.data == frame.data, wholeFrame);
    if (!wholeFrame)
        QVERIFY(image.isContinuous());
    QCOMPARE(image.at<cv::Vec3b>(0, 0), cv::Vec3b(uint8_t(3 + pixels.x()), uint8_t(2 + pixels.y()), 7));
    QCOMPARE(image.at<cv::Vec3b>(image.rows - 1, image.cols - 1),
             cv::Vec3b(uint8_t(3 + pixels.right()), uint8_t(2 + pixels.bottom()), 7));
    QVERIFY(SelectionImage(cv::Mat(), selection).empty());
}

void TestTextRecognition::recognisesText_data()
{
    QTest::addColumn<QList<Text>>("texts");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRectF>("selection");
    QTest::addColumn<bool>("strided");  // the image is a view into a wider one
    QTest::addColumn<QString>("expected");
    QTest::newRow("a timer, 300 x 100")
        << QList<Text>{{QStringLiteral("12.345"), 30, 20, 56}} << QSize(300, 100) << QRectF() << false
        << QStringLiteral("12.345");
    QTest::newRow("two lines come back as one, single spaces")
        << QList<Text>{{QStringLiteral("SOLVE  TIME"), 20, 20, 48}, {QStringLiteral("9.87"), 20, 110, 48}}
        << QSize(420, 180) << QRectF() << false << QStringLiteral("SOLVE TIME 9.87");
    QTest::newRow("zero-width selection: the whole frame")
        << QList<Text>{{QStringLiteral("12.345"), 30, 20, 56}} << QSize(300, 100) << QRectF(0.5, 0.5, 0.0, 0.2)
        << false << QStringLiteral("12.345");
    QTest::newRow("a selection leaves the other text out")
        << QList<Text>{{QStringLiteral("12.345"), 20, 20, 56}, {QStringLiteral("77.01"), 360, 20, 56}}
        << QSize(600, 100) << QRectF(0.0, 0.0, 0.5, 1.0) << false << QStringLiteral("12.345");
    QTest::newRow("rows with gaps between them")
        << QList<Text>{{QStringLiteral("12.345"), 30, 20, 56}} << QSize(300, 100) << QRectF() << true
        << QStringLiteral("12.345");
    QTest::newRow("nothing written: no text")
        << QList<Text>{{QStringLiteral(" "), 30, 20, 56}} << QSize(300, 100) << QRectF() << false << QString();
}

void TestTextRecognition::recognisesText()
{
    QFETCH(QList<Text>, texts);
    QFETCH(QSize, size);
    QFETCH(QRectF, selection);
    QFETCH(bool, strided);
    QFETCH(QString, expected);
    const QString path = dir.filePath(QStringLiteral("%1.png").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
    QString error;
    QVERIFY2(drawPicture(path, size.width(), size.height(), texts, &error), qPrintable(error));
    cv::Mat frame = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
    QVERIFY(!frame.empty());
    cv::Mat wider;
    if (strided) {
        // Grey margins left and right; the image handed over is the middle.
        cv::copyMakeBorder(frame, wider, 0, 0, 40, 24, cv::BORDER_CONSTANT, cv::Scalar(128, 128, 128));
        frame = wider(cv::Rect(40, 0, frame.cols, frame.rows));
        QVERIFY(!frame.isContinuous());
    }
    TextRecognizer recognizer;
    QVERIFY2(recognizer.start(QDir::tempPath(), &error), qPrintable(error));
    QCOMPARE(recognizer.recognise(SelectionImage(frame, selection)), expected);
}

void TestTextRecognition::rotatedAndCroppedFrame()
{
    // The picture turned a quarter counter-clockwise, set upright by the
    // pipeline's quarter clockwise and cropped to its top left quarter,
    // which leaves the other text out.
    QString error;
    const QString png = dir.filePath(QStringLiteral("rotated.png"));
    QVERIFY2(drawPicture(png, 640, 360,
                         {{QStringLiteral("12.345"), 60, 60, 64}, {QStringLiteral("98.765"), 400, 260, 64}}, &error,
                         QStringLiteral("transpose=2")),
             qPrintable(error));
    const cv::Mat raw = cv::imread(QFile::encodeName(png).toStdString(), cv::IMREAD_COLOR);
    QCOMPARE(raw.cols, 360);
    QCOMPARE(raw.rows, 640);
    FramePipeline pipeline;
    PipelineSettings settings;
    settings.rotation = 1;  // 90° clockwise
    settings.applyCrop = true;
    settings.crop = QRectF(0.0, 0.0, 0.5, 0.5);
    const cv::Mat processed = pipeline.process(raw, settings, &error);
    QVERIFY2(!processed.empty(), qPrintable(error));
    QCOMPARE(processed.cols, 320);
    QCOMPARE(processed.rows, 180);
    TextRecognizer recognizer;
    QVERIFY2(recognizer.start(QDir::tempPath(), &error), qPrintable(error));
    // The whole processed frame (no selection), then a selection inside it.
    QCOMPARE(recognizer.recognise(SelectionImage(processed, QRectF())), QStringLiteral("12.345"));
    QCOMPARE(recognizer.recognise(SelectionImage(processed, QRectF(0.1, 0.2, 0.85, 0.7))), QStringLiteral("12.345"));
}

void TestTextRecognition::missingData_saysWhereItLookedAndTriesAgain()
{
    QTemporaryDir empty;
    QTemporaryDir home;
    QTemporaryDir application;
    QString error;
    TextRecognizer recognizer;
    {
        EnvironmentGuard environment;
        environment.set("TESSDATA_PREFIX", QFile::encodeName(empty.path()));
        environment.set("HOME", QFile::encodeName(home.path()));
        QVERIFY(!recognizer.start(application.path(), &error));
        QVERIFY(!recognizer.isStarted());
        QVERIFY2(error.startsWith(QStringLiteral("OCR: no English language data found")), qPrintable(error));
        const QStringList places = {application.path() + QStringLiteral("/tessdata"),
                                    home.path() + QStringLiteral("/tessdata"), empty.path()};
        for (const QString &place : places)
            QVERIFY2(error.contains(QDir::toNativeSeparators(place)), qPrintable(error));
        QCOMPARE(recognizer.recognise(cv::Mat(50, 50, CV_8UC3, cv::Scalar(255, 255, 255))), QString());
    }
    // The data is there again: the same recogniser starts, no restart needed.
    error.clear();
    QVERIFY2(recognizer.start(application.path(), &error), qPrintable(error));
    QVERIFY(recognizer.isStarted());
    QVERIFY(error.isEmpty());
}

void TestTextRecognition::dataLookup_ordersTheFoldersAndSkipsTheCurrentDirectory()
{
    // The distribution's data, found the way Tesseract finds it.
    QString real;
    {
        TextRecognizer probe;
        QString error;
        QVERIFY2(probe.start(QDir::tempPath(), &error), qPrintable(error));
        real = probe.dataDirectory() + QStringLiteral("/eng.traineddata");
    }
    QVERIFY2(QFile::exists(real), qPrintable(real));

    // A video's folder, current while the video is open, with data planted
    // as tessdata/ and as a folder literally named "~".
    QTemporaryDir videoFolder;
    plantBogusData(videoFolder.filePath(QStringLiteral("tessdata")));
    plantBogusData(videoFolder.filePath(QStringLiteral("~/tessdata")));
    QVERIFY(QDir::setCurrent(videoFolder.path()));
    QTemporaryDir home;
    QTemporaryDir application;
    EnvironmentGuard environment;
    environment.set("HOME", QFile::encodeName(home.path()));

    QString error;
    {
        TextRecognizer recognizer;
        QVERIFY2(recognizer.start(application.path(), &error), qPrintable(error));
        QVERIFY2(!recognizer.dataDirectory().startsWith(videoFolder.path()), qPrintable(recognizer.dataDirectory()));
    }
    // The home folder's data comes before Tesseract's, the program's before both.
    QDir().mkpath(home.filePath(QStringLiteral("tessdata")));
    QVERIFY(QFile::link(real, home.filePath(QStringLiteral("tessdata/eng.traineddata"))));
    {
        TextRecognizer recognizer;
        QVERIFY2(recognizer.start(application.path(), &error), qPrintable(error));
        QCOMPARE(recognizer.dataDirectory(), QDir::cleanPath(home.filePath(QStringLiteral("tessdata"))));
    }
    QDir().mkpath(application.filePath(QStringLiteral("tessdata")));
    QVERIFY(QFile::link(real, application.filePath(QStringLiteral("tessdata/eng.traineddata"))));
    {
        TextRecognizer recognizer;
        QVERIFY2(recognizer.start(application.path(), &error), qPrintable(error));
        QCOMPARE(recognizer.dataDirectory(), QDir::cleanPath(application.filePath(QStringLiteral("tessdata"))));
    }
    // A tessdata folder of ours without English does not hide the others.
    QFile::remove(application.filePath(QStringLiteral("tessdata/eng.traineddata")));
    {
        TextRecognizer recognizer;
        QVERIFY2(recognizer.start(application.path(), &error), qPrintable(error));
        QCOMPARE(recognizer.dataDirectory(), QDir::cleanPath(home.filePath(QStringLiteral("tessdata"))));
    }
    QDir::setCurrent(previousCurrent);
}

void TestTextRecognition::cli_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the whole frame") << "timer" << QStringList{} << "12.345";
    QTest::newRow("a selection around the timer")
        << "timer" << QStringList{QStringLiteral("--select"), QStringLiteral("0.1,0.2,0.5,0.4")} << "12.345";
    QTest::newRow("zero-width selection: the whole frame")
        << "timer" << QStringList{QStringLiteral("--select"), QStringLiteral("0.5,0.5,0,0.2")} << "12.345";
    QTest::newRow("a selection without text") << "timer"
                                              << QStringList{QStringLiteral("--select"), QStringLiteral("0.0,0.7,1,0.3")}
                                              << "";
    QTest::newRow("rotated, cropped, selected")
        << "rotated"
        << QStringList{QStringLiteral("--rotate"), QStringLiteral("1"), QStringLiteral("--crop"),
                       QStringLiteral("0,0,0.5,0.5"), QStringLiteral("--select"), QStringLiteral("0.1,0.2,0.85,0.7")}
        << "12.345";
}

void TestTextRecognition::cli()
{
    QFETCH(QString, clip);
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    const QString path = clip == QLatin1String("timer") ? timerClip : rotatedClip;
    const testmedia::CliResult result =
        testmedia::runCli(QStringList{QStringLiteral("ocr"), path, QStringLiteral("4")} + options);
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(result.out, expected + QLatin1Char('\n'));
}

void TestTextRecognition::cli_failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("noData");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no language data") << QStringList{QStringLiteral("4")} << true << 1
                                      << "OCR: no English language data found";
    QTest::newRow("a frame past the end") << QStringList{QStringLiteral("500")} << false << 1 << "500";
    QTest::newRow("no index") << QStringList{} << false << 2 << "ocr takes a file and a frame index";
    QTest::newRow("a selection outside the frame")
        << QStringList{QStringLiteral("4"), QStringLiteral("--select"), QStringLiteral("0.8,0,0.5,1")} << false << 2
        << "--select";
    QTest::newRow("a selection of less than a pixel")
        << QStringList{QStringLiteral("4"), QStringLiteral("--select"), QStringLiteral("0.5,0.5,0.0001,0.5")} << false
        << 1 << "no whole pixel";
}

void TestTextRecognition::cli_failures()
{
    QFETCH(QStringList, args);
    QFETCH(bool, noData);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QTemporaryDir empty;
    EnvironmentGuard environment;
    if (noData) {
        environment.set("TESSDATA_PREFIX", QFile::encodeName(empty.path()));
        environment.set("HOME", QFile::encodeName(empty.path()));
    }
    const testmedia::CliResult result = testmedia::runCli(QStringList{QStringLiteral("ocr"), timerClip} + args);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(reason), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestTextRecognition)
#include "tst_textrecognition.moc"
