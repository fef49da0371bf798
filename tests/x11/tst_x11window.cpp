// The main window on a real X server: real key and mouse events through
// XTest, and the picture read back from what the server shows. Offscreen
// tests see the window's state; these see what a person sees, so a frame
// that is decoded but never drawn, a key that a focused widget swallows or a
// modifier let go a moment early show up here.
//
// Every clip frame paints its 0-based index as a grid of blocks; the time
// label ends in "(N)", the 1-based frame number, so the screen must show
// index N - 1. (The text recognition test uses a clip of a filmed timer.)
//
// Run under Xvfb with the xcb platform (CTest does: xvfb-run -a). Without a
// DISPLAY every test is skipped.

#include "Framewright.h"
#include "TestMedia.h"
#include "WindowWait.h"
#include "XInput.h"
#include "XSelection.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <X11/keysym.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// The clip most tests step through: 16:9 so that, fitted into the display,
// the picture is wide and tall enough for the time box and the fading
// overlay text to leave the blocks' centres readable.
constexpr int kFrames = 300;
constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kFps = 30;

// How long the screen may take to show the result of an action. Overlay
// messages fade over about half a second while paused.
constexpr int kScreenTimeoutMs = 2000;

// One user action on the window and the frame number the time label shows after it.
struct Action
{
    enum Kind { Key, Button, Timeline, GoToFrame, ListRow };
    Kind kind = Key;
    unsigned long keysym = 0;  // Key
    QString name;              // Key: the key's name; Button: the object name
    double u = 0;              // Timeline: where across the timeline (0..1) to click
    int number = 0;            // GoToFrame: the number typed; ListRow: the row
    int expected = 0;          // 1-based frame number; Timeline: worked out from the click

    QString describe() const
    {
        switch (kind) {
        case Key:
            return QStringLiteral("key %1").arg(name);
        case Button:
            return QStringLiteral("click on %1").arg(name);
        case Timeline:
            return QStringLiteral("click on the timeline at %1 of its width").arg(u);
        case GoToFrame:
            return QStringLiteral("Go to Frame %1").arg(number);
        case ListRow:
            return QStringLiteral("double-click on split list row %1").arg(number);
        }
        return QString();
    }
};
using Script = QList<Action>;

Action key(unsigned long keysym, const char *name, int expected)
{
    Action a;
    a.kind = Action::Key;
    a.keysym = keysym;
    a.name = QString::fromLatin1(name);
    a.expected = expected;
    return a;
}

Action button(const char *objectName, int expected)
{
    Action a;
    a.kind = Action::Button;
    a.name = QString::fromLatin1(objectName);
    a.expected = expected;
    return a;
}

Action timeline(double u)
{
    Action a;
    a.kind = Action::Timeline;
    a.u = u;
    return a;
}

Action goToFrame(int n)
{
    Action a;
    a.kind = Action::GoToFrame;
    a.number = n;
    a.expected = n;
    return a;
}

Action listRow(int row, int expected)
{
    Action a;
    a.kind = Action::ListRow;
    a.number = row;
    a.expected = expected;
    return a;
}

QString describeIndex(int index)
{
    return index < 0 ? QStringLiteral("no readable frame index")
                     : QStringLiteral("index %1 (frame %2)").arg(index).arg(index + 1);
}

// Bits 0, 1, 4 and 5 of the index, read from a picture that shows only the
// top-left quarter of an index frame (blocks 0 and 1 above 4 and 5); -1 when a
// block is neither black nor white.
int readQuarterBits(const cv::Mat &picture)
{
    if (picture.cols < 8 || picture.rows < 8)
        return -1;
    cv::Mat grey;
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    const int bits[2][2] = {{0, 1}, {4, 5}};
    int value = 0;
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 2; ++col) {
            const int cw = picture.cols / 2;
            const int ch = picture.rows / 2;
            const cv::Rect centre(col * cw + cw * 3 / 8, row * ch + ch * 3 / 8, cw / 4, ch / 4);
            const double mean = cv::mean(grey(centre))[0];
            if (mean > 180)
                value |= 1 << bits[row][col];
            else if (mean > 70)
                return -1;
        }
    }
    return value;
}

// Mean grey level of the frame's plain margin left of the first block column
// (the frame is grey there; blocks start an eighth of a block in).
double leftMarginMean(const cv::Mat &picture)
{
    cv::Mat grey;
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    const int x0 = picture.cols / 160;
    const int x1 = std::max(x0 + 1, picture.cols / 40);
    const cv::Rect strip(x0, picture.rows * 3 / 10, x1 - x0, picture.rows * 4 / 10);
    return cv::mean(grey(strip))[0];
}

// How many pixels of `area` differ by more than 100 grey levels between
// `before` and `after` (BGR grabs of one size).
int changedPixels(const cv::Mat &before, const cv::Mat &after, const cv::Rect &area)
{
    cv::Mat a, b, difference;
    cv::cvtColor(before(area), a, cv::COLOR_BGR2GRAY);
    cv::cvtColor(after(area), b, cv::COLOR_BGR2GRAY);
    cv::absdiff(a, b, difference);
    cv::threshold(difference, difference, 100, 255, cv::THRESH_BINARY);
    return cv::countNonZero(difference);
}

// How many pixels white overlay text lightens: mid grey (the scene around
// a filmed timer) in `under`, at least 60 levels lighter in `over`. A fading
// overlay stays above that for its first half. Only areas of grey count, not
// the grey edges of dark digits, which another frame may paint white.
int lightenedScenePixels(const cv::Mat &under, const cv::Mat &over)
{
    if (under.empty() || over.empty() || under.size() != over.size())
        return -1;
    cv::Mat a, b;
    cv::cvtColor(under, a, cv::COLOR_BGR2GRAY);
    cv::cvtColor(over, b, cv::COLOR_BGR2GRAY);
    cv::Mat scene, lighter;
    cv::inRange(a, 80, 160, scene);
    cv::erode(scene, scene, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(7, 7)));
    a.convertTo(a, CV_16S);
    b.convertTo(b, CV_16S);
    cv::compare(b - a, 60, lighter, cv::CMP_GT);
    return cv::countNonZero(scene & lighter);
}

}  // namespace

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(Script)

// A helper that failed has recorded the failure; the test stops there.
#define RETURN_IF_FAILED()                \
    do {                                  \
        if (QTest::currentTestFailed())   \
            return;                       \
    } while (false)

class TestX11Window : public QObject
{
    Q_OBJECT

public:
    explicit TestX11Window(bool haveDisplay) : haveDisplay(haveDisplay) {}

private:
    const bool haveDisplay;
    QTemporaryDir settingsDir;
    QTemporaryDir mediaDir;
    QString clip;      // kFrames frames of kWidth x kHeight, MJPEG AVI
    QString clip1080;  // 1080p H.264, made by the test that needs it
    QString timerClip; // a filmed timer, made by the test that needs it
    std::unique_ptr<XInput> input;

    std::unique_ptr<Framewright> window;
    // The window's widgets, found by object name.
    QWidget *display = nullptr;
    QWidget *timelineWidget = nullptr;
    QLabel *timeLabel = nullptr;
    QListWidget *splitList = nullptr;
    QComboBox *solveCombo = nullptr;
    QComboBox *rotateCombo = nullptr;
    QCheckBox *autosaveCheck = nullptr;
    QTabWidget *tabWidget = nullptr;
    QSlider *brightnessSlider = nullptr;
    double frameAspect = double(kWidth) / kHeight;

    // ---- the window ----

    void openWindow(const QString &path, double aspect);
    // Creates the window on `path` at the tests' size and place and waits until it is shown.
    void showWindow(const QString &path);
    template<typename T>
    T *widget(const char *name) const
    {
        return window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
    }
    int labelFrame() const { return frameNumberOf(timeLabel->text()); }

    // ---- what the server shows ----

    // The picture's rectangle in window coordinates: fitted into the display
    // keeping the frame's aspect, anchored at the display's top-left corner.
    QRect pictureRect() const;
    // The picture area as the X server has it, BGR.
    cv::Mat grabPicture() const { return grabArea(pictureRect()); }
    // A rectangle of the window (window coordinates) as the X server has it, BGR.
    cv::Mat grabArea(const QRect &r) const;
    // Saves `picture` for a person to look at; returns where.
    QString keep(const cv::Mat &picture, const QString &what) const;

    // Waits for the label to show frame `n` and the screen index n - 1;
    // records a failure saying what was shown otherwise.
    void expectShown(int n, const QString &after);
    void expectLabel(int n, const QString &after);

    // ---- actions ----

    void perform(const Action &action);
    int expectedFrame(const Action &action) const;
    void run(const Script &script);
    void typeGoToFrame(int n);
    void chooseComboItem(QComboBox *combo, int index);
    void addMarksAt(const QList<int> &frames);

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void stepKeysAndButtons_showTheSteppedFrame_data();
    void stepKeysAndButtons_showTheSteppedFrame();
    void jumpsAndSeeks_showTheTargetFrame_data();
    void jumpsAndSeeks_showTheTargetFrame();
    void addMarkKey_marksTheShownFrame();
    void setCrop_showsTheQuarterEnlarged_applyCropOffShowsTheWholeFrame();
    void rotation180_showsThePictureUpsideDown();
    void brightnessSlider_changesThePictureBrightness();
    void unreadableFileOnTheCommandLine_showsWhyOnTheDisplay();

    void plusTypedWithShift_addsASolve_data();
    void plusTypedWithShift_addsASolve();
    void ctrlY_redoes_data();
    void ctrlY_redoes();
    void spaceAfterCheckBoxClick_togglesPlaybackNotTheBox();
    void pageKeysAfterSolveComboClick_switchSolves_data();
    void pageKeysAfterSolveComboClick_switchSolves();
    void heldStepKey_stopsSteppingOnRelease_data();
    void heldStepKey_stopsSteppingOnRelease();
    void exportGifFromTheMenu_screenKeepsTheFrame();
    void ctrlTCtrlLetGoFirst_readsTheShownTimeOntoTheClipboard();
};

// ---- set-up ----------------------------------------------------------------

void TestX11Window::initTestCase()
{
    if (!haveDisplay)
        QSKIP("no DISPLAY: these tests need a real X server (run them under xvfb-run)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(settingsDir.isValid() && mediaDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    input = std::make_unique<XInput>();
    QVERIFY2(input->isOpen(), qPrintable(input->error()));

    QVERIFY2(testmedia::haveFfmpeg(), "the ffmpeg program is needed to make the test clips");
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("steps.avi");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3")};
    options.frames = kFrames;
    options.width = kWidth;
    options.height = kHeight;
    options.fps = kFps;
    QString error;
    const auto path = testmedia::writeClip(mediaDir.path(), options, &error);
    QVERIFY2(path, qPrintable(error));
    clip = *path;
}

void TestX11Window::init()
{
    QSettings(QStringLiteral("Marrowby"), QStringLiteral("Framewright")).clear();
    QSettings().clear();
    // Marks autosaved by an earlier test would come back with the clip.
    for (const QString &path : {clip, clip1080}) {
        if (!path.isEmpty())
            QFile::remove(path + QStringLiteral(".splits.txt"));
    }
}

void TestX11Window::cleanup()
{
    if (window) {
        // Closing with unsaved marks and Autosave off asks first; a test that
        // switched it off must not leave a modal question behind.
        if (autosaveCheck)
            autosaveCheck->setChecked(true);
        window.reset();
        display = timelineWidget = nullptr;
        timeLabel = nullptr;
        splitList = nullptr;
        solveCombo = rotateCombo = nullptr;
        autosaveCheck = nullptr;
        tabWidget = nullptr;
        brightnessSlider = nullptr;
    }
    // A test that stopped during a text recognition closed the window with
    // the busy cursor still set.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    // Let go of anything a failed test left pressed.
    if (input) {
        for (unsigned long keysym : {XK_Shift_L, XK_Control_L, XK_d, XK_t})
            input->keyUp(keysym);
        input->buttonUp(1);
    }
    QTest::qWait(50);
}

void TestX11Window::showWindow(const QString &path)
{
    window = std::make_unique<Framewright>(path);
    // Wide enough for a picture over 450 px high beside the side pane.
    window->resize(1240, 760);
    window->move(20, 20);
    window->show();
    window->raise();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestX11Window::openWindow(const QString &path, double aspect)
{
    frameAspect = aspect;
    showWindow(path);
    RETURN_IF_FAILED();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    display = widget<QWidget>("displayWidget");
    timelineWidget = widget<QWidget>("timelineWidget");
    timeLabel = widget<QLabel>("timeLabel");
    splitList = widget<QListWidget>("splitList");
    solveCombo = widget<QComboBox>("solveCombo");
    rotateCombo = widget<QComboBox>("rotateCombo");
    autosaveCheck = widget<QCheckBox>("autosaveCheck");
    tabWidget = widget<QTabWidget>("tabWidget");
    brightnessSlider = widget<QSlider>("brightnessSlider");
    QVERIFY2(display && timelineWidget && timeLabel && splitList && solveCombo && rotateCombo && autosaveCheck
                 && tabWidget && brightnessSlider,
             "a widget of the main window's form was not found by its object name");
    QVERIFY2(pictureRect().height() >= 400,
             qPrintable(QStringLiteral("the picture is only %1 x %2 on screen: the time box would cover blocks")
                            .arg(pictureRect().width())
                            .arg(pictureRect().height())));
    expectShown(1, QStringLiteral("opening the clip"));
}

// ---- reading the screen ----------------------------------------------------

QRect TestX11Window::pictureRect() const
{
    const QSize size = display->size();
    int w = size.width();
    int h = size.height();
    if (w / frameAspect > h)
        w = int(h * frameAspect);
    else
        h = int(w / frameAspect);
    return QRect(display->mapTo(window.get(), QPoint(0, 0)), QSize(w, h));
}

cv::Mat TestX11Window::grabArea(const QRect &r) const
{
    const QPixmap pixmap =
        QGuiApplication::primaryScreen()->grabWindow(window->winId(), r.x(), r.y(), r.width(), r.height());
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_BGR888);
    if (image.isNull())
        return cv::Mat();
    const cv::Mat view(image.height(), image.width(), CV_8UC3, const_cast<uchar *>(image.constBits()),
                       size_t(image.bytesPerLine()));
    return view.clone();
}

QString TestX11Window::keep(const cv::Mat &picture, const QString &what) const
{
    QDir dir(QDir::temp().filePath(QStringLiteral("tst_x11window")));
    dir.mkpath(QStringLiteral("."));
    QString name = QStringLiteral("%1-%2-%3.png")
                       .arg(QString::fromLatin1(QTest::currentTestFunction()),
                            QString::fromLatin1(QTest::currentDataTag() ? QTest::currentDataTag() : ""), what);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]+")), QStringLiteral("_"));
    const QString path = dir.filePath(name);
    if (!picture.empty())
        cv::imwrite(path.toStdString(), picture);
    return path;
}

void TestX11Window::expectLabel(int n, const QString &after)
{
    const bool ok = waitUntil([&] { return labelFrame() == n; }, kScreenTimeoutMs);
    QVERIFY2(ok, qPrintable(QStringLiteral("after %1 the time label shows \"%2\"; expected frame %3")
                                .arg(after, timeLabel->text())
                                .arg(n)));
}

void TestX11Window::expectShown(int n, const QString &after)
{
    expectLabel(n, after);
    RETURN_IF_FAILED();
    cv::Mat picture;
    int shown = -1;
    const bool ok = waitUntil(
        [&] {
            picture = grabPicture();
            shown = testmedia::readIndex(picture);
            return shown == n - 1;
        },
        kScreenTimeoutMs);
    if (!ok) {
        const QString path = keep(picture, QStringLiteral("frame%1").arg(n));
        QFAIL(qPrintable(QStringLiteral("after %1 the time label says frame %2 but the screen shows %3 "
                                        "after %4 ms (expected index %5); grab kept as %6")
                             .arg(after)
                             .arg(n)
                             .arg(describeIndex(shown))
                             .arg(kScreenTimeoutMs)
                             .arg(n - 1)
                             .arg(path)));
    }
}

// ---- actions ---------------------------------------------------------------

int TestX11Window::expectedFrame(const Action &action) const
{
    if (action.kind != Action::Timeline)
        return action.expected;
    // The click lands on a whole pixel; the window seeks to the index at that
    // fraction of the frames and the label then counts from 1.
    const int width = timelineWidget->width();
    const int x = std::clamp(int(std::lround(action.u * width)), 0, width - 1);
    const int index = std::clamp(int(std::floor(double(kFrames) * x / width)), 0, kFrames - 1);
    return index + 1;
}

void TestX11Window::perform(const Action &action)
{
    switch (action.kind) {
    case Action::Key:
        input->type(action.keysym);
        break;
    case Action::Button: {
        auto *b = widget<QAbstractButton>(action.name.toLatin1().constData());
        QVERIFY2(b, qPrintable(QStringLiteral("no button named %1").arg(action.name)));
        input->click(b, b->rect().center());
        break;
    }
    case Action::Timeline: {
        const int width = timelineWidget->width();
        const int x = std::clamp(int(std::lround(action.u * width)), 0, width - 1);
        input->click(timelineWidget, QPoint(x, timelineWidget->height() / 2));
        break;
    }
    case Action::GoToFrame:
        typeGoToFrame(action.number);
        break;
    case Action::ListRow: {
        QListWidgetItem *item = splitList->item(action.number);
        QVERIFY2(item, qPrintable(QStringLiteral("the split list has %1 rows, no row %2")
                                      .arg(splitList->count())
                                      .arg(action.number)));
        input->doubleClick(splitList->viewport(), splitList->visualItemRect(item).center());
        break;
    }
    }
}

void TestX11Window::run(const Script &script)
{
    for (const Action &action : script) {
        const int n = expectedFrame(action);
        perform(action);
        RETURN_IF_FAILED();
        expectShown(n, action.describe());
        RETURN_IF_FAILED();
    }
}

void TestX11Window::typeGoToFrame(int n)
{
    // The dialog runs its own event loop inside the double-click's handling:
    // type into it from a timer once the server has given it the focus.
    bool typed = false;
    QString seen;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog || QApplication::activeWindow() != dialog || !QApplication::focusWidget())
            return;
        poll.stop();
        seen = dialog->windowTitle();
        input->type(XK_End);
        for (int i = 0; i < 6; ++i)
            input->type(XK_BackSpace);
        for (const QChar c : QString::number(n))
            input->type(XK_0 + (c.unicode() - u'0'));
        input->type(XK_Return);
        typed = true;
    });
    poll.start();
    input->doubleClick(timeLabel, timeLabel->rect().center());
    const bool closed = waitUntil([&] { return typed && !QApplication::activeModalWidget(); }, 5000);
    poll.stop();
    QVERIFY2(closed, qPrintable(QStringLiteral("a double-click on the time label %1 (modal: %2)")
                                    .arg(typed ? QStringLiteral("opened a dialog that did not close after Enter")
                                               : QStringLiteral("opened no dialog that took the keyboard"))
                                    .arg(QApplication::activeModalWidget()
                                             ? QApplication::activeModalWidget()->windowTitle()
                                             : QStringLiteral("none"))));
    QCOMPARE(seen, QStringLiteral("Go to Frame"));
}

void TestX11Window::chooseComboItem(QComboBox *combo, int index)
{
    input->click(combo, combo->rect().center());
    QAbstractItemView *view = combo->view();
    QVERIFY2(waitUntil([&] { return view->isVisible() && view->window()->windowHandle()->isExposed(); }, 2000),
             qPrintable(QStringLiteral("a click on %1 opened no popup").arg(combo->objectName())));
    QTest::qWait(50);  // the popup positions its rows when it opens
    const QRect row = view->visualRect(combo->model()->index(index, 0));
    QVERIFY2(row.isValid(), "the popup has no such row");
    input->click(view->viewport(), row.center());
    QVERIFY2(waitUntil([&] { return !view->isVisible(); }, 2000), "the popup stayed open after choosing a row");
    QCOMPARE(combo->currentIndex(), index);
}

void TestX11Window::addMarksAt(const QList<int> &frames)
{
    // Forward with E (+10) and D (+1) to each frame, then M.
    for (const int target : frames) {
        while (labelFrame() + 10 <= target) {
            const int next = labelFrame() + 10;
            input->type(XK_e);
            expectLabel(next, QStringLiteral("key E"));
            RETURN_IF_FAILED();
        }
        while (labelFrame() < target) {
            const int next = labelFrame() + 1;
            input->type(XK_d);
            expectLabel(next, QStringLiteral("key D"));
            RETURN_IF_FAILED();
        }
        const int rows = splitList->count();
        input->type(XK_m);
        // One row per mark, and a total row from the second mark on.
        const int expectedRows = rows == 0 ? 1 : rows == 1 ? 3 : rows + 1;
        QVERIFY2(waitUntil([&] { return splitList->count() == expectedRows; }, 2000),
                 qPrintable(QStringLiteral("key M at frame %1 left the split list at %2 rows; expected %3")
                                .arg(target)
                                .arg(splitList->count())
                                .arg(expectedRows)));
    }
}

// ---- frames shown after steps, jumps and seeks ------------------------------

void TestX11Window::stepKeysAndButtons_showTheSteppedFrame_data()
{
    QTest::addColumn<Script>("script");
    // Default bindings: D +1, A -1, E +10, Q -10. The window opens on frame 1.
    QTest::newRow("D: forward 1") << Script{key(XK_d, "D", 2), key(XK_d, "D", 3)};
    QTest::newRow("A: back 1") << Script{key(XK_e, "E", 11), key(XK_a, "A", 10)};
    QTest::newRow("A: stays on the first frame") << Script{key(XK_a, "A", 1), key(XK_d, "D", 2)};
    QTest::newRow("E: forward 10") << Script{key(XK_e, "E", 11), key(XK_e, "E", 21)};
    QTest::newRow("Q: back 10") << Script{key(XK_e, "E", 11), key(XK_e, "E", 21), key(XK_q, "Q", 11)};
    QTest::newRow("' >' button: forward 1")
        << Script{button("frameNextButton", 2), button("frameNextButton", 3)};
    QTest::newRow("'< ' button: back 1") << Script{key(XK_e, "E", 11), button("framePrevButton", 10)};
    QTest::newRow("'>>' button: forward 10")
        << Script{button("frameForwardButton", 11), button("frameForwardButton", 21)};
    QTest::newRow("'<<' button: back 10")
        << Script{key(XK_e, "E", 11), key(XK_e, "E", 21), button("frameBackButton", 11)};
}

void TestX11Window::stepKeysAndButtons_showTheSteppedFrame()
{
    QFETCH(Script, script);
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    run(script);
}

void TestX11Window::jumpsAndSeeks_showTheTargetFrame_data()
{
    QTest::addColumn<bool>("withMarks");  // marks at 11, 21 and 51, then on to frame 61
    QTest::addColumn<Script>("script");

    // Digits jump to the mark with that 0-based index (the last one beyond).
    QTest::newRow("0: first mark") << true << Script{key(XK_0, "0", 11)};
    QTest::newRow("1: second mark") << true << Script{key(XK_1, "1", 21)};
    QTest::newRow("2: third mark") << true << Script{key(XK_2, "2", 51)};
    QTest::newRow("9: past the marks, the last") << true << Script{key(XK_9, "9", 51)};
    // Right from past the last mark starts over at the first; Left goes to the last.
    QTest::newRow("Right: next mark, round")
        << true
        << Script{key(XK_Right, "Right", 11), key(XK_Right, "Right", 21), key(XK_Right, "Right", 51),
                  key(XK_Right, "Right", 11)};
    QTest::newRow("Left: previous mark, round")
        << true
        << Script{key(XK_Left, "Left", 51), key(XK_Left, "Left", 21), key(XK_Left, "Left", 11),
                  key(XK_Left, "Left", 51)};
    // Split list rows: one per mark, then the total row (the last mark).
    QTest::newRow("split list row 0") << true << Script{listRow(0, 11)};
    QTest::newRow("split list row 2") << true << Script{listRow(2, 51)};
    QTest::newRow("split list total row") << true << Script{listRow(3, 51)};

    QTest::newRow("timeline at 0.1") << false << Script{timeline(0.1)};
    QTest::newRow("timeline at 0.37") << false << Script{timeline(0.37)};
    QTest::newRow("timeline at 0.5, then 0.83") << false << Script{timeline(0.5), timeline(0.83)};
    QTest::newRow("timeline at the right end") << false << Script{timeline(0.9995)};
    QTest::newRow("timeline at the left end") << false << Script{key(XK_e, "E", 11), timeline(0.0)};

    QTest::newRow("go to frame 100") << false << Script{goToFrame(100)};
    QTest::newRow("go to frame 1") << false << Script{key(XK_e, "E", 11), goToFrame(1)};
    QTest::newRow("go to the last frame") << false << Script{goToFrame(kFrames)};
}

void TestX11Window::jumpsAndSeeks_showTheTargetFrame()
{
    QFETCH(bool, withMarks);
    QFETCH(Script, script);
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    if (withMarks) {
        addMarksAt({11, 21, 51});
        RETURN_IF_FAILED();
        input->type(XK_e);
        expectLabel(61, QStringLiteral("key E"));
        RETURN_IF_FAILED();
    }
    run(script);
}

void TestX11Window::addMarkKey_marksTheShownFrame()
{
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    run(Script{key(XK_e, "E", 11), key(XK_e, "E", 21), key(XK_e, "E", 31)});
    RETURN_IF_FAILED();
    QCOMPARE(splitList->count(), 0);
    const QString time = timeLabel->text();
    input->type(XK_m);
    QVERIFY2(waitUntil([&] { return splitList->count() == 1; }, 2000),
             qPrintable(QStringLiteral("key M left %1 rows in the split list").arg(splitList->count())));
    // The row names the frame's time; the label keeps the frame, and the
    // picture (once the overlay with the mark's index has faded) too.
    const QString row = splitList->item(0)->text();
    const QString clock = time.section(QLatin1Char(' '), 0, 0);
    QVERIFY2(row.contains(clock), qPrintable(QStringLiteral("row \"%1\" does not name %2").arg(row, clock)));
    expectShown(31, QStringLiteral("key M"));
}

// ---- crop, rotation, brightness ---------------------------------------------

void TestX11Window::setCrop_showsTheQuarterEnlarged_applyCropOffShowsTheWholeFrame()
{
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    // Frame 34 shows index 33: bits 0 and 5 set, 1 and 4 clear.
    for (int i = 0; i < 3; ++i)
        input->type(XK_e);
    for (int i = 0; i < 3; ++i)
        input->type(XK_d);
    expectLabel(34, QStringLiteral("E E E D D D"));
    RETURN_IF_FAILED();
    const int index = 33;

    // From the picture's top-left corner to its middle; "Keep Aspect Ratio"
    // (on by default) makes it square in fractions: the frame's top-left quarter.
    auto *keepAspect = widget<QCheckBox>("cropKeepAspect");
    QVERIFY(keepAspect);
    QVERIFY2(keepAspect->isChecked(), "Keep Aspect Ratio is off on a new window");
    const QRect picture = pictureRect();
    input->drag(display, QPoint(0, 0), QPoint(picture.width() / 2, picture.height() / 2));
    auto *cropButton = widget<QAbstractButton>("cropButton");
    auto *applyCrop = widget<QAbstractButton>("cropPreviewCheck");
    QVERIFY(cropButton && applyCrop);
    input->click(cropButton, cropButton->rect().center());
    QVERIFY2(waitUntil([&] { return applyCrop->isChecked(); }, 2000), "Set Crop did not turn Apply Crop on");

    cv::Mat grab;
    int quarter = -1, whole = -1;
    const bool enlarged = waitUntil(
        [&] {
            grab = grabPicture();
            quarter = readQuarterBits(grab);
            whole = testmedia::readIndex(grab);
            return quarter == (index & 0x33) && whole != index;
        },
        kScreenTimeoutMs);
    QVERIFY2(enlarged, qPrintable(QStringLiteral("after Set Crop the screen shows quarter bits %1 (expected %2) and, "
                                                 "read as a whole frame, %3; grab kept as %4")
                                      .arg(quarter)
                                      .arg(index & 0x33)
                                      .arg(describeIndex(whole), keep(grab, QStringLiteral("cropped")))));

    input->click(applyCrop, applyCrop->rect().center());
    QVERIFY2(waitUntil([&] { return !applyCrop->isChecked(); }, 2000), "a click on Apply Crop left it on");
    expectShown(34, QStringLiteral("turning Apply Crop off"));
}

void TestX11Window::rotation180_showsThePictureUpsideDown()
{
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    input->type(XK_e);
    input->type(XK_e);
    input->type(XK_d);
    expectLabel(22, QStringLiteral("E E D"));
    RETURN_IF_FAILED();
    const int index = 21;

    chooseComboItem(rotateCombo, 3);
    RETURN_IF_FAILED();
    QCOMPARE(rotateCombo->currentText(), QStringLiteral("180°"));

    cv::Mat grab, upright;
    int asShown = -1, turnedBack = -1;
    const bool rotated = waitUntil(
        [&] {
            grab = grabPicture();
            cv::rotate(grab, upright, cv::ROTATE_180);
            asShown = testmedia::readIndex(grab);
            turnedBack = testmedia::readIndex(upright);
            return turnedBack == index && asShown != index;
        },
        kScreenTimeoutMs);
    QVERIFY2(rotated, qPrintable(QStringLiteral("with 180° the screen shows %1, turned back %2 (expected index %3 "
                                                "upside down); grab kept as %4")
                                     .arg(describeIndex(asShown), describeIndex(turnedBack))
                                     .arg(index)
                                     .arg(keep(grab, QStringLiteral("rotated")))));
    QCOMPARE(labelFrame(), 22);
}

void TestX11Window::brightnessSlider_changesThePictureBrightness()
{
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    const double before = leftMarginMean(grabPicture());

    QTabBar *tabs = tabWidget->tabBar();
    int imageTab = -1;
    for (int i = 0; i < tabWidget->count(); ++i) {
        if (tabWidget->tabText(i) == QStringLiteral("Image"))
            imageTab = i;
    }
    QVERIFY2(imageTab >= 0, "the tab widget has no \"Image\" page");
    input->click(tabs, tabs->tabRect(imageTab).center());
    QVERIFY2(waitUntil([&] { return tabWidget->currentIndex() == imageTab; }, 2000),
             "a click on the \"Image\" tab did not show that page");
    QVERIFY2(waitUntil([&] { return brightnessSlider->isVisible(); }, 2000), "the brightness slider is not shown");

    // Drag the handle from where it is to the right end.
    QStyleOptionSlider option;
    option.initFrom(brightnessSlider);
    option.orientation = brightnessSlider->orientation();
    option.minimum = brightnessSlider->minimum();
    option.maximum = brightnessSlider->maximum();
    option.sliderPosition = brightnessSlider->sliderPosition();
    option.sliderValue = brightnessSlider->value();
    option.tickPosition = brightnessSlider->tickPosition();
    option.tickInterval = brightnessSlider->tickInterval();
    option.singleStep = brightnessSlider->singleStep();
    option.pageStep = brightnessSlider->pageStep();
    option.upsideDown = brightnessSlider->invertedAppearance();
    option.subControls = QStyle::SC_All;
    const QRect handle = brightnessSlider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                                   QStyle::SC_SliderHandle, brightnessSlider);
    const int start = brightnessSlider->value();
    input->drag(brightnessSlider, handle.center(), QPoint(brightnessSlider->width() - 1, handle.center().y()));
    QVERIFY2(brightnessSlider->value() > start + 50,
             qPrintable(QStringLiteral("dragging the brightness handle moved it from %1 to %2 only")
                            .arg(start)
                            .arg(brightnessSlider->value())));

    cv::Mat grab;
    double after = before;
    const bool brighter = waitUntil(
        [&] {
            grab = grabPicture();
            after = leftMarginMean(grab);
            return after > before + 40;
        },
        kScreenTimeoutMs);
    QVERIFY2(brighter, qPrintable(QStringLiteral("with brightness %1 the frame's grey margin on screen went from %2 to "
                                                 "%3 only; grab kept as %4")
                                      .arg(brightnessSlider->value())
                                      .arg(before, 0, 'f', 1)
                                      .arg(after, 0, 'f', 1)
                                      .arg(keep(grab, QStringLiteral("brightness")))));
    QCOMPARE(testmedia::readIndex(grab), 0);
}

// ---- files that cannot be read ----------------------------------------------

void TestX11Window::unreadableFileOnTheCommandLine_showsWhyOnTheDisplay()
{
    const QString notes = mediaDir.filePath(QStringLiteral("notes-renamed.mp4"));
    {
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("Shopping list: cubes, lube, timer.\n").repeated(200));
    }
    showWindow(notes);
    RETURN_IF_FAILED();
    display = widget<QWidget>("displayWidget");
    QVERIFY(display);
    const QRect area(display->mapTo(window.get(), QPoint(0, 0)), display->size());

    // The notice is white text on a dark box; the empty display is plain grey.
    const auto count = [](const cv::Mat &picture, bool bright) {
        cv::Mat grey, mask;
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
        if (bright)
            cv::threshold(grey, mask, 200, 255, cv::THRESH_BINARY);
        else
            cv::threshold(grey, mask, 50, 255, cv::THRESH_BINARY_INV);
        return cv::countNonZero(mask);
    };
    cv::Mat grab;
    int dark = 0, bright = 0;
    const bool shown = waitUntil(
        [&] {
            grab = grabArea(area);
            dark = count(grab, false);
            bright = count(grab, true);
            return dark > 2000 && bright > 200;
        },
        kScreenTimeoutMs);
    QVERIFY2(shown, qPrintable(QStringLiteral("opening a text file as a video put %1 dark and %2 white pixels on the "
                                              "display, no notice; grab kept as %3")
                                   .arg(dark)
                                   .arg(bright)
                                   .arg(keep(grab, QStringLiteral("notice")))));
    // Said once: it fades, and the display is plain without it.
    const bool gone = waitUntil(
        [&] {
            grab = grabArea(area);
            return count(grab, false) == 0 && count(grab, true) == 0;
        },
        10000);
    QVERIFY2(gone, qPrintable(QStringLiteral("the notice stays on the display; grab kept as %1")
                                  .arg(keep(grab, QStringLiteral("after")))));
}

// ---- keys as people type them -----------------------------------------------

void TestX11Window::plusTypedWithShift_addsASolve_data()
{
    QTest::addColumn<bool>("shiftReleasedFirst");
    QTest::newRow("= let go before Shift") << false;
    QTest::newRow("Shift let go before =") << true;
}

void TestX11Window::plusTypedWithShift_addsASolve()
{
    QFETCH(bool, shiftReleasedFirst);
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    QCOMPARE(solveCombo->count(), 1);
    input->chord(XK_Shift_L, XK_equal, shiftReleasedFirst);
    const bool added = waitUntil([&] { return solveCombo->count() == 2; }, 2000);
    QVERIFY2(added, qPrintable(QStringLiteral("\"+\" typed as Shift+= (%1) left %2 solve(s); expected 2")
                                   .arg(shiftReleasedFirst ? QStringLiteral("Shift let go first")
                                                           : QStringLiteral("= let go first"))
                                   .arg(solveCombo->count())));
    QCOMPARE(solveCombo->currentIndex(), 1);
}

void TestX11Window::ctrlY_redoes_data()
{
    QTest::addColumn<bool>("ctrlReleasedFirst");
    QTest::newRow("Y let go before Ctrl") << false;
    QTest::newRow("Ctrl let go before Y") << true;
}

void TestX11Window::ctrlY_redoes()
{
    QFETCH(bool, ctrlReleasedFirst);
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    input->type(XK_m);
    QVERIFY2(waitUntil([&] { return splitList->count() == 1; }, 2000), "key M added no mark");
    input->chord(XK_Control_L, XK_z, false);
    QVERIFY2(waitUntil([&] { return splitList->count() == 0; }, 2000),
             qPrintable(QStringLiteral("Ctrl+Z left %1 rows").arg(splitList->count())));
    input->chord(XK_Control_L, XK_y, ctrlReleasedFirst);
    const bool redone = waitUntil([&] { return splitList->count() == 1; }, 2000);
    QVERIFY2(redone, qPrintable(QStringLiteral("Ctrl+Y (%1) left %2 rows; expected the mark back")
                                    .arg(ctrlReleasedFirst ? QStringLiteral("Ctrl let go first")
                                                           : QStringLiteral("Y let go first"))
                                    .arg(splitList->count())));
}

void TestX11Window::spaceAfterCheckBoxClick_togglesPlaybackNotTheBox()
{
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    QVERIFY2(autosaveCheck->isChecked(), "Autosave is off on a new window");
    input->click(autosaveCheck, autosaveCheck->rect().center());
    QVERIFY2(waitUntil([&] { return !autosaveCheck->isChecked(); }, 2000), "a click on Autosave did not turn it off");
    input->click(autosaveCheck, autosaveCheck->rect().center());
    QVERIFY2(waitUntil([&] { return autosaveCheck->isChecked(); }, 2000), "a second click did not turn Autosave on");

    const int pausedFrame = labelFrame();
    input->type(XK_space);
    cv::Mat grab;
    int shown = -1;
    const bool playing = waitUntil(
        [&] {
            grab = grabPicture();
            shown = testmedia::readIndex(grab);
            return shown > pausedFrame - 1 && labelFrame() > pausedFrame;
        },
        kScreenTimeoutMs);
    QVERIFY2(playing, qPrintable(QStringLiteral("after Space the label says \"%1\" and the screen shows %2 (paused on "
                                                "frame %3); Autosave is %4")
                                     .arg(timeLabel->text(), describeIndex(shown))
                                     .arg(pausedFrame)
                                     .arg(autosaveCheck->isChecked() ? QStringLiteral("still on")
                                                                     : QStringLiteral("now off"))));
    QVERIFY2(autosaveCheck->isChecked(), "Space toggled the Autosave check box");
}

void TestX11Window::pageKeysAfterSolveComboClick_switchSolves_data()
{
    QTest::addColumn<int>("solves");
    QTest::addColumn<int>("from");  // 0-based solve chosen in the combo's popup
    QTest::addColumn<bool>("pageUp");
    QTest::addColumn<int>("expected");
    // Page Up goes to the next solve, Page Down to the previous one.
    QTest::newRow("2 solves: Page Down from solve 2") << 2 << 1 << false << 0;
    QTest::newRow("2 solves: Page Up from solve 1") << 2 << 0 << true << 1;
    QTest::newRow("3 solves: Page Up from solve 2") << 3 << 1 << true << 2;
    QTest::newRow("3 solves: Page Down from solve 2") << 3 << 1 << false << 0;
}

void TestX11Window::pageKeysAfterSolveComboClick_switchSolves()
{
    QFETCH(int, solves);
    QFETCH(int, from);
    QFETCH(bool, pageUp);
    QFETCH(int, expected);
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    auto *addSolve = widget<QAbstractButton>("addSolveButton");
    QVERIFY(addSolve);
    for (int count = 2; count <= solves; ++count) {
        input->click(addSolve, addSolve->rect().center());
        QVERIFY2(waitUntil([&] { return solveCombo->count() == count; }, 2000), "the \"+\" button added no solve");
    }
    chooseComboItem(solveCombo, from);
    RETURN_IF_FAILED();
    input->type(pageUp ? XK_Prior : XK_Next);
    // Let everything the key does settle before looking.
    spin(400);
    QVERIFY2(solveCombo->currentIndex() == expected,
             qPrintable(QStringLiteral("%1 with the solve combo focused on solve %2 of %3 went to solve %4; expected %5")
                            .arg(pageUp ? QStringLiteral("Page Up") : QStringLiteral("Page Down"))
                            .arg(from + 1)
                            .arg(solves)
                            .arg(solveCombo->currentIndex() + 1)
                            .arg(expected + 1)));
}

void TestX11Window::heldStepKey_stopsSteppingOnRelease_data()
{
    QTest::addColumn<bool>("back");
    // D from the first frame; A from near the end of a clip with a single key
    // frame, where every step back decodes from the start (the slow case that
    // queues auto-repeats while it runs).
    QTest::newRow("D held, stepping forward") << false;
    QTest::newRow("A held, stepping back through a long GOP") << true;
}

void TestX11Window::heldStepKey_stopsSteppingOnRelease()
{
    QFETCH(bool, back);
    if (clip1080.isEmpty()) {
        testmedia::ClipOptions options;
        options.fileName = QStringLiteral("hold1080.mp4");
        options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                             QStringLiteral("veryfast"), QStringLiteral("-g"), QStringLiteral("250"),
                             QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
        options.frames = 200;
        options.width = 1920;
        options.height = 1080;
        options.fps = kFps;
        QString error;
        const auto path = testmedia::writeClip(mediaDir.path(), options, &error);
        QVERIFY2(path, qPrintable(error));
        clip1080 = *path;
    }
    openWindow(clip1080, 1920.0 / 1080.0);
    RETURN_IF_FAILED();
    if (back) {
        input->click(timelineWidget, QPoint(timelineWidget->width() * 9 / 10, timelineWidget->height() / 2));
        QTRY_VERIFY_WITH_TIMEOUT(labelFrame() > 150, 5000);
    }
    const int start = labelFrame();

    // A common desktop repeat rate (500 ms, then 33 a second), a little
    // faster than Xvfb's own; the server's rate comes back afterwards.
    input->setAutoRepeat(true);
    unsigned serverDelay = 0, serverInterval = 0;
    QVERIFY2(input->autoRepeatRate(&serverDelay, &serverInterval), "the X server reports no auto-repeat rate");
    QVERIFY(input->setAutoRepeatRate(500, 30));
    const auto restore = qScopeGuard([&] { input->setAutoRepeatRate(serverDelay, serverInterval); });
    unsigned delay = 0, interval = 0;
    QVERIFY(input->autoRepeatRate(&delay, &interval));

    const unsigned long keysym = back ? XK_a : XK_d;
    input->keyDown(keysym);
    spin(1500);
    const int atRelease = labelFrame();
    input->keyUp(keysym);
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    // One step may still be running at the release; give it time to finish.
    spin(back ? 1500 : 300);
    const int soonAfter = labelFrame();
    const qint64 soonMs = sinceRelease.elapsed();
    spin(1500);
    const int later = labelFrame();
    const qint64 laterMs = sinceRelease.elapsed();

    const QString story = QStringLiteral("holding %1 for 1.5 s from frame %2 (auto-repeat after %3 ms, every %4 ms): "
                                         "frame %5 at the release, %6 after %7 ms, %8 after %9 ms")
                              .arg(back ? QStringLiteral("A") : QStringLiteral("D"))
                              .arg(start)
                              .arg(delay)
                              .arg(interval)
                              .arg(atRelease)
                              .arg(soonAfter)
                              .arg(soonMs)
                              .arg(later)
                              .arg(laterMs);
    qInfo("%s", qPrintable(story));
    QVERIFY2(std::abs(later - start) >= 2, qPrintable(story + QStringLiteral(": the held key hardly stepped")));
    // The label is read just before the release reaches the server: a step
    // being handled and a repeat the server sent just before the release may
    // both still land (seen under the sanitizers, whose steps take about as
    // long as a repeat interval). A backlog is more than that.
    QVERIFY2(std::abs(soonAfter - atRelease) <= 2, qPrintable(story + QStringLiteral(": a backlog of steps ran after the release")));
    QVERIFY2(later == soonAfter, qPrintable(story + QStringLiteral(": still stepping after the release")));
    expectShown(later, back ? QStringLiteral("releasing A") : QStringLiteral("releasing D"));
}

// ---- export ----------------------------------------------------------------

void TestX11Window::exportGifFromTheMenu_screenKeepsTheFrame()
{
    openWindow(clip, double(kWidth) / kHeight);
    RETURN_IF_FAILED();
    run(Script{key(XK_e, "E", 11), key(XK_e, "E", 21), key(XK_e, "E", 31)});
    RETURN_IF_FAILED();
    const QString out = mediaDir.filePath(QStringLiteral("menu.gif"));
    QFile::remove(out);
    // The dialog runs its own event loop inside the menu action: fill it in
    // from a timer once the server has given it the focus, and accept it
    // with the Return key.
    bool accepted = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || dialog->windowTitle() != QStringLiteral("Export animated GIF")
            || QApplication::activeWindow() != dialog || !QApplication::focusWidget())
            return;
        poll.stop();
        auto *path = dialog->findChild<QLineEdit *>(QStringLiteral("pathEdit"));
        auto *count = dialog->findChild<QSpinBox *>(QStringLiteral("frameCountSpin"));
        if (path && count) {
            path->setText(out);
            count->setValue(40);
        }
        input->type(XK_Return);
        accepted = true;
    });
    poll.start();
    auto *action = window->findChild<QAction *>(QStringLiteral("actionExport_Animated_Gif"));
    QVERIFY(action);
    QTimer::singleShot(0, action, &QAction::trigger);
    const bool done = waitUntil([&] { return accepted && !QApplication::activeModalWidget() && QFile::exists(out); },
                                20000);
    poll.stop();
    QVERIFY2(done, accepted ? "the export did not finish" : "no GIF dialog took the keyboard");
    // The export read from a source of its own: the screen still shows the
    // frame it started from, and stepping goes on from there.
    expectShown(31, QStringLiteral("the GIF export"));
    RETURN_IF_FAILED();
    run(Script{key(XK_d, "D", 32)});
}

// ---- text recognition ------------------------------------------------------

void TestX11Window::ctrlTCtrlLetGoFirst_readsTheShownTimeOntoTheClipboard()
{
    // A filmed timer: black digits on a white panel in a grey scene, "12.345"
    // on the first frame and "67.890" on the others. The overlay is white
    // text, seen against the grey.
    const QRect panel(150, 115, 340, 130);
    if (timerClip.isEmpty()) {
        testmedia::TextClipOptions options;
        options.fileName = QStringLiteral("timer.avi");
        options.frames = 30;
        options.width = kWidth;
        options.height = kHeight;
        options.fps = kFps;
        options.background = QStringLiteral("0x707070");
        options.panels = {panel};
        options.texts = {{QStringLiteral("12.345"), 170, 140, 72, 0, 0}, {QStringLiteral("67.890"), 170, 140, 72, 1, -1}};
        QString error;
        const auto path = testmedia::writeTextClip(mediaDir.path(), options, &error);
        QVERIFY2(path, qPrintable(error));
        timerClip = *path;
    }
    frameAspect = double(kWidth) / kHeight;
    showWindow(timerClip);
    RETURN_IF_FAILED();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    display = widget<QWidget>("displayWidget");
    timeLabel = widget<QLabel>("timeLabel");
    QVERIFY(display && timeLabel);
    expectLabel(1, QStringLiteral("opening the timer clip"));
    RETURN_IF_FAILED();

    // The clipboard as another program pastes it.
    const QString before = QStringLiteral("kept on the clipboard");
    QGuiApplication::clipboard()->setText(before);
    QString error;
    const auto pasted = [&error] {
        return clipboardTextFromAnotherClient(5000, &error).value_or(QStringLiteral("<%1>").arg(error));
    };
    QCOMPARE(pasted(), before);

    // The first frame on screen: a white panel in a grey scene.
    const double scale = double(pictureRect().width()) / kWidth;
    const cv::Rect panelOnScreen(int(panel.x() * scale), int(panel.y() * scale), int(panel.width() * scale),
                                 int(panel.height() * scale));
    const cv::Rect sceneOnScreen(0, 0, int(panel.x() * scale), int(panel.y() * scale));
    cv::Mat first;
    const bool painted = waitUntil(
        [&] {
            first = grabPicture();
            if (first.empty())
                return false;
            const double panelMean = cv::mean(first(panelOnScreen))[0];
            const double sceneMean = cv::mean(first(sceneOnScreen))[0];
            return panelMean > 200 && sceneMean > 90 && sceneMean < 140;
        },
        kScreenTimeoutMs);
    QVERIFY2(painted, qPrintable(QStringLiteral("the timer clip is not on screen; grab kept as %1")
                                     .arg(keep(first, QStringLiteral("first")))));

    // Ctrl+T as people often type it, Ctrl let go before T, and D right
    // after: the step lands during the read or after it, and either way the
    // text is that of the frame the keys were typed on.
    input->chord(XK_Control_L, XK_t, true);
    input->type(XK_d);
    // The answer: "OCR" over the picture (looked for above the time box,
    // whose text changes with the step) ...
    const auto aboveTimeBox = [](const cv::Mat &picture) {
        return picture.empty() ? picture : picture(cv::Rect(0, 0, picture.cols, picture.rows * 4 / 5));
    };
    cv::Mat shown;
    int lightened = 0;
    const bool said = waitUntil(
        [&] {
            shown = grabPicture();
            lightened = lightenedScenePixels(aboveTimeBox(first), aboveTimeBox(shown));
            return lightened > 3000;
        },
        20000);
    QVERIFY2(said, qPrintable(QStringLiteral("no overlay after Ctrl+T, Ctrl let go first (%1 pixels of the scene "
                                             "lightened); grab kept as %2")
                                  .arg(lightened)
                                  .arg(keep(shown, QStringLiteral("overlay")))));
    // ... and the time for any program to paste.
    QCOMPARE(pasted(), QStringLiteral("12.345"));
    // The overlay fades and the cursor is back; the step is on screen, and
    // T let go after Ctrl did nothing more.
    const bool faded = waitUntil(
        [&] {
            shown = grabPicture();
            lightened = lightenedScenePixels(aboveTimeBox(first), aboveTimeBox(shown));
            return lightened < 50;
        },
        5000);
    QVERIFY2(faded, qPrintable(QStringLiteral("the overlay stays (%1 pixels of the scene lightened); grab kept as %2")
                                   .arg(lightened)
                                   .arg(keep(shown, QStringLiteral("after")))));
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(labelFrame(), 2);
    const int changed = changedPixels(first, shown, panelOnScreen);
    QVERIFY2(changed > 500, qPrintable(QStringLiteral("the next frame is not on screen (%1 pixels of the panel changed); "
                                                      "grab kept as %2")
                                           .arg(changed)
                                           .arg(keep(shown, QStringLiteral("stepped")))));
}

// QApplication needs a display for the xcb platform: without one, start
// offscreen so that the tests can say why they skip.
int main(int argc, char *argv[])
{
    const bool haveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", haveDisplay ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    TestX11Window test(haveDisplay);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11window.moc"
