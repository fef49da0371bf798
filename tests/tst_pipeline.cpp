#include "FramePipeline.h"
#include "TestMedia.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <algorithm>

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(PipelineSettings)

namespace {

QSize sizeOf(const cv::Mat &m)
{
    return QSize(m.cols, m.rows);
}

// Colour of an 8-bit BGR pixel, as the eye reads it.
QColor colourAt(const cv::Mat &bgr, int x, int y)
{
    const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
    return QColor(p[2], p[1], p[0]);
}

cv::Mat uniform(int width, int height, int value)
{
    return cv::Mat(height, width, CV_8UC3, cv::Scalar(value, value, value));
}

// Difference between the brightest and the darkest channel value.
double spread(const cv::Mat &m)
{
    double low = 0.0;
    double high = 0.0;
    cv::minMaxLoc(m.reshape(1, m.rows), &low, &high);
    return high - low;
}

// A dull picture: channel values between 100 and 124 in a smooth pattern
// with some edges, so local and global equalisation both have work to do.
cv::Mat lowContrast()
{
    cv::Mat m(120, 160, CV_8UC3);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(100 + x / 8), static_cast<uchar>(105 + y / 6),
                                              static_cast<uchar>(110 + ((x / 10 + y / 10) % 2) * 10));
    return m;
}

PipelineSettings settingsWith(int upsample, int rotation, bool applyCrop = false, QRectF crop = QRectF(0, 0, 1, 1))
{
    PipelineSettings s;
    s.upsample = upsample;
    s.rotation = rotation;
    s.applyCrop = applyCrop;
    s.crop = crop;
    return s;
}

PipelineSettings enhanceWith(int enhance, int brightness)
{
    PipelineSettings s;
    s.enhance = enhance;
    s.brightness = brightness;
    return s;
}

}  // namespace

class TestPipeline : public QObject
{
    Q_OBJECT

private:
    FramePipeline pipeline;  // no models loaded

    cv::Mat run(const cv::Mat &raw, const PipelineSettings &settings)
    {
        QString error;
        const cv::Mat out = pipeline.process(raw, settings, &error);
        if (!error.isEmpty())
            qWarning("pipeline error: %s", qPrintable(error));
        return out;
    }

private Q_SLOTS:
    void upsampleFactor_data();
    void upsampleFactor();
    void modelFileName_data();
    void modelFileName();

    void noneAtHundredIsIdentity_data();
    void noneAtHundredIsIdentity();
    void brightnessMultiplies_data();
    void brightnessMultiplies();
    void gammaTable_data();
    void gammaTable();

    void geometry_data();
    void geometry();
    void markedPixelMoves_data();
    void markedPixelMoves();
    void cropPixelRect_data();
    void cropPixelRect();
    void upsamplingKeepsContent_data();
    void upsamplingKeepsContent();

    void enhanceSpread_data();
    void enhanceSpread();
    void histEqualAfterBrightness();
    void toneMappingOddSizes_data();
    void toneMappingOddSizes();
    void toneMappingCacheFollowsSize();

    void inputConversion_data();
    void inputConversion();
    void rawFrameUntouched_data();
    void rawFrameUntouched();
    void impossibleInput_data();
    void impossibleInput();
    void successClearsError();

    void pixmapColours_data();
    void pixmapColours();
    void pixmapNull_data();
    void pixmapNull();
    void pixmapOwnsPixels();

    void modelsMissing_data();
    void modelsMissing();
    void unusableModelFiles_data();
    void unusableModelFiles();
    void modelDirectoriesOrder();
};

void TestPipeline::upsampleFactor_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("factor");
    QTest::newRow("no upsample") << 0 << 1;
    QTest::newRow("4x bilinear") << 1 << 4;
    QTest::newRow("4x cubic") << 2 << 4;
    QTest::newRow("4x ESPCN") << 3 << 4;
    QTest::newRow("4x LapSRN") << 4 << 4;
    QTest::newRow("8x LapSRN") << 5 << 8;
    QTest::newRow("4x EDSR") << 6 << 4;
    QTest::newRow("unknown above") << 7 << 1;
    QTest::newRow("unknown below") << -1 << 1;
}

void TestPipeline::upsampleFactor()
{
    QFETCH(int, entry);
    QFETCH(int, factor);
    QCOMPARE(::upsampleFactor(entry), factor);
}

void TestPipeline::modelFileName_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("file");
    QTest::newRow("cubic has no model") << 2 << QString();
    QTest::newRow("ESPCN") << 3 << QStringLiteral("ESPCN_x4.pb");
    QTest::newRow("LapSRN x4") << 4 << QStringLiteral("LapSRN_x4.pb");
    QTest::newRow("LapSRN x8") << 5 << QStringLiteral("LapSRN_x8.pb");
    QTest::newRow("EDSR") << 6 << QStringLiteral("EDSR_x4.pb");
    QTest::newRow("unknown") << 7 << QString();
}

void TestPipeline::modelFileName()
{
    QFETCH(int, entry);
    QFETCH(QString, file);
    QCOMPARE(FramePipeline::modelFileName(entry), file);
}

void TestPipeline::noneAtHundredIsIdentity_data()
{
    QTest::addColumn<cv::Mat>("raw");
    cv::Mat noise(17, 33, CV_8UC3);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    QTest::newRow("index picture") << testmedia::indexFrame(1234, 160, 120);
    QTest::newRow("noise of odd size") << noise;
    QTest::newRow("white") << uniform(4, 3, 255);
}

void TestPipeline::noneAtHundredIsIdentity()
{
    QFETCH(cv::Mat, raw);
    const cv::Mat out = run(raw, PipelineSettings());
    QCOMPARE(out.type(), CV_8UC3);
    QCOMPARE(sizeOf(out), sizeOf(raw));
    QCOMPARE(cv::norm(out, raw, cv::NORM_INF), 0.0);
}

void TestPipeline::brightnessMultiplies_data()
{
    QTest::addColumn<int>("slider");
    QTest::addColumn<int>("in");
    QTest::addColumn<int>("expected");
    QTest::newRow("100 keeps 37") << 100 << 37 << 37;
    QTest::newRow("0 makes 200 black") << 0 << 200 << 0;
    QTest::newRow("0 makes 255 black") << 0 << 255 << 0;
    QTest::newRow("150 makes 100 into 150") << 150 << 100 << 150;
    QTest::newRow("150 saturates 200 at 255") << 150 << 200 << 255;
    QTest::newRow("50 halves 100") << 50 << 100 << 50;
    QTest::newRow("130 makes 100 into 130") << 130 << 100 << 130;
    QTest::newRow("200 doubles 100") << 200 << 100 << 200;
    QTest::newRow("below range acts as 0") << -40 << 200 << 0;
    QTest::newRow("above range acts as 200") << 260 << 100 << 200;
}

void TestPipeline::brightnessMultiplies()
{
    QFETCH(int, slider);
    QFETCH(int, in);
    QFETCH(int, expected);
    const cv::Mat out = run(uniform(5, 4, in), enhanceWith(0, slider));
    QCOMPARE(sizeOf(out), QSize(5, 4));
    QCOMPARE(colourAt(out, 0, 0), QColor(expected, expected, expected));
    QCOMPARE(colourAt(out, 4, 3), QColor(expected, expected, expected));
}

void TestPipeline::gammaTable_data()
{
    // Expected values are round((i / 255)^g * 255) with g = 2 - slider / 100:
    // g = 2 gives i * i / 255, g = 0.5 gives sqrt(255 * i).
    QTest::addColumn<int>("slider");
    QTest::addColumn<int>("in");
    QTest::addColumn<int>("expected");
    QTest::newRow("g 2: 0 stays 0") << 0 << 0 << 0;
    QTest::newRow("g 2: 1 -> 0.004 -> 0") << 0 << 1 << 0;
    QTest::newRow("g 2: 16 -> 1.004 -> 1") << 0 << 16 << 1;
    QTest::newRow("g 2: 100 -> 39.2 -> 39") << 0 << 100 << 39;
    QTest::newRow("g 2: 128 -> 64.25 -> 64 (darker, not black)") << 0 << 128 << 64;
    QTest::newRow("g 2: 200 -> 156.9 -> 157") << 0 << 200 << 157;
    QTest::newRow("g 2: 255 stays 255") << 0 << 255 << 255;
    QTest::newRow("g 1.5: 64 -> 32.06 -> 32") << 50 << 64 << 32;
    QTest::newRow("g 1: identity at 77") << 100 << 77 << 77;
    QTest::newRow("g 0.5: 1 -> 15.97 -> 16") << 150 << 1 << 16;
    QTest::newRow("g 0.5: 64 -> 127.75 -> 128") << 150 << 64 << 128;
    QTest::newRow("g 0: black becomes white") << 200 << 0 << 255;
    QTest::newRow("g 0: 1 becomes white") << 200 << 1 << 255;
    QTest::newRow("g 0: 128 becomes white") << 200 << 128 << 255;
}

void TestPipeline::gammaTable()
{
    QFETCH(int, slider);
    QFETCH(int, in);
    QFETCH(int, expected);
    const cv::Mat out = run(uniform(3, 2, in), enhanceWith(1, slider));
    QCOMPARE(out.type(), CV_8UC3);
    QCOMPARE(colourAt(out, 0, 0), QColor(expected, expected, expected));
    QCOMPARE(colourAt(out, 2, 1), QColor(expected, expected, expected));
}

void TestPipeline::geometry_data()
{
    QTest::addColumn<QSize>("in");
    QTest::addColumn<PipelineSettings>("settings");
    QTest::addColumn<QSize>("expected");

    const QSize hd(1920, 1080);
    const QSize vga(640, 480);
    QTest::newRow("no rotation") << hd << settingsWith(0, 0) << hd;
    QTest::newRow("90 CW turns 1920x1080 upright") << hd << settingsWith(0, 1) << QSize(1080, 1920);
    QTest::newRow("90 CCW turns 1920x1080 upright") << hd << settingsWith(0, 2) << QSize(1080, 1920);
    QTest::newRow("180 keeps the size") << hd << settingsWith(0, 3) << hd;
    QTest::newRow("flips keep the size") << hd << settingsWith(0, 4) << hd;
    QTest::newRow("unknown rotation does nothing") << hd << settingsWith(0, 9) << hd;
    // Half the width and a quarter of the height of the rotated 1080x1920
    // frame; of the unrotated frame it would be 960x270.
    QTest::newRow("crop fractions apply after 90 CW")
        << hd << settingsWith(0, 1, true, QRectF(0.0, 0.0, 0.5, 0.25)) << QSize(540, 480);
    QTest::newRow("4x bilinear on 640x480") << vga << settingsWith(1, 0) << QSize(2560, 1920);
    QTest::newRow("4x cubic on 640x480") << vga << settingsWith(2, 0) << QSize(2560, 1920);
    // 2560 * 0.333 = 852.48 and 1920 * 0.333 = 639.36, truncated; on the
    // 640x480 frame it would be 213x159.
    QTest::newRow("crop after 4x bilinear, truncated")
        << vga << settingsWith(1, 0, true, QRectF(0.1, 0.2, 0.333, 0.333)) << QSize(852, 639);
    QTest::newRow("4x bilinear then 90 CW") << QSize(64, 48) << settingsWith(1, 1) << QSize(192, 256);
    QTest::newRow("crop off leaves the frame") << vga << settingsWith(0, 0, false, QRectF(0, 0, 0.5, 0.5)) << vga;
    QTest::newRow("crop of zero width ignored") << vga << settingsWith(0, 0, true, QRectF(0.2, 0.2, 0.0, 0.5)) << vga;
    QTest::newRow("crop of negative height ignored")
        << vga << settingsWith(0, 0, true, QRectF(0.2, 0.2, 0.5, -0.5)) << vga;
    // x 480 + width 320 ends at 800, y 240 + height 360 at 600: clipped to 640x480.
    QTest::newRow("crop past the corner is clipped")
        << vga << settingsWith(0, 0, true, QRectF(0.75, 0.5, 0.5, 0.75)) << QSize(160, 240);
    // x -160 with width 320 keeps columns 0..159; y -240 with height 480 rows 0..239.
    QTest::newRow("crop before the origin is clipped")
        << vga << settingsWith(0, 0, true, QRectF(-0.25, -0.5, 0.5, 1.0)) << QSize(160, 240);
    QTest::newRow("crop wholly outside is ignored")
        << vga << settingsWith(0, 0, true, QRectF(1.5, 0.0, 0.5, 0.5)) << vga;
    QTest::newRow("crop of NaN origin is ignored")
        << vga << settingsWith(0, 0, true, QRectF(qQNaN(), 0.0, 0.5, 0.5)) << vga;
    QTest::newRow("missing ESPCN leaves the size") << vga << settingsWith(3, 0) << vga;
    QTest::newRow("missing LapSRN x4 leaves the size") << vga << settingsWith(4, 0) << vga;
    QTest::newRow("missing LapSRN x8 leaves the size") << vga << settingsWith(5, 0) << vga;
    QTest::newRow("missing EDSR leaves the size, rotation still applies") << vga << settingsWith(6, 2) << QSize(480, 640);
    QTest::newRow("unknown upsample leaves the size") << vga << settingsWith(12, 0) << vga;
}

void TestPipeline::geometry()
{
    QFETCH(QSize, in);
    QFETCH(PipelineSettings, settings);
    QFETCH(QSize, expected);
    const cv::Mat out = run(uniform(in.width(), in.height(), 90), settings);
    QCOMPARE(out.type(), CV_8UC3);
    QCOMPARE(sizeOf(out), expected);
}

void TestPipeline::markedPixelMoves_data()
{
    // A 5x3 black frame with one red pixel at (1, 0).
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("marked");
    QTest::newRow("no rotation") << 0 << QSize(5, 3) << QPoint(1, 0);
    // Clockwise: (x, y) -> (rows - 1 - y, x); the top row becomes the right column.
    QTest::newRow("90 CW") << 1 << QSize(3, 5) << QPoint(2, 1);
    // Counter-clockwise: (x, y) -> (y, columns - 1 - x).
    QTest::newRow("90 CCW") << 2 << QSize(3, 5) << QPoint(0, 3);
    QTest::newRow("180") << 3 << QSize(5, 3) << QPoint(3, 2);
    QTest::newRow("flip horizontal mirrors left to right") << 4 << QSize(5, 3) << QPoint(3, 0);
    QTest::newRow("flip vertical turns upside down") << 5 << QSize(5, 3) << QPoint(1, 2);
}

void TestPipeline::markedPixelMoves()
{
    QFETCH(int, rotation);
    QFETCH(QSize, size);
    QFETCH(QPoint, marked);
    cv::Mat raw = uniform(5, 3, 0);
    raw.at<cv::Vec3b>(0, 1) = cv::Vec3b(0, 0, 255);
    const cv::Mat out = run(raw, settingsWith(0, rotation));
    QCOMPARE(sizeOf(out), size);
    QCOMPARE(colourAt(out, marked.x(), marked.y()), QColor(255, 0, 0));
    cv::Mat grey;
    cv::cvtColor(out, grey, cv::COLOR_BGR2GRAY);
    QCOMPARE(cv::countNonZero(grey), 1);
}

void TestPipeline::cropPixelRect_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QRectF>("crop");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("whole frame") << QSize(640, 480) << QRectF(0, 0, 1, 1) << QRect(0, 0, 640, 480);
    QTest::newRow("quarters") << QSize(640, 480) << QRectF(0.25, 0.25, 0.5, 0.5) << QRect(160, 120, 320, 240);
    // 1000 * 0.1234 = 123.4 and 1000 * 0.4567 = 456.7 are truncated.
    QTest::newRow("truncated toward zero")
        << QSize(1000, 100) << QRectF(0.1234, 0.5, 0.4567, 0.25) << QRect(123, 50, 456, 25);
    QTest::newRow("clipped at the far edges") << QSize(640, 480) << QRectF(0.75, 0.5, 0.5, 0.75) << QRect(480, 240, 160, 240);
    QTest::newRow("clipped at the origin") << QSize(640, 480) << QRectF(-0.25, -0.5, 0.5, 1.0) << QRect(0, 0, 160, 240);
    QTest::newRow("outside on the right") << QSize(640, 480) << QRectF(1.0, 0.0, 0.5, 0.5) << QRect();
    QTest::newRow("outside above") << QSize(640, 480) << QRectF(0.0, -2.0, 0.5, 0.5) << QRect();
    QTest::newRow("narrower than a pixel") << QSize(640, 480) << QRectF(0.5, 0.5, 0.001, 0.5) << QRect();
    QTest::newRow("huge fractions clipped") << QSize(640, 480) << QRectF(-1e300, -1e300, 1e301, 1e301) << QRect(0, 0, 640, 480);
    QTest::newRow("infinite width") << QSize(640, 480) << QRectF(0.0, 0.0, qInf(), 0.5) << QRect();
}

void TestPipeline::cropPixelRect()
{
    QFETCH(QSize, frame);
    QFETCH(QRectF, crop);
    QFETCH(QRect, expected);
    const cv::Rect r = ::cropPixelRect(cv::Size(frame.width(), frame.height()), crop);
    const QRect got = r.empty() ? QRect() : QRect(r.x, r.y, r.width, r.height);
    QCOMPARE(got, expected);
}

void TestPipeline::upsamplingKeepsContent_data()
{
    QTest::addColumn<int>("upsample");
    QTest::newRow("4x bilinear") << 1;
    QTest::newRow("4x cubic") << 2;
}

void TestPipeline::upsamplingKeepsContent()
{
    QFETCH(int, upsample);
    const cv::Mat out = run(testmedia::indexFrame(4321, 80, 60), settingsWith(upsample, 0));
    QCOMPARE(sizeOf(out), QSize(320, 240));
    QCOMPARE(testmedia::readIndex(out), 4321);
}

void TestPipeline::enhanceSpread_data()
{
    QTest::addColumn<int>("enhance");
    QTest::addColumn<bool>("widens");
    QTest::newRow("None at 100 keeps the spread") << 0 << false;
    QTest::newRow("Gamma at 100 keeps the spread") << 1 << false;
    QTest::newRow("Retina ToneMapping widens it") << 2 << true;
    QTest::newRow("Hist Equal widens it") << 3 << true;
    QTest::newRow("CLAHE widens it") << 4 << true;
}

void TestPipeline::enhanceSpread()
{
    QFETCH(int, enhance);
    QFETCH(bool, widens);
    const cv::Mat raw = lowContrast();
    const cv::Mat out = run(raw, enhanceWith(enhance, 100));
    QCOMPARE(out.type(), CV_8UC3);
    QCOMPARE(sizeOf(out), sizeOf(raw));
    const double before = spread(raw);
    QCOMPARE(before, 24.0);
    if (widens)
        QVERIFY2(spread(out) >= 2 * before, qPrintable(QStringLiteral("spread %1").arg(spread(out))));
    else
        QCOMPARE(spread(out), before);
}

void TestPipeline::histEqualAfterBrightness()
{
    // Brightness first: at slider 0 the frame is black before equalisation,
    // and a single-valued lightness plane stays as it is.
    const cv::Mat out = run(lowContrast(), enhanceWith(3, 0));
    QCOMPARE(sizeOf(out), QSize(160, 120));
    QCOMPARE(spread(out), 0.0);
    QCOMPARE(colourAt(out, 10, 10), QColor(0, 0, 0));
}

void TestPipeline::toneMappingOddSizes_data()
{
    QTest::addColumn<QSize>("in");
    QTest::addColumn<PipelineSettings>("settings");
    QTest::addColumn<QSize>("expected");
    PipelineSettings toneMap = enhanceWith(2, 100);
    QTest::newRow("one pixel") << QSize(1, 1) << toneMap << QSize(1, 1);
    QTest::newRow("one column") << QSize(1, 40) << toneMap << QSize(1, 40);
    QTest::newRow("one row") << QSize(40, 1) << toneMap << QSize(40, 1);
    QTest::newRow("just below the padding size") << QSize(15, 15) << toneMap << QSize(15, 15);
    QTest::newRow("odd size") << QSize(33, 17) << toneMap << QSize(33, 17);
    PipelineSettings cropped = toneMap;
    cropped.applyCrop = true;
    cropped.crop = QRectF(0.25, 0.25, 0.5, 0.5);
    QTest::newRow("cropped view") << QSize(64, 48) << cropped << QSize(32, 24);
}

void TestPipeline::toneMappingOddSizes()
{
    QFETCH(QSize, in);
    QFETCH(PipelineSettings, settings);
    QFETCH(QSize, expected);
    cv::Mat raw(in.height(), in.width(), CV_8UC3);
    cv::RNG rng(3);
    rng.fill(raw, cv::RNG::UNIFORM, 60, 160);
    QString error;
    const cv::Mat out = pipeline.process(raw, settings, &error);
    QCOMPARE(error, QString());
    QCOMPARE(out.type(), CV_8UC3);
    QCOMPARE(sizeOf(out), expected);
}

void TestPipeline::toneMappingCacheFollowsSize()
{
    // The tone-mapping model is kept per frame size: switching sizes and back
    // must give the same picture as the first run.
    const cv::Mat a = lowContrast();
    const cv::Mat b = testmedia::indexFrame(77, 48, 32);
    const PipelineSettings s = enhanceWith(2, 100);
    const cv::Mat first = run(a, s).clone();
    const cv::Mat other = run(b, s);
    QCOMPARE(sizeOf(other), QSize(48, 32));
    const cv::Mat again = run(a, s);
    QCOMPARE(sizeOf(again), sizeOf(first));
    QCOMPARE(cv::norm(again, first, cv::NORM_INF), 0.0);
}

void TestPipeline::inputConversion_data()
{
    QTest::addColumn<cv::Mat>("raw");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("grey") << cv::Mat(2, 3, CV_8UC1, cv::Scalar(90)) << QColor(90, 90, 90);
    QTest::newRow("BGRA drops alpha") << cv::Mat(2, 3, CV_8UC4, cv::Scalar(10, 20, 30, 77)) << QColor(30, 20, 10);
    QTest::newRow("16-bit BGR saturates") << cv::Mat(2, 3, CV_16UC3, cv::Scalar(300, 20, 5)) << QColor(5, 20, 255);
    QTest::newRow("float grey rounds") << cv::Mat(2, 3, CV_32FC1, cv::Scalar(37.6)) << QColor(38, 38, 38);
    QTest::newRow("float BGRA") << cv::Mat(2, 3, CV_32FC4, cv::Scalar(-4.0, 1.4, 254.6, 0.0)) << QColor(255, 1, 0);
}

void TestPipeline::inputConversion()
{
    QFETCH(cv::Mat, raw);
    QFETCH(QColor, expected);
    const cv::Mat out = run(raw, PipelineSettings());
    QCOMPARE(out.type(), CV_8UC3);
    QCOMPARE(sizeOf(out), QSize(3, 2));
    QCOMPARE(colourAt(out, 2, 1), expected);
}

void TestPipeline::rawFrameUntouched_data()
{
    QTest::addColumn<cv::Mat>("raw");
    QTest::addColumn<PipelineSettings>("settings");
    const cv::Mat bgr = testmedia::indexFrame(99, 64, 48);
    PipelineSettings cropDark = enhanceWith(0, 0);
    cropDark.applyCrop = true;
    cropDark.crop = QRectF(0.25, 0.25, 0.5, 0.5);
    QTest::newRow("multiply to black") << bgr << enhanceWith(0, 0);
    QTest::newRow("multiply to black through a crop") << bgr << cropDark;
    QTest::newRow("gamma") << bgr << enhanceWith(1, 30);
    QTest::newRow("tone mapping") << bgr << enhanceWith(2, 150);
    QTest::newRow("hist equal") << bgr << enhanceWith(3, 120);
    QTest::newRow("CLAHE") << bgr << enhanceWith(4, 80);
    QTest::newRow("upsample and rotate") << bgr << settingsWith(1, 1);
    QTest::newRow("crop view of the raw frame") << cv::Mat(bgr, cv::Rect(8, 8, 32, 24)) << enhanceWith(0, 0);
}

void TestPipeline::rawFrameUntouched()
{
    QFETCH(cv::Mat, raw);
    QFETCH(PipelineSettings, settings);
    const cv::Mat before = raw.clone();
    const cv::Mat out = run(raw, settings);
    QVERIFY(!out.empty());
    QCOMPARE(cv::norm(raw, before, cv::NORM_INF), 0.0);
}

void TestPipeline::impossibleInput_data()
{
    QTest::addColumn<cv::Mat>("raw");
    QTest::addColumn<PipelineSettings>("settings");
    const int dims[3] = {4, 4, 4};
    cv::Mat fiveChannels(4, 4, CV_8UC(5));
    std::fill(fiveChannels.data, fiveChannels.data + fiveChannels.total() * fiveChannels.elemSize(), uchar(3));
    QTest::newRow("empty frame") << cv::Mat() << PipelineSettings();
    QTest::newRow("two channels") << cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 2)) << PipelineSettings();
    QTest::newRow("five channels") << fiveChannels << enhanceWith(3, 100);
    QTest::newRow("three-dimensional") << cv::Mat(3, dims, CV_8UC3, cv::Scalar::all(5)) << settingsWith(0, 1);
}

void TestPipeline::impossibleInput()
{
    QFETCH(cv::Mat, raw);
    QFETCH(PipelineSettings, settings);
    QString error;
    cv::Mat out;
    QVERIFY_THROWS_NO_EXCEPTION(out = pipeline.process(raw, settings, &error));
    QVERIFY(out.empty());
    QVERIFY(!error.isEmpty());
    // Without an error text to fill, it must not fail either.
    QVERIFY_THROWS_NO_EXCEPTION(out = pipeline.process(raw, settings));
    QVERIFY(out.empty());
}

void TestPipeline::successClearsError()
{
    QString error = QStringLiteral("earlier failure");
    const cv::Mat out = pipeline.process(uniform(2, 2, 10), PipelineSettings(), &error);
    QCOMPARE(sizeOf(out), QSize(2, 2));
    QCOMPARE(error, QString());
}

void TestPipeline::pixmapColours_data()
{
    QTest::addColumn<cv::Mat>("frame");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("expected");
    QTest::addColumn<QSize>("size");

    // Every pixel differs, so a wrong row length or channel order shows.
    cv::Mat grey(2, 3, CV_8UC1);
    cv::Mat bgr(2, 3, CV_8UC3);
    cv::Mat bgra(2, 3, CV_8UC4);
    cv::Mat big(4, 5, CV_8UC4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const auto v = static_cast<uchar>(10 * x + 60 * y);
            if (y < 2 && x < 3) {
                grey.at<uchar>(y, x) = v;
                bgr.at<cv::Vec3b>(y, x) = cv::Vec3b(v, static_cast<uchar>(v + 1), static_cast<uchar>(v + 2));
                bgra.at<cv::Vec4b>(y, x) = cv::Vec4b(v, static_cast<uchar>(v + 1), static_cast<uchar>(v + 2), 0);
            }
            big.at<cv::Vec4b>(y, x) = cv::Vec4b(v, static_cast<uchar>(v + 1), static_cast<uchar>(v + 2), 128);
        }
    // Pixel (2, 1): v = 20 + 60 = 80.
    QTest::newRow("grey is opaque grey") << grey << QPoint(2, 1) << QColor(80, 80, 80) << QSize(3, 2);
    QTest::newRow("BGR is RGB") << bgr << QPoint(2, 1) << QColor(82, 81, 80) << QSize(3, 2);
    QTest::newRow("BGRA with alpha 0 is opaque") << bgra << QPoint(2, 1) << QColor(82, 81, 80) << QSize(3, 2);
    QTest::newRow("BGR first pixel") << bgr << QPoint(0, 0) << QColor(2, 1, 0) << QSize(3, 2);
    // View from (1, 1): its (2, 1) is (3, 2) of the big frame, v = 30 + 120 = 150.
    QTest::newRow("BGRA view keeps its row length")
        << cv::Mat(big, cv::Rect(1, 1, 3, 2)) << QPoint(2, 1) << QColor(152, 151, 150) << QSize(3, 2);
    cv::Mat bigBgr;
    cv::cvtColor(big, bigBgr, cv::COLOR_BGRA2BGR);
    QTest::newRow("BGR view") << cv::Mat(bigBgr, cv::Rect(1, 1, 3, 2)) << QPoint(0, 1) << QColor(132, 131, 130)
                              << QSize(3, 2);
    QTest::newRow("16-bit grey saturates") << cv::Mat(1, 2, CV_16UC1, cv::Scalar(300)) << QPoint(1, 0)
                                           << QColor(255, 255, 255) << QSize(2, 1);
}

void TestPipeline::pixmapColours()
{
    QFETCH(cv::Mat, frame);
    QFETCH(QPoint, at);
    QFETCH(QColor, expected);
    QFETCH(QSize, size);
    const QPixmap pixmap = MakeDisplayPixmap(frame);
    QCOMPARE(pixmap.size(), size);
    QCOMPARE(pixmap.hasAlphaChannel(), false);
    const QImage image = pixmap.toImage();
    QCOMPARE(image.pixelColor(at), expected);
    QCOMPARE(image.pixelColor(at).alpha(), 255);
}

void TestPipeline::pixmapNull_data()
{
    QTest::addColumn<cv::Mat>("frame");
    QTest::newRow("empty") << cv::Mat();
    QTest::newRow("two channels") << cv::Mat(2, 2, CV_8UC2, cv::Scalar(1, 2));
}

void TestPipeline::pixmapNull()
{
    QFETCH(cv::Mat, frame);
    QCOMPARE(MakeDisplayPixmap(frame).isNull(), true);
}

void TestPipeline::pixmapOwnsPixels()
{
    cv::Mat frame(2, 2, CV_8UC4, cv::Scalar(10, 20, 30, 255));
    const QPixmap pixmap = MakeDisplayPixmap(frame);
    frame.setTo(cv::Scalar(200, 200, 200, 255));
    frame.release();
    QCOMPARE(pixmap.toImage().pixelColor(1, 1), QColor(30, 20, 10));
}

void TestPipeline::modelsMissing_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<bool>("available");
    QTest::newRow("no upsample") << 0 << true;
    QTest::newRow("bilinear") << 1 << true;
    QTest::newRow("cubic") << 2 << true;
    QTest::newRow("ESPCN") << 3 << false;
    QTest::newRow("LapSRN x4") << 4 << false;
    QTest::newRow("LapSRN x8") << 5 << false;
    QTest::newRow("EDSR") << 6 << false;
    QTest::newRow("unknown") << 7 << false;
    QTest::newRow("negative") << -1 << false;
}

void TestPipeline::modelsMissing()
{
    QFETCH(int, entry);
    QFETCH(bool, available);
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    FramePipeline local;
    const int loaded =
        local.loadModels({empty.filePath(QStringLiteral("does-not-exist")), empty.path(), QString()});
    QCOMPARE(loaded, 0);
    QCOMPARE(local.upsampleAvailable(entry), available);
    QString error;
    const cv::Mat out = local.process(uniform(40, 30, 50), settingsWith(entry, 0), &error);
    QCOMPARE(error, QString());
    const int factor = available ? ::upsampleFactor(entry) : 1;
    QCOMPARE(sizeOf(out), QSize(40 * factor, 30 * factor));
}

void TestPipeline::unusableModelFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("text") << QByteArray("this is not a network\n");
    QTest::newRow("binary noise") << QByteArray("\x0a\xff\x12\x03\x99\x00\x7f", 7);
}

void TestPipeline::unusableModelFiles()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (int entry = 3; entry <= 6; ++entry) {
        QFile file(dir.filePath(FramePipeline::modelFileName(entry)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    FramePipeline local;
    QCOMPARE(local.loadModels({dir.path()}), 0);
    for (int entry = 3; entry <= 6; ++entry)
        QCOMPARE(local.upsampleAvailable(entry), false);
    const cv::Mat out = local.process(uniform(8, 6, 50), settingsWith(3, 0));
    QCOMPARE(sizeOf(out), QSize(8, 6));
}

void TestPipeline::modelDirectoriesOrder()
{
    const QStringList dirs = FramePipeline::modelDirectories();
    QCOMPARE(dirs.size(), 2);
    QCOMPARE(dirs.at(0), QCoreApplication::applicationDirPath());
    QCOMPARE(dirs.at(1), QString(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                 + QStringLiteral("/models")));
}

QTEST_MAIN(TestPipeline)
#include "tst_pipeline.moc"
