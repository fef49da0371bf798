#include "FramePipeline.h"
#include "TestMedia.h"

#include <QColor>
#include <QImage>
#include <QtTest>

#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(PipelineSettings)

namespace {

QSize sizeOf(const cv::Mat &m) { return QSize(m.cols, m.rows); }
cv::Mat uniform(int width, int height, int value) { return cv::Mat(height, width, CV_8UC3, cv::Scalar::all(value)); }

// Colour of an 8-bit BGR pixel, as the eye reads it.
QColor colourAt(const cv::Mat &bgr, int x, int y)
{
    const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
    return QColor(p[2], p[1], p[0]);
}

// Difference between the brightest and the darkest channel value.
double spread(const cv::Mat &m)
{
    double low = 0.0, high = 0.0;
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

// A null crop leaves cropping off.
PipelineSettings make(int upsample, int rotation, QRectF crop = QRectF(), int enhance = 0, int brightness = 100)
{
    return PipelineSettings{upsample, rotation, !crop.isNull(), crop.isNull() ? QRectF(0, 0, 1, 1) : crop,
                            brightness, enhance};
}
PipelineSettings enhanceWith(int enhance, int brightness) { return make(0, 0, QRectF(), enhance, brightness); }

}  // namespace

class TestPipeline : public QObject
{
    Q_OBJECT

    FramePipeline pipeline;  // no models loaded

    cv::Mat run(const cv::Mat &raw, const PipelineSettings &settings)
    {
        QString error;
        const cv::Mat out = pipeline.process(raw, settings, &error);
        return error.isEmpty() ? out : (qWarning("pipeline error: %s", qPrintable(error)), cv::Mat());
    }

private Q_SLOTS:
    void colours_data()
    {
        // Multiply (enhance 0): value * slider / 100, saturated, slider clamped to
        // 0..200. Gamma (enhance 1): round((i / 255)^g * 255) with g = 2 - slider / 100,
        // so g = 2 gives i * i / 255 and g = 0.5 gives sqrt(255 * i).
        QTest::addColumn<cv::Mat>("raw");
        QTest::addColumn<PipelineSettings>("settings");
        QTest::addColumn<QColor>("expected");
        const auto grey = [](int v) { return QColor(v, v, v); };
        QTest::newRow("x0 makes 255 black") << uniform(5, 4, 255) << enhanceWith(0, 0) << grey(0);
        QTest::newRow("x1.5: 100 -> 150") << uniform(5, 4, 100) << enhanceWith(0, 150) << grey(150);
        QTest::newRow("x1.5 saturates 200 at 255") << uniform(5, 4, 200) << enhanceWith(0, 150) << grey(255);
        QTest::newRow("x0.5 halves 100") << uniform(5, 4, 100) << enhanceWith(0, 50) << grey(50);
        QTest::newRow("below range acts as 0") << uniform(5, 4, 200) << enhanceWith(0, -40) << grey(0);
        QTest::newRow("above range acts as 200") << uniform(5, 4, 100) << enhanceWith(0, 260) << grey(200);
        QTest::newRow("g 2: 16 -> 1.004 -> 1") << uniform(5, 4, 16) << enhanceWith(1, 0) << grey(1);
        QTest::newRow("g 2: 128 -> 64.25 -> 64") << uniform(5, 4, 128) << enhanceWith(1, 0) << grey(64);
        QTest::newRow("g 1.5: 64 -> 32.06 -> 32") << uniform(5, 4, 64) << enhanceWith(1, 50) << grey(32);
        QTest::newRow("g 1: identity at 77") << uniform(5, 4, 77) << enhanceWith(1, 100) << grey(77);
        QTest::newRow("g 0.5: 1 -> 15.97 -> 16") << uniform(5, 4, 1) << enhanceWith(1, 150) << grey(16);
        QTest::newRow("g 0.5: 64 -> 127.75 -> 128") << uniform(5, 4, 64) << enhanceWith(1, 150) << grey(128);
        QTest::newRow("g 0: black becomes white") << uniform(5, 4, 0) << enhanceWith(1, 200) << grey(255);
        // Other inputs become 8-bit BGR first.
        const PipelineSettings none;
        const auto mat = [](int type, cv::Scalar value) { return cv::Mat(2, 3, type, value); };
        QTest::newRow("grey input") << mat(CV_8UC1, {90}) << none << grey(90);
        QTest::newRow("BGRA drops alpha") << mat(CV_8UC4, {10, 20, 30, 77}) << none << QColor(30, 20, 10);
        QTest::newRow("16-bit BGR saturates") << mat(CV_16UC3, {300, 20, 5}) << none << QColor(5, 20, 255);
        QTest::newRow("float BGRA rounds") << mat(CV_32FC4, {-4, 1.4, 254.6, 0}) << none << QColor(255, 1, 0);
    }

    void colours()
    {
        QFETCH(cv::Mat, raw);
        QFETCH(PipelineSettings, settings);
        QFETCH(QColor, expected);
        const cv::Mat out = run(raw, settings);
        QCOMPARE(out.type(), CV_8UC3);
        QCOMPARE(sizeOf(out), sizeOf(raw));
        QCOMPARE(colourAt(out, 0, 0), expected);
        QCOMPARE(colourAt(out, raw.cols - 1, raw.rows - 1), expected);
    }

    void geometry_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<PipelineSettings>("settings");
        QTest::addColumn<QSize>("expected");
        const QSize hd(1920, 1080);
        const QSize vga(640, 480);
        QTest::newRow("90 CW turns 1920x1080 upright") << hd << make(0, 1) << QSize(1080, 1920);
        QTest::newRow("90 CCW turns 1920x1080 upright") << hd << make(0, 2) << QSize(1080, 1920);
        QTest::newRow("unknown rotation does nothing") << hd << make(0, 9) << hd;
        // Half the width and a quarter of the height of the rotated 1080x1920
        // frame; of the unrotated frame it would be 960x270.
        QTest::newRow("crop after 90 CW") << hd << make(0, 1, QRectF(0, 0, 0.5, 0.25)) << QSize(540, 480);
        QTest::newRow("4x bilinear") << vga << make(1, 0) << QSize(2560, 1920);
        QTest::newRow("4x cubic") << vga << make(2, 0) << QSize(2560, 1920);
        // 2560 * 0.333 = 852.48 and 1920 * 0.333 = 639.36, truncated; on the
        // 640x480 frame it would be 213x159.
        QTest::newRow("crop after 4x") << vga << make(1, 0, QRectF(.1, .2, .333, .333)) << QSize(852, 639);
        PipelineSettings cropOff = make(0, 0, QRectF(0, 0, 0.5, 0.5));
        cropOff.applyCrop = false;
        QTest::newRow("crop off leaves the frame") << vga << cropOff << vga;
        // x 480 + width 320 ends at 800, y 240 + height 360 at 600: clipped to 640x480.
        QTest::newRow("crop past the corner") << vga << make(0, 0, QRectF(0.75, 0.5, 0.5, 0.75)) << QSize(160, 240);
        QTest::newRow("crop wholly outside is ignored") << vga << make(0, 0, QRectF(1.5, 0, 0.5, 0.5)) << vga;
        QTest::newRow("missing EDSR, rotation still applies") << vga << make(6, 2) << QSize(480, 640);
        // The tone-mapping model needs frames of at least 16x16: smaller ones are padded.
        QTest::newRow("tone mapping one pixel") << QSize(1, 1) << enhanceWith(2, 100) << QSize(1, 1);
        QTest::newRow("tone mapping odd size") << QSize(33, 17) << enhanceWith(2, 100) << QSize(33, 17);
        QTest::newRow("tone mapping a view") << QSize(64, 48) << make(0, 0, QRectF(.25, .25, .5, .5), 2) << QSize(32, 24);
    }

    void geometry()
    {
        QFETCH(QSize, in);
        QFETCH(PipelineSettings, settings);
        QFETCH(QSize, expected);
        cv::Mat raw(in.height(), in.width(), CV_8UC3);
        cv::RNG(3).fill(raw, cv::RNG::UNIFORM, 60, 160);
        const cv::Mat out = run(raw, settings);
        QCOMPARE(out.type(), CV_8UC3);
        QCOMPARE(sizeOf(out), expected);
    }

    void markedPixelMoves_data()
    {
        // A 5x3 black frame with one red pixel at (1, 0); 90 CW maps (x, y) to (rows - 1 - y, x).
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("marked");
        QTest::newRow("no rotation") << 0 << QSize(5, 3) << QPoint(1, 0);
        QTest::newRow("90 CW") << 1 << QSize(3, 5) << QPoint(2, 1);
        QTest::newRow("90 CCW") << 2 << QSize(3, 5) << QPoint(0, 3);
        QTest::newRow("180") << 3 << QSize(5, 3) << QPoint(3, 2);
        QTest::newRow("flip horizontal mirrors left to right") << 4 << QSize(5, 3) << QPoint(3, 0);
        QTest::newRow("flip vertical turns upside down") << 5 << QSize(5, 3) << QPoint(1, 2);
    }

    void markedPixelMoves()
    {
        QFETCH(int, rotation);
        QFETCH(QSize, size);
        QFETCH(QPoint, marked);
        cv::Mat raw = uniform(5, 3, 0);
        raw.at<cv::Vec3b>(0, 1) = cv::Vec3b(0, 0, 255);
        const cv::Mat out = run(raw, make(0, rotation));
        QCOMPARE(sizeOf(out), size);
        QCOMPARE(colourAt(out, marked.x(), marked.y()), QColor(255, 0, 0));
        cv::Mat grey;
        cv::cvtColor(out, grey, cv::COLOR_BGR2GRAY);
        QCOMPARE(cv::countNonZero(grey), 1);
    }

    void cropPixelRect_data()
    {
        QTest::addColumn<QRectF>("crop");
        QTest::addColumn<QRect>("expected");  // in a 1000x100 frame
        // 1000 * 0.1234 = 123.4 and 1000 * 0.4567 = 456.7 are truncated.
        QTest::newRow("truncated toward zero") << QRectF(0.1234, 0.5, 0.4567, 0.25) << QRect(123, 50, 456, 25);
        QTest::newRow("clipped at the far edges") << QRectF(0.75, 0.5, 0.5, 0.75) << QRect(750, 50, 250, 50);
        QTest::newRow("clipped at the origin") << QRectF(-0.25, -0.5, 0.5, 1.0) << QRect(0, 0, 250, 50);
        QTest::newRow("narrower than a pixel") << QRectF(0.5, 0.5, 0.0005, 0.5) << QRect();
        QTest::newRow("huge fractions clipped") << QRectF(-1e300, -1e300, 1e301, 1e301) << QRect(0, 0, 1000, 100);
        QTest::newRow("infinite width") << QRectF(0.0, 0.0, qInf(), 0.5) << QRect();
        QTest::newRow("NaN origin") << QRectF(qQNaN(), 0.0, 0.5, 0.5) << QRect();
    }

    void cropPixelRect()
    {
        QFETCH(QRectF, crop);
        QFETCH(QRect, expected);
        const cv::Rect r = ::cropPixelRect(cv::Size(1000, 100), crop);
        QCOMPARE(r.empty() ? QRect() : QRect(r.x, r.y, r.width, r.height), expected);
    }

    void enhanceSpread_data()
    {
        QTest::addColumn<int>("enhance");
        QTest::newRow("Retina ToneMapping widens it") << 2;
        QTest::newRow("Hist Equal widens it") << 3;
        QTest::newRow("CLAHE widens it") << 4;
    }

    void enhanceSpread()
    {
        QFETCH(int, enhance);
        const cv::Mat raw = lowContrast();
        const cv::Mat out = run(raw, enhanceWith(enhance, 100));
        QCOMPARE(out.type(), CV_8UC3);
        QCOMPARE(sizeOf(out), sizeOf(raw));
        QCOMPARE(spread(raw), 24.0);
        QVERIFY2(spread(out) >= 48.0, qPrintable(QStringLiteral("spread %1").arg(spread(out))));
    }

    void rawFrameUntouched_data()
    {
        QTest::addColumn<cv::Mat>("raw");
        QTest::addColumn<PipelineSettings>("settings");
        const cv::Mat bgr = testmedia::indexFrame(99, 64, 48);
        const QRectF quarter(0.25, 0.25, 0.5, 0.5);
        QTest::newRow("unchanged frame may be shared") << bgr << PipelineSettings();
        QTest::newRow("multiply to black") << bgr << enhanceWith(0, 0);
        QTest::newRow("multiply to black through a crop") << bgr << make(0, 0, quarter, 0, 0);
        QTest::newRow("gamma") << bgr << enhanceWith(1, 30);
        QTest::newRow("tone mapping") << bgr << enhanceWith(2, 150);
        QTest::newRow("hist equal") << bgr << enhanceWith(3, 100);
        QTest::newRow("CLAHE") << bgr << make(0, 0, quarter, 4, 100);
        QTest::newRow("crop view of the raw frame") << cv::Mat(bgr, cv::Rect(8, 8, 32, 24)) << enhanceWith(3, 80);
    }

    void rawFrameUntouched()
    {
        QFETCH(cv::Mat, raw);
        QFETCH(PipelineSettings, settings);
        const cv::Mat before = raw.clone();
        const cv::Mat out = run(raw, settings);
        QVERIFY(!out.empty());
        QCOMPARE(cv::norm(raw, before, cv::NORM_INF), 0.0);
        if (settings.enhance == 0 && settings.brightness == 100)
            QCOMPARE(cv::norm(out, before, cv::NORM_INF), 0.0);
    }

    void impossibleInput_data()
    {
        QTest::addColumn<cv::Mat>("raw");
        QTest::addColumn<PipelineSettings>("settings");
        const int dims[3] = {4, 4, 4};
        QTest::newRow("empty frame") << cv::Mat() << PipelineSettings();
        QTest::newRow("two channels") << cv::Mat(4, 4, CV_8UC2, cv::Scalar(1, 2)) << PipelineSettings();
        QTest::newRow("five channels") << cv::Mat(cv::Mat::zeros(4, 4, CV_8UC(5))) << enhanceWith(3, 100);
        QTest::newRow("three-dimensional") << cv::Mat(3, dims, CV_8UC3, cv::Scalar::all(5)) << make(0, 1);
    }

    void impossibleInput()
    {
        QFETCH(cv::Mat, raw);
        QFETCH(PipelineSettings, settings);
        QString error;
        cv::Mat out{1, 1, CV_8UC3};
        QVERIFY_THROWS_NO_EXCEPTION(out = pipeline.process(raw, settings, &error));
        QVERIFY(out.empty());
        QVERIFY(!error.isEmpty());
        QVERIFY_THROWS_NO_EXCEPTION(out = pipeline.process(raw, settings));  // no error text to fill
        QVERIFY(out.empty());
        // The next good frame clears the error.
        QCOMPARE(sizeOf(pipeline.process(uniform(2, 2, 10), settings, &error)), QSize(2, 2));
        QCOMPARE(error, QString());
    }

    void pixmap_data()
    {
        QTest::addColumn<cv::Mat>("frame");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QColor>("expected");  // invalid: a null pixmap
        // Every pixel differs, so a wrong row length or channel order shows.
        cv::Mat big(4, 5, CV_8UC4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const auto v = static_cast<uchar>(10 * x + 60 * y);
                big.at<cv::Vec4b>(y, x) = cv::Vec4b(v, static_cast<uchar>(v + 1), static_cast<uchar>(v + 2), 0);
            }
        cv::Mat bgr, grey;
        cv::cvtColor(big, bgr, cv::COLOR_BGRA2BGR);
        cv::extractChannel(big, grey, 0);
        const cv::Rect view(1, 1, 3, 2);
        // Pixel (2, 1): v = 20 + 60 = 80; in the view it is (3, 2) of the frame, v = 150.
        QTest::newRow("grey is opaque grey") << grey << QPoint(2, 1) << QColor(80, 80, 80);
        QTest::newRow("BGR is RGB") << bgr << QPoint(2, 1) << QColor(82, 81, 80);
        QTest::newRow("BGRA with alpha 0 is opaque") << big << QPoint(2, 1) << QColor(82, 81, 80);
        QTest::newRow("BGRA view keeps its row length") << cv::Mat(big, view) << QPoint(2, 1) << QColor(152, 151, 150);
        QTest::newRow("BGR view") << cv::Mat(bgr, view) << QPoint(0, 1) << QColor(132, 131, 130);
        QTest::newRow("grey view") << cv::Mat(grey, view) << QPoint(2, 1) << QColor(150, 150, 150);
        QTest::newRow("16-bit grey saturates") << cv::Mat(1, 2, CV_16UC1, {300}) << QPoint(1, 0) << QColor(Qt::white);
        QTest::newRow("empty is null") << cv::Mat() << QPoint() << QColor();
        QTest::newRow("two channels is null") << cv::Mat(2, 2, CV_8UC2, cv::Scalar(1, 2)) << QPoint() << QColor();
    }

    void pixmap()
    {
        QFETCH(cv::Mat, frame);
        QFETCH(QPoint, at);
        QFETCH(QColor, expected);
        const QPixmap pixmap = MakeDisplayPixmap(frame);
        QCOMPARE(pixmap.isNull(), !expected.isValid());
        if (pixmap.isNull())
            return;
        QCOMPARE(pixmap.size(), sizeOf(frame));
        QCOMPARE(pixmap.hasAlphaChannel(), false);
        const QImage image = pixmap.toImage();
        QCOMPARE(image.pixelColor(at), expected);
        QCOMPARE(image.pixelColor(at).alpha(), 255);
    }

    void pixmapOwnsPixels()
    {
        cv::Mat frame(2, 2, CV_8UC4, cv::Scalar(10, 20, 30, 255));
        const QPixmap pixmap = MakeDisplayPixmap(frame);
        frame.setTo(cv::Scalar::all(200));
        QCOMPARE(pixmap.toImage().pixelColor(1, 1), QColor(30, 20, 10));
    }

    void unusableModels_data()
    {
        QTest::addColumn<QByteArray>("content");  // of every model file; null: no files
        QTest::newRow("no files") << QByteArray();
        QTest::newRow("empty files") << QByteArray("");
        QTest::newRow("text") << QByteArray("this is not a network\n");
        QTest::newRow("binary noise") << QByteArray("\x0a\xff\x12\x03\x99\x00\x7f", 7);
    }

    void unusableModels()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (int entry = 3; !content.isNull() && entry <= 6; ++entry) {
            QFile file(dir.filePath(FramePipeline::modelFileName(entry)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(content), content.size());
        }
        FramePipeline local;
        QCOMPARE(local.loadModels({dir.filePath(QStringLiteral("absent")), QString(), dir.path()}), 0);
        // Entries -1..7: their factor and model file.
        const int factors[] = {1, 1, 4, 4, 4, 4, 8, 4, 1};
        const QStringList files{{}, {}, {}, {}, "ESPCN_x4.pb", "LapSRN_x4.pb", "LapSRN_x8.pb", "EDSR_x4.pb", {}};
        for (int entry = -1; entry <= 7; ++entry) {
            const bool builtIn = entry >= 0 && entry <= 2;
            QCOMPARE(::upsampleFactor(entry), factors[entry + 1]);
            QCOMPARE(FramePipeline::modelFileName(entry), files.at(entry + 1));
            QCOMPARE(local.upsampleAvailable(entry), builtIn);
            QString error;
            const cv::Mat out = local.process(uniform(8, 6, 50), make(entry, 0), &error);
            QCOMPARE(error, QString());
            const int factor = builtIn ? factors[entry + 1] : 1;
            QCOMPARE(sizeOf(out), QSize(8 * factor, 6 * factor));
        }
    }

    void modelDirectoriesOrder()
    {
        const QStringList dirs = FramePipeline::modelDirectories();
        QCOMPARE(dirs, (QStringList{QCoreApplication::applicationDirPath(),
                                    QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                        + QStringLiteral("/models")}));
    }
};

QTEST_MAIN(TestPipeline)
#include "tst_pipeline.moc"
