// The solve database analyser on a real X server: the charts as the server
// shows them, and the TIMES chart's marked line following the list's current
// row when Down is pressed on a real keyboard (XTest).
//
// Run under Xvfb with the xcb platform (CTest does: xvfb-run -a). Without a
// DISPLAY every test is skipped.

#include "DBAnalyser.h"
#include "WindowWait.h"
#include "XInput.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <X11/keysym.h>

#include <memory>
#include <optional>

namespace {

constexpr int kScreenTimeoutMs = 2000;
// The TIMES chart: 250 px wide, values 0 to 20 s over 240 px (w - 10).
constexpr double kTimesPixelsPerSecond = 240.0 / 20.0;

// Times 4, 10, 16 s and more: far enough apart that the marked line moves
// by tens of pixels from row to row.
const char *const kTimes[] = {"4.00", "10.00", "16.00", "7.00", "12.00", "9.00"};

QString csvText()
{
    QString text;
    int id = 0;
    for (const char *time : kTimes) {
        QStringList fields(47);
        fields[0] = QStringLiteral("x%1").arg(++id);
        fields[1] = QStringLiteral("3x3");
        fields[2] = QLatin1String(time);
        fields[4] = QStringLiteral("Solver");
        fields[5] = QStringLiteral("CFOP");
        fields[15] = QStringLiteral("0");
        const QStringList steps{"x2 D R' F D2 // cross", "U R U' R' // 1st pair", "y' R U R' // 2nd pair",
                                "L' U' L // 3rd pair", "U2 R U R' // 4th pair", "F R U R' U' F' // OLL",
                                "R U R' U' R' F R2 U' R' U' R U R' F' U // PLL"};
        const double t = QByteArray(time).toDouble();
        for (int k = 0; k < 7; ++k) {
            fields[16 + 2 * k] = steps[k];
            fields[17 + 2 * k] = QString::number(t * (k + 1) / 7.0, 'f', 3);
        }
        fields[32] = QStringLiteral("Time");
        fields[35] = QStringLiteral("40");
        text += fields.join(u',') + QLatin1Char('\n');
    }
    return text;
}

}  // namespace

class TestX11DBAnalyser : public QObject
{
    Q_OBJECT

public:
    explicit TestX11DBAnalyser(bool display)
        : haveDisplay(display)
    {
    }

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void charts_paintedOnScreen_markFollowsDown();

private:
    // What the X server shows of `widget`, read back from the server.
    QImage grab(const QWidget *widget) const;
    // Columns (in `image`) of the white marked line, looked for in the band
    // of rows between the box's top and bottom; nullopt when there is none.
    static std::optional<double> markedColumn(const QImage &image);

    bool haveDisplay;
    QTemporaryDir dir;
    std::unique_ptr<XInput> input;
    std::unique_ptr<DBAnalyser> window;
};

void TestX11DBAnalyser::initTestCase()
{
    if (!haveDisplay)
        QSKIP("no DISPLAY: these tests need a real X server (run them under xvfb-run)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    input = std::make_unique<XInput>();
    QVERIFY2(input->isOpen(), qPrintable(input->error()));
}

void TestX11DBAnalyser::cleanup()
{
    window.reset();
    if (input)
        input->keyUp(XK_Down);
}

QImage TestX11DBAnalyser::grab(const QWidget *widget) const
{
    const QPoint at = widget->mapTo(window.get(), QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(window->winId(), at.x(), at.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

std::optional<double> TestX11DBAnalyser::markedColumn(const QImage &image)
{
    // Box from y 10 to 40 of the 60 px picture; the title ends above y 14.
    double sum = 0;
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        int white = 0;
        for (int y = 18; y < std::min(36, image.height()); ++y) {
            if (image.pixel(x, y) == qRgb(255, 255, 255))
                ++white;
        }
        if (white >= 12) {
            sum += x;
            ++count;
        }
    }
    if (count == 0)
        return std::nullopt;
    return sum / count;
}

void TestX11DBAnalyser::charts_paintedOnScreen_markFollowsDown()
{
    const QString path = dir.filePath(QStringLiteral("solves.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(csvText().toUtf8());
    }
    window = std::make_unique<DBAnalyser>();
    window->resize(900, 620);
    window->move(20, 20);
    window->show();
    window->raise();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(window->devicePixelRatioF(), 1.0);

    QSignalSpy finished(window.get(), &DBAnalyser::loadFinished);
    QVERIFY(window->loadDatabase(path));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toBool(), true);

    auto *list = window->findChild<QListWidget *>(QStringLiteral("solveList"));
    auto *scroll = window->findChild<QWidget *>(QStringLiteral("scrollArea"));
    QLayout *layout = window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents"))->layout();
    QVERIFY(list && scroll && layout && layout->count() >= 1);
    auto *times = qobject_cast<QLabel *>(layout->itemAt(0)->widget());
    QVERIFY(times);

    // The box plot's fill on the screen, inside the scroll area.
    const QRgb boxFill = qRgb(0x80, 0xA0, 0xFF);
    const auto countFill = [&]() {
        const QImage shown = grab(scroll);
        int n = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                n += shown.pixel(x, y) == boxFill;
        return n;
    };
    QVERIFY2(waitUntil([&]() { return countFill() > 200; }, kScreenTimeoutMs),
             qPrintable(QStringLiteral("%1 pixels of the box fill #80A0FF on screen").arg(countFill())));

    // The TIMES picture lies at the label's left, centred up and down.
    const auto timesOnScreen = [&]() {
        const QImage label = grab(times);
        const int top = std::max(0, (label.height() - 60) / 2);
        return label.copy(0, top, 250, 60);
    };

    // Row 0 (4 s) current, by the keyboard: focus, then Down until it is.
    list->setFocus(Qt::OtherFocusReason);
    QVERIFY(waitUntil([&]() { return list->hasFocus(); }, kScreenTimeoutMs));
    if (list->currentRow() < 0) {
        input->type(XK_Down);
        QVERIFY(waitUntil([&]() { return list->currentRow() == 0; }, kScreenTimeoutMs));
    }
    QCOMPARE(list->currentRow(), 0);
    std::optional<double> first;
    QVERIFY2(waitUntil([&]() { return (first = markedColumn(timesOnScreen())).has_value(); }, kScreenTimeoutMs),
             "no marked line on the TIMES chart");
    QVERIFY2(qAbs(*first - 4.0 * kTimesPixelsPerSecond) <= 3, qPrintable(QString::number(*first)));

    // Down: row 1, the 7 s solve.
    input->type(XK_Down);
    QVERIFY(waitUntil([&]() { return list->currentRow() == 1; }, kScreenTimeoutMs));
    std::optional<double> second;
    QVERIFY2(waitUntil(
                 [&]() {
                     second = markedColumn(timesOnScreen());
                     return second && qAbs(*second - *first) > 10;
                 },
                 kScreenTimeoutMs),
             "the marked line did not move on screen");
    QVERIFY2(qAbs((*second - *first) - 3.0 * kTimesPixelsPerSecond) <= 3,
             qPrintable(QStringLiteral("moved from %1 to %2").arg(*first).arg(*second)));
}

// QApplication needs a display for the xcb platform: without one, start
// offscreen so that the tests can say why they skip.
int main(int argc, char *argv[])
{
    const bool haveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", haveDisplay ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    TestX11DBAnalyser test(haveDisplay);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11dbanalyser.moc"
