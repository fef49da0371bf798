// The main window under a seeded stream of random input on a real X server:
// key presses and releases of every bound and fixed key (modifiers among
// them, so keys arrive with and without Shift and Ctrl, and modifiers are let
// go before or after their key), mouse presses, drags and releases on the
// display and the timeline, and the menu actions that open no dialog.
// Afterwards the window must still be there and answer a key, and the splits
// file it autosaved must read back to the solves it holds.
//
// FRAMEWRIGHT_RANDOM_EVENTS (default 2000) sets the number of events and
// FRAMEWRIGHT_RANDOM_SEED the seed (default fixed, so that a failure
// reproduces); a failure prints the last events sent.
//
// Run under Xvfb with the xcb platform (CTest does: xvfb-run -a). Without a
// DISPLAY the test is skipped.

#include "FrameCursor.h"
#include "Framewright.h"
#include "SolveModel.h"
#include "SplitsFile.h"
#include "TestMedia.h"
#include "WindowWait.h"
#include "XInput.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QScopeGuard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kDefaultEvents = 2000;
constexpr unsigned kDefaultSeed = 20261206;
constexpr int kMaxHeldKeys = 3;
constexpr int kHistory = 40;

struct Key
{
    unsigned long keysym;
    const char *name;
};

// The bound keys (defaults), the fixed keys of the window, other keys a hand
// may hit, and the modifiers (listed twice: held more often).
// Ctrl+Q quits, which is what it should do; the test keeps "Exit" disabled so
// that a random chord does not end the run.
const Key kKeys[] = {
    {XK_space, "Space"}, {XK_q, "Q"},         {XK_a, "A"},         {XK_d, "D"},         {XK_e, "E"},
    {XK_m, "M"},         {XK_o, "O"},         {XK_f, "F"},         {XK_KP_Add, "KP+"},  {XK_equal, "="},
    {XK_0, "0"},         {XK_1, "1"},         {XK_2, "2"},         {XK_3, "3"},         {XK_5, "5"},
    {XK_9, "9"},         {XK_Left, "Left"},   {XK_Right, "Right"}, {XK_Prior, "PgUp"},  {XK_Next, "PgDn"},
    {XK_c, "C"},         {XK_y, "Y"},         {XK_z, "Z"},         {XK_v, "V"},         {XK_s, "S"},
    {XK_Tab, "Tab"},     {XK_Escape, "Esc"},  {XK_Return, "Enter"}, {XK_Delete, "Del"}, {XK_g, "G"},
    {XK_Shift_L, "Shift"}, {XK_Shift_L, "Shift"}, {XK_Control_L, "Ctrl"}, {XK_Control_L, "Ctrl"},
    // Marking more often than the other keys, so that marks pile up to be saved.
    {XK_m, "M"},         {XK_m, "M"},         {XK_m, "M"},
};

// The menu actions that open no dialog, with their weights: the clearing
// ones rarely, or the run would mostly end with nothing marked.
struct Action
{
    const char *name;
    int weight;
};
const Action kActions[] = {
    {"actionSave", 4},
    {"actionUndo", 4},
    {"actionRedo", 4},
    {"actionCopy_to_Clipboard", 4},
    {"actionPaste_from_Clipboard", 4},
    {"actionClear_Splits_for_this_solve", 1},
    {"actionClear_all_splits_and_solves", 1},
    {"actionSave_Screenshot_to_Clipboard", 2},
};

// An event that takes longer than this has hung the window.
constexpr qint64 kHungMs = 30000;

int environmentNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

}  // namespace

class TestX11Random : public QObject
{
    Q_OBJECT

public:
    explicit TestX11Random(bool haveDisplay) : haveDisplay(haveDisplay) {}

private:
    const bool haveDisplay;
    QTemporaryDir settingsDir;
    QTemporaryDir mediaDir;
    QString clip;
    std::unique_ptr<XInput> input;
    std::unique_ptr<Framewright> window;
    std::mt19937 random;

    std::vector<unsigned long> heldKeys;
    bool buttonHeld = false;
    int heldButton = 1;
    std::deque<QString> history;
    int dialogsClosed = 0;
    QElapsedTimer sinceEvent;
    bool closing = false;
    int counts[4] = {};  // keys, mouse, actions, pauses

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    void note(const QString &what);
    QString recentEvents() const;

    void keyEvent();
    void mouseEvent();
    void actionEvent();
    // A point in (or, now and then, just outside) the display or the timeline,
    // in screen coordinates; nullopt when neither is on screen.
    std::optional<QPoint> randomPoint();
    void releaseEverything();
    void closeStrayWindows();

    const SolveModel &model() const { return *window->model; }
    const FrameCursor &player() const { return *window->player; }

private Q_SLOTS:
    void initTestCase();
    void randomInput_leavesTheWindowRunningAndTheSplitsFileInStep();
    void cleanupTestCase();
};

void TestX11Random::initTestCase()
{
    if (!haveDisplay)
        QSKIP("no DISPLAY: this test needs a real X server (run it under xvfb-run)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(settingsDir.isValid() && mediaDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    input = std::make_unique<XInput>();
    QVERIFY2(input->isOpen(), qPrintable(input->error()));
    for (const Key &key : kKeys)
        QVERIFY2(input->hasKey(key.keysym), key.name);

    QVERIFY2(testmedia::haveFfmpeg(), "the ffmpeg program is needed to make the test clip");
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("random.avi");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("5")};
    options.frames = 240;
    options.width = 320;
    options.height = 180;
    QString error;
    const auto path = testmedia::writeClip(mediaDir.path(), options, &error);
    QVERIFY2(path, qPrintable(error));
    clip = *path;
}

void TestX11Random::cleanupTestCase()
{
    if (input)
        releaseEverything();
    window.reset();
}

void TestX11Random::note(const QString &what)
{
    history.push_back(what);
    if (history.size() > kHistory)
        history.pop_front();
}

QString TestX11Random::recentEvents() const
{
    QStringList lines;
    for (const QString &line : history)
        lines << line;
    return lines.join(QStringLiteral("; "));
}

void TestX11Random::keyEvent()
{
    ++counts[0];
    const bool release = !heldKeys.empty() && (heldKeys.size() >= kMaxHeldKeys || uniform(0, 1) == 0);
    if (release) {
        const size_t i = size_t(uniform(0, int(heldKeys.size()) - 1));
        const unsigned long keysym = heldKeys[i];
        heldKeys.erase(heldKeys.begin() + std::ptrdiff_t(i));
        input->keyUp(keysym);
        note(QStringLiteral("release %1").arg(keysym, 0, 16));
        return;
    }
    const Key &key = kKeys[uniform(0, int(std::size(kKeys)) - 1)];
    if (std::find(heldKeys.begin(), heldKeys.end(), key.keysym) != heldKeys.end())
        return;
    heldKeys.push_back(key.keysym);
    input->keyDown(key.keysym);
    note(QStringLiteral("press %1 (%2)").arg(QLatin1String(key.name)).arg(key.keysym, 0, 16));
}

std::optional<QPoint> TestX11Random::randomPoint()
{
    QWidget *targets[] = {window->findChild<QWidget *>(QStringLiteral("displayWidget")),
                          window->findChild<QWidget *>(QStringLiteral("timelineWidget"))};
    QWidget *target = targets[uniform(0, 1)];
    if (!target || !target->isVisible() || target->width() < 2 || target->height() < 2) {
        target = targets[0];
        if (!target || !target->isVisible())
            return std::nullopt;
    }
    const int margin = uniform(0, 9) == 0 ? 8 : 0;
    const QPoint local(uniform(-margin, target->width() - 1 + margin), uniform(-margin, target->height() - 1 + margin));
    return target->mapToGlobal(local);
}

void TestX11Random::mouseEvent()
{
    ++counts[1];
    const std::optional<QPoint> point = randomPoint();
    if (!point)
        return;
    input->moveTo(*point);
    switch (uniform(0, 5)) {
    case 0:  // press, to be released by a later event
        if (!buttonHeld) {
            heldButton = uniform(0, 4) == 0 ? 3 : 1;
            input->buttonDown(heldButton);
            buttonHeld = true;
            note(QStringLiteral("button %1 down at %2,%3").arg(heldButton).arg(point->x()).arg(point->y()));
            return;
        }
        Q_FALLTHROUGH();
    case 1:  // release wherever the pointer is
        if (buttonHeld) {
            input->buttonUp(heldButton);
            buttonHeld = false;
            note(QStringLiteral("button %1 up at %2,%3").arg(heldButton).arg(point->x()).arg(point->y()));
            return;
        }
        Q_FALLTHROUGH();
    case 2: {  // a drag in a few motions, or just a move while a button is held
        const std::optional<QPoint> end = randomPoint();
        if (!end)
            return;
        const bool press = !buttonHeld;
        if (press)
            input->buttonDown(1);
        const int steps = uniform(1, 6);
        for (int i = 1; i <= steps; ++i) {
            input->moveTo(*point + (*end - *point) * i / steps);
            spin(3);
        }
        if (press)
            input->buttonUp(1);
        note(QStringLiteral("drag %1,%2 -> %3,%4").arg(point->x()).arg(point->y()).arg(end->x()).arg(end->y()));
        return;
    }
    case 3:  // the wheel
        if (!buttonHeld) {
            const int button = uniform(4, 5);
            input->buttonDown(button);
            input->buttonUp(button);
            note(QStringLiteral("wheel %1 at %2,%3").arg(button).arg(point->x()).arg(point->y()));
            return;
        }
        Q_FALLTHROUGH();
    default:  // a click
        if (!buttonHeld) {
            input->buttonDown(1);
            spin(uniform(0, 1) * 8);
            input->buttonUp(1);
            note(QStringLiteral("click at %1,%2").arg(point->x()).arg(point->y()));
        }
        return;
    }
}

void TestX11Random::actionEvent()
{
    ++counts[2];
    int total = 0;
    for (const Action &a : kActions)
        total += a.weight;
    int pick = uniform(0, total - 1);
    const char *name = kActions[0].name;
    for (const Action &a : kActions) {
        if (pick < a.weight) {
            name = a.name;
            break;
        }
        pick -= a.weight;
    }
    QAction *action = window->findChild<QAction *>(QLatin1String(name));
    QVERIFY2(action, name);
    action->trigger();
    note(QLatin1String(name));
}

void TestX11Random::releaseEverything()
{
    for (unsigned long keysym : heldKeys)
        input->keyUp(keysym);
    heldKeys.clear();
    if (buttonHeld)
        input->buttonUp(heldButton);
    buttonHeld = false;
}

void TestX11Random::closeStrayWindows()
{
    // A hang inside a nested event loop would otherwise end only at the
    // test's time limit, without saying which events led there.
    if (sinceEvent.isValid() && sinceEvent.elapsed() > kHungMs)
        qFatal("no event finished for %lld s; last events: %s", sinceEvent.elapsed() / 1000,
               qPrintable(recentEvents()));
    // Hiding a window can spin the event loop, and this timer with it: a
    // second close of a dialog that is closing leaves it on screen.
    if (closing)
        return;
    closing = true;
    auto done = qScopeGuard([this] { closing = false; });
    // A key can reach a menu shortcut that opens a dialog (Ctrl+O, Ctrl+D,
    // ...) or a question (removing a solve with marks): answer "no".
    for (int round = 0; round < 10; ++round) {
        QWidget *stray = QApplication::activeModalWidget();
        if (!stray)
            stray = QApplication::activePopupWidget();
        if (!stray) {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top != window.get() && top->isVisible() && top->isWindow()) {
                    stray = top;
                    break;
                }
            }
        }
        if (!stray)
            return;
        // A person lets go of the keys when a dialog comes up; a chord held
        // down would otherwise reopen it with every auto-repeat.
        releaseEverything();
        ++dialogsClosed;
        note(QStringLiteral("closed %1 \"%2\"").arg(QLatin1String(stray->metaObject()->className()), stray->windowTitle()));
        if (auto *dialog = qobject_cast<QDialog *>(stray))
            dialog->reject();
        else
            stray->close();
        if (stray->isVisible())
            stray->hide();
    }
}

void TestX11Random::randomInput_leavesTheWindowRunningAndTheSplitsFileInStep()
{
    const int events = environmentNumber("FRAMEWRIGHT_RANDOM_EVENTS", kDefaultEvents);
    const unsigned seed = unsigned(environmentNumber("FRAMEWRIGHT_RANDOM_SEED", int(kDefaultSeed)));
    random.seed(seed);
    qInfo("%d random events, seed %u", events, seed);

    window = std::make_unique<Framewright>(clip);
    window->resize(1000, 700);
    window->move(10, 10);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *autosave = window->findChild<QCheckBox *>(QStringLiteral("autosaveCheck"));
    auto *timeLabel = window->findChild<QLabel *>(QStringLiteral("timeLabel"));
    auto *exitAction = window->findChild<QAction *>(QStringLiteral("actionExit"));
    QVERIFY(autosave && timeLabel && exitAction);
    autosave->setChecked(true);
    exitAction->setEnabled(false);
    QVERIFY(player().hasSource());

    // Dialogs run their own event loop inside the event that opened them:
    // a timer closes them from within that loop.
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, &TestX11Random::closeStrayWindows);
    closer.start(40);

    auto failed = qScopeGuard([this] {
        if (QTest::currentTestFailed())
            qWarning("last events: %s", qPrintable(recentEvents()));
    });

    QElapsedTimer elapsed;
    elapsed.start();
    int mostMarks = 0;
    for (int i = 0; i < events; ++i) {
        sinceEvent.start();
        const int kind = uniform(0, 99);
        if (kind < 55) {
            keyEvent();
        } else if (kind < 88) {
            mouseEvent();
        } else if (kind < 96) {
            actionEvent();
        } else {
            ++counts[3];
            note(QStringLiteral("pause"));
            spin(uniform(20, 200));
        }
        spin(uniform(2, 12));
        int held = 0;
        for (const Marks &solve : model().solves())
            held += int(solve.size());
        mostMarks = std::max(mostMarks, std::max(held, int(model().marks().size())));
        // The program ending (or its window going) ends the run at once.
        QVERIFY2(window->isVisible(), qPrintable(QStringLiteral("the window closed after event %1").arg(i)));
        if ((i + 1) % 1000 == 0)
            qInfo("%d events sent (%lld s)", i + 1, elapsed.elapsed() / 1000);
    }
    releaseEverything();
    spin(100);
    sinceEvent.invalidate();
    closeStrayWindows();
    closer.stop();
    qInfo("sent %d key, %d mouse, %d menu and %d pause events in %lld s; closed %d dialogs; at most %d marks held",
          counts[0], counts[1], counts[2], counts[3], elapsed.elapsed() / 1000, dialogsClosed, mostMarks);

    // Still running: paused, it answers a step key with another frame.
    QVERIFY(window->isVisible());
    if (!player().paused)
        window->on_pauseButton_clicked();
    QVERIFY(player().paused);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    spin(100);
    const int before = frameNumberOf(timeLabel->text());
    const unsigned long step = before >= 2 ? XK_a : XK_d;
    input->keyDown(step);
    spin(20);
    input->keyUp(step);
    QVERIFY2(waitUntil([&] { return frameNumberOf(timeLabel->text()) != before; }, 3000),
             qPrintable(QStringLiteral("a step key from frame %1 changed nothing: %2").arg(before).arg(timeLabel->text())));

    // The autosaved file holds what the window holds.
    autosave->setChecked(true);
    QVERIFY2(waitUntil([this] { return model().saved(); }, 8000), "the marks were not autosaved");
    // With no solve stored, the file holds the working marks as its one solve.
    std::vector<Marks> expected = model().solves();
    if (expected.empty())
        expected.push_back(model().marks());
    QFile file(SplitsPathFor(QFileInfo(clip).canonicalFilePath()));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const SplitsFileContent content = ParseSplitsFile(file);
    int marks = 0;
    for (const Marks &solve : expected)
        marks += int(solve.size());
    qInfo("the window holds %d solves with %d marks", int(expected.size()), marks);
    QCOMPARE(content.solves, expected);
}

int main(int argc, char *argv[])
{
    const bool haveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    qputenv("QT_QPA_PLATFORM", haveDisplay ? "xcb" : "offscreen");
    // QtTest stops a test function after 5 minutes; a long run gets time by
    // its length (events take about 25 ms here, far more under the sanitizers).
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT")) {
        const qint64 events = environmentNumber("FRAMEWRIGHT_RANDOM_EVENTS", kDefaultEvents);
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(std::max<qint64>(300'000, events * 200)));
    }
    QApplication app(argc, argv);
    TestX11Random test(haveDisplay);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11random.moc"
