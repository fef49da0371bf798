// The main window at work on generated clips: opening, keys, steps and jumps,
// solves, crop editing with the mouse, timeline seeking, key bindings, drag
// and drop, autosave, what the display and the timeline paint, what the
// window says about files and frames it cannot read, the exports, and text
// read from the picture onto the clipboard.

#include "Framewright.h"
#include "DisplayWidget.h"
#include "EnvironmentGuard.h"
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "FrameSources.h"
#include "GifDecode.h"
#include "GifExport.h"
#include "KeyBindings.h"
#include "SolveModel.h"
#include "SplitsFile.h"
#include "TestMedia.h"
#include "TextRecognition.h"
#include "ThreadPoolHold.h"
#include "ui_FramewrightWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QComboBox>
#include <QClipboard>
#include <QCursor>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// Rectangles edited with the mouse are computed in single precision.
bool near(const QRectF &a, const QRectF &b)
{
    return qAbs(a.x() - b.x()) < 1e-6 && qAbs(a.y() - b.y()) < 1e-6 && qAbs(a.width() - b.width()) < 1e-6
           && qAbs(a.height() - b.height()) < 1e-6;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Runs `answer` on the next modal dialog (polling, as a modal dialog runs its own loop).
void onNextModal(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start(10);
}

// Drags `paths` onto the window and drops them, as from a file manager.
void dropFiles(Framewright &w, const QStringList &paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
}

// How many entries of `texts` contain `part`.
qsizetype countContaining(const QList<QString> &texts, const QString &part)
{
    return std::count_if(texts.begin(), texts.end(), [&](const QString &text) { return text.contains(part); });
}

// Text recognition: how long a read may take (the sanitizer build is slow),
// what the clipboard holds before one (no frame shows it) and what the
// display says afterwards.
constexpr int kOcrTimeoutMs = 20000;
const QString kClipboardBefore = QStringLiteral("kept on the clipboard");
const QString kOcrRead = QStringLiteral("OCR");
const QString kOcrNoData = QStringLiteral("OCR: no English language data found");
// The timer clip (640 x 360, white) shows "12.345" at 40..290 x 40..100 and
// "67.890" at 360..610 x 250..310; a selection around the first one.
const QRectF kAroundFirstTime(0.03, 0.05, 0.47, 0.3);

// Index frames of 160 x 120 that cannot decode the frame of index `broken`;
// after the last one comes the end of the stream, as from the FFmpeg source.
class BrokenFrameSource : public FrameGrabber
{
public:
    BrokenFrameSource(int32_t count, int32_t broken) : count(count), broken(broken) {}

    static QString reason() { return QStringLiteral("Frame 31 of broken.mkv cannot be read: Invalid data."); }

    FrameSize getSize() override { return {160, 120}; }
    int32_t getFrameCount() override { return count; }
    FrameGrabber &operator>>(cv::Mat &frame) override
    {
        if (position >= count) {
            last = ReadResult::EndOfStream;
        } else if (position == broken) {
            last = ReadResult::Error;
        } else {
            frame = testmedia::indexFrame(position++, 160, 120);
            last = ReadResult::Delivered;
        }
        return *this;
    }
    void seek(int32_t frameIndex) override { position = ClampFrameTarget(frameIndex, count); }
    void skip(int32_t delta) override { seek(position + delta); }
    float getFps() override { return 25.0f; }
    int32_t getPosition() override { return position; }
    bool isOpen() const override { return true; }
    QString errorString() const override { return last == ReadResult::Error ? reason() : QString(); }
    ReadResult lastRead() const override { return last; }

private:
    int32_t count;
    int32_t broken;
    int32_t position = 0;
    ReadResult last = ReadResult::Delivered;
};

}  // namespace

class TestFramewrightVideo : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    QTemporaryDir mediaDir;
    QString clip;  // MJPEG AVI: 200 frames of 160 x 120 at 25 fps, each showing its index

    // ---- access to the window's state ----
    static Ui::FramewrightWindow &ui(Framewright &w) { return *w.ui; }
    static int32_t frame(Framewright &w) { return w.player->currentFrame; }
    static int shownIndex(Framewright &w) { return testmedia::readIndex(w.player->processedFrame); }
    static const QList<QString> &messages(Framewright &w) { return w.ui->displayWidget->messages; }
    static const SolveModel &model(Framewright &w) { return *w.model; }
    static QRectF editCrop(Framewright &w) { return w.ui->displayWidget->editCrop; }
    static int32_t binding(Framewright &w) { return w.keyBindings->AddMarker; }

    static void key(Framewright &w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent release(QEvent::KeyRelease, key, modifiers);
        QApplication::sendEvent(&w, &release);
    }

    // The clips text is read from, drawn on first use: "timer" (two times,
    // see kAroundFirstTime) and "lines" (two lines of words and times).
    QMap<QString, QString> textClips;
    QString textClip(const QString &name);
    static void triggerOcr(Framewright &w) { w.ui->actionOCR_from_selection->trigger(); }
    static bool readingCursor()
    {
        return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
    }

    QString copyClip(const QString &name)
    {
        const QString path = mediaDir.filePath(name);
        QFile::remove(path);
        QFile::copy(clip, path);
        return path;
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void open_titleAndFirstFrame();
    void open_percentInNameKeptInTitle();
    void open_missingFileIgnored();
    void steps_keysShowTheRightFrames();
    void marks_keysJumpsAndMessages();
    void solves_pageUpDown();
    void crop_drawMoveResizeAndClick();
    void timeline_clickSeeks();
    void bindings_rebindSurvivesRestart();
    void bindings_fixedKeyRefused();
    void drop_videoAndSplits();
    void autosave_writesWhatTheMarksImply();
    void paint_displayAndTimeline();
    void playback_spaceTogglesAndWraps();
    void goToFrame_dialog();
    void openMostRecent_key();
    void open_pathsKeptCanonical_data();
    void open_pathsKeptCanonical();
    void keys_actAsPressedWhateverIsReleasedFirst_data();
    void keys_actAsPressedWhateverIsReleasedFirst();
    void keys_typedIntoTheFpsBoxStayThere();
    void layout_800x600NoOverlapWholeTimeText();
    void demo_marksInsideTheDemoClip();
    void keys_chordTakenByAMenuShortcutActsOnce();
    void keys_backToTheWindowAfterTheFpsBox();
    void display_messagesWithoutAPictureDoNotPileUp();
    void playback_timelinePaintedOncePerFrame();
    void open_unreadableFileSaysWhyOnceAndKeepsTheVideo_data();
    void open_unreadableFileSaysWhyOnceAndKeepsTheVideo();
    void read_failureSaidOnceEndOfStreamSilent();
    void open_variableFrameRateSaidOnce_data();
    void open_variableFrameRateSaidOnce();
    void open_unsavedMarksOfThePreviousVideoWritten_data();
    void open_unsavedMarksOfThePreviousVideoWritten();
    void export_gifFromTheFrameOnDisplay();
    void export_gifDialogDefaultsAndExtension();
    void export_gifFailureSaysWhy();
    void screenshot_processedFrameAtFullSize();
    void export_videoDialogEntriesFollowTheProcessing();
    void export_videoWritesTheRangeAndKeepsTheView_data();
    void export_videoWritesTheRangeAndKeepsTheView();
    void export_videoFailureSaysWhy();
    void ocr_selectionReadOntoTheClipboard_data();
    void ocr_selectionReadOntoTheClipboard();
    void ocr_secondRequestWhileReadingSaysBusy();
    void ocr_missingLanguageDataSaysWhereItLookedThenFindsIt_data();
    void ocr_missingLanguageDataSaysWhereItLookedThenFindsIt();
    void ocr_languageDataBesideTheVideoNotLoaded_data();
    void ocr_languageDataBesideTheVideoNotLoaded();
};

QString TestFramewrightVideo::textClip(const QString &name)
{
    if (textClips.contains(name))
        return textClips.value(name);
    testmedia::TextClipOptions options;
    options.fileName = name + QStringLiteral(".avi");
    if (name == QLatin1String("timer")) {
        options.texts = {{QStringLiteral("12.345"), 40, 40, 72}, {QStringLiteral("67.890"), 360, 250, 72}};
    } else {
        options.texts = {{QStringLiteral("Cross 1.20"), 40, 60, 56}, {QStringLiteral("F2L 7.85"), 40, 160, 56}};
    }
    QString error;
    const auto path = testmedia::writeTextClip(mediaDir.path(), options, &error);
    if (!path) {
        qWarning("the %s clip could not be made: %s", qPrintable(name), qPrintable(error));
        return QString();
    }
    textClips.insert(name, *path);
    return *path;
}

void TestFramewrightVideo::initTestCase()
{
    QVERIFY(settingsDir.isValid() && mediaDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    if (!testmedia::haveFfmpeg())
        QSKIP("the ffmpeg program is needed to make test clips");
    testmedia::ClipOptions options;
    options.fileName = QStringLiteral("source.avi");
    options.codecArgs = {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3")};
    options.frames = 200;
    options.width = 160;
    options.height = 120;
    options.fps = 25;
    QString error;
    const auto path = testmedia::writeClip(mediaDir.path(), options, &error);
    QVERIFY2(path, qPrintable(error));
    clip = *path;
}

void TestFramewrightVideo::init()
{
    QSettings(QStringLiteral("Marrowby"), QStringLiteral("Framewright")).clear();
    QSettings().clear();
    QDir::setCurrent(mediaDir.path());
}

void TestFramewrightVideo::cleanup()
{
    // A test that stopped during a read closed its window with the busy
    // cursor still set; the next tests look at the cursor.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void TestFramewrightVideo::open_titleAndFirstFrame()
{
    const QString path = copyClip(QStringLiteral("open.avi"));
    writeFile(path + QStringLiteral(".splits.txt"), "Splits:10:20|Splits:30:40:50|\nFps:25\nRotate:0\n");
    Framewright w(path);
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6: %1 (160x120, 25fps)").arg(path));
    QCOMPARE(frame(w), 1);
    QCOMPARE(shownIndex(w), 0);
    QCOMPARE(ui(w).timeLabel->text(), QStringLiteral("00:00:040 (1)"));
    QCOMPARE(ui(w).solveCombo->count(), 2);
    QCOMPARE(model(w).marks(), (Marks{10, 20}));
    QCOMPARE(QSettings().value(QStringLiteral("mostRecentPath")).toString(), path);
    QCOMPARE(QDir::currentPath(), QFileInfo(path).absolutePath());
}

void TestFramewrightVideo::open_percentInNameKeptInTitle()
{
    const QString path = copyClip(QStringLiteral("take%1%2.avi"));
    Framewright w(path);
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6: %1 (160x120, 25fps)").arg(path));
}

void TestFramewrightVideo::open_missingFileIgnored()
{
    Framewright w(mediaDir.filePath(QStringLiteral("nothing-here.avi")));
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6"));
    QCOMPARE(frame(w), 0);
}

void TestFramewrightVideo::steps_keysShowTheRightFrames()
{
    Framewright w(copyClip(QStringLiteral("steps.avi")));
    struct Step
    {
        int key;
        int32_t frame;  // 1-based number shown afterwards
    };
    // D: +1, E: +10, A: -1, Q: -10 (default bindings).
    const Step steps[] = {{Qt::Key_D, 2}, {Qt::Key_E, 12}, {Qt::Key_E, 22}, {Qt::Key_A, 21},
                          {Qt::Key_Q, 11}, {Qt::Key_Q, 1},  {Qt::Key_Q, 1},  {Qt::Key_A, 1}};
    for (const Step &step : steps) {
        key(w, step.key);
        QCOMPARE(frame(w), step.frame);
        QCOMPARE(shownIndex(w), step.frame - 1);
    }
    // The buttons do the same.
    ui(w).frameForwardButton->click();
    QCOMPARE(frame(w), 11);
    QCOMPARE(shownIndex(w), 10);
    ui(w).framePrevButton->click();
    QCOMPARE(frame(w), 10);
    QCOMPARE(shownIndex(w), 9);
}

void TestFramewrightVideo::marks_keysJumpsAndMessages()
{
    Framewright w(copyClip(QStringLiteral("marks.avi")));
    for (int i = 0; i < 4; ++i)
        key(w, Qt::Key_E);  // frame 41
    key(w, Qt::Key_M);
    QCOMPARE(messages(w).last(), QStringLiteral("0"));
    key(w, Qt::Key_E);
    key(w, Qt::Key_M);  // 51
    key(w, Qt::Key_E);
    key(w, Qt::Key_E);
    key(w, Qt::Key_M);  // 71
    QCOMPARE(model(w).marks(), (Marks{41, 51, 71}));
    QCOMPARE(ui(w).splitList->count(), 4);

    key(w, Qt::Key_1);
    QCOMPARE(frame(w), 51);
    QCOMPARE(shownIndex(w), 50);
    QCOMPARE(messages(w).last(), QStringLiteral("1"));
    key(w, Qt::Key_3, Qt::ShiftModifier);  // mark 13: the last one
    QCOMPARE(frame(w), 71);
    QCOMPARE(messages(w).last(), QStringLiteral("END"));
    key(w, Qt::Key_Right);  // at the last mark: back to the first
    QCOMPARE(frame(w), 41);
    QCOMPARE(messages(w).last(), QStringLiteral("1"));
    key(w, Qt::Key_Right);
    QCOMPARE(frame(w), 51);
    QCOMPARE(messages(w).last(), QStringLiteral("2"));
    key(w, Qt::Key_Left);
    QCOMPARE(frame(w), 41);
    QCOMPARE(messages(w).last(), QStringLiteral("1"));
    key(w, Qt::Key_Left);  // at the first: to the last
    QCOMPARE(frame(w), 71);
    QCOMPARE(shownIndex(w), 70);

    // A double-click on a row jumps to its mark.
    w.on_splitList_itemDoubleClicked(ui(w).splitList->item(1));
    QCOMPARE(frame(w), 51);
    QCOMPARE(shownIndex(w), 50);
}

void TestFramewrightVideo::solves_pageUpDown()
{
    const QString path = copyClip(QStringLiteral("solves.avi"));
    writeFile(path + QStringLiteral(".splits.txt"), "Splits:10|Splits:20|Splits:30|\nFps:25\nRotate:0\n");
    Framewright w(path);
    key(w, Qt::Key_PageUp);
    QCOMPARE(model(w).currentSolve(), 1);
    key(w, Qt::Key_PageUp);
    key(w, Qt::Key_PageUp);  // stays on the last
    QCOMPARE(model(w).currentSolve(), 2);
    QCOMPARE(model(w).marks(), Marks{30});
    key(w, Qt::Key_PageDown);
    QCOMPARE(model(w).currentSolve(), 1);
    QCOMPARE(messages(w).last(), QStringLiteral("Solve 2"));
    // "+" adds a solve.
    key(w, Qt::Key_Plus);
    QCOMPARE(ui(w).solveCombo->count(), 4);
}

void TestFramewrightVideo::crop_drawMoveResizeAndClick()
{
    Framewright w(copyClip(QStringLiteral("crop.avi")));
    w.resize(800, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget *display = ui(w).displayWidget;
    display->resize(400, 300);  // the 4:3 picture fills it exactly
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, display->mapToGlobal(at), button, buttons, QGuiApplication::keyboardModifiers());
        QApplication::sendEvent(display, &event);
    };
    ui(w).cropKeepAspect->setChecked(false);
    send(QEvent::MouseButtonPress, {40, 30}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {200, 150}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {200, 150}, Qt::LeftButton, Qt::NoButton);
    QVERIFY2(near(editCrop(w), QRectF(0.1, 0.1, 0.4, 0.4)), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(editCrop(w).x()).arg(editCrop(w).y()).arg(editCrop(w).width()).arg(editCrop(w).height())));
    QVERIFY(w.windowTitle().endsWith(QLatin1Char('*')));

    // Keep Aspect Ratio: a square in fractions.
    ui(w).cropKeepAspect->setChecked(true);
    send(QEvent::MouseButtonPress, {40, 30}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {200, 60}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {200, 60}, Qt::LeftButton, Qt::NoButton);
    QVERIFY2(near(editCrop(w), QRectF(0.1, 0.1, 0.4, 0.4)), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(editCrop(w).x()).arg(editCrop(w).y()).arg(editCrop(w).width()).arg(editCrop(w).height())));

    // Shift-drag moves it, even when it ends where it began.
    QTest::keyPress(&w, Qt::Key_Shift, Qt::ShiftModifier);
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {140, 100}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, {100, 100}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {100, 100}, Qt::LeftButton, Qt::NoButton);
    QTest::keyRelease(&w, Qt::Key_Shift, Qt::NoModifier);
    QVERIFY2(near(editCrop(w), QRectF(0.1, 0.1, 0.4, 0.4)), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(editCrop(w).x()).arg(editCrop(w).y()).arg(editCrop(w).width()).arg(editCrop(w).height())));
    QTest::keyPress(&w, Qt::Key_Shift, Qt::ShiftModifier);
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {400, 100}, Qt::NoButton, Qt::LeftButton);  // pushed against the right edge
    send(QEvent::MouseButtonRelease, {400, 100}, Qt::LeftButton, Qt::NoButton);
    QTest::keyRelease(&w, Qt::Key_Shift, Qt::NoModifier);
    QVERIFY(qAbs(editCrop(w).right() - 1.0) < 1e-6);
    QVERIFY(qAbs(editCrop(w).width() - 0.4) < 1e-6);

    // Ctrl right-drag shrinks it, never below 4 source pixels.
    QTest::keyPress(&w, Qt::Key_Control, Qt::ControlModifier);
    send(QEvent::MouseButtonPress, {300, 100}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {0, 100}, Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, {0, 100}, Qt::RightButton, Qt::NoButton);
    QTest::keyRelease(&w, Qt::Key_Control, Qt::NoModifier);
    QVERIFY(qAbs(editCrop(w).width() - 4.0 / 160) < 1e-9);

    // A plain click clears it.
    send(QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {50, 50}, Qt::LeftButton, Qt::NoButton);
    QVERIFY2(near(editCrop(w), QRectF(0, 0, 1, 1)), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(editCrop(w).x()).arg(editCrop(w).y()).arg(editCrop(w).width()).arg(editCrop(w).height())));

    // Set Crop applies a drawn rectangle; the pipeline then shows the crop.
    send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {200, 150}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {200, 150}, Qt::LeftButton, Qt::NoButton);
    ui(w).cropButton->click();
    QVERIFY(ui(w).cropPreviewCheck->isChecked());
    QCOMPARE(w.player->processedFrame.cols, 80);
    QCOMPARE(w.player->processedFrame.rows, 60);
    w.hide();
}

void TestFramewrightVideo::timeline_clickSeeks()
{
    Framewright w(copyClip(QStringLiteral("timeline.avi")));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget *timeline = ui(w).timelineWidget;
    timeline->resize(400, timeline->height());
    QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(200, 10));
    // Half of 200 frames: frame index 100 is read next, shown as number 101.
    QCOMPARE(frame(w), 101);
    QCOMPARE(shownIndex(w), 100);
    QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(399, 10));
    QCOMPARE(shownIndex(w), 199);
    w.hide();
}

void TestFramewrightVideo::bindings_rebindSurvivesRestart()
{
    {
        Framewright w;
        onNextModal([](QWidget *dialog) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("addMarkerEdit"));
            QVERIFY(edit);
            QCOMPARE(edit->text(), QStringLiteral("M"));
            edit->setText(QStringLiteral("w"));
            auto buttons = dialog->findChildren<QPushButton *>();
            for (QPushButton *button : buttons)
                if (button->text() == QLatin1String("Save Changes"))
                    button->click();
        });
        w.on_actionEdit_Keyboard_Bindings_triggered();
        QCOMPARE(binding(w), 87);
    }
    Framewright again(copyClip(QStringLiteral("rebind.avi")));
    QCOMPARE(binding(again), 87);
    key(again, Qt::Key_W);
    QCOMPARE(model(again).marks(), Marks{1});
    key(again, Qt::Key_M);  // no longer bound
    QCOMPARE(model(again).marks(), Marks{1});
}

void TestFramewrightVideo::bindings_fixedKeyRefused()
{
    Framewright w;
    QString warning;
    onNextModal([&](QWidget *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("addSolveEdit"));
        QVERIFY(edit);
        edit->setText(QStringLiteral("c"));
        // The refusal comes as a message box over the dialog.
        onNextModal([&, dialog](QWidget *box) {
            warning = qobject_cast<QMessageBox *>(box) ? qobject_cast<QMessageBox *>(box)->text() : QString();
            qobject_cast<QMessageBox *>(box)->accept();
            QTimer::singleShot(50, dialog, [dialog] { qobject_cast<QDialog *>(dialog)->reject(); });
        });
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            if (button->text() == QLatin1String("Save Changes"))
                QTimer::singleShot(0, button, &QPushButton::click);
    });
    w.on_actionEdit_Keyboard_Bindings_triggered();
    QVERIFY2(warning.contains(QLatin1String("C always copies")), qPrintable(warning));
    QCOMPARE(w.keyBindings->AddSolve, 43);
}

void TestFramewrightVideo::drop_videoAndSplits()
{
    const QString video = copyClip(QStringLiteral("drop.avi"));
    writeFile(video + QStringLiteral(".splits.txt"), "Splits:5|\nFps:25\nRotate:0\n");
    const QString extra = mediaDir.filePath(QStringLiteral("extra.splits.txt"));
    writeFile(extra, "Splits:7:8|Splits:9|\n");
    Framewright w;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(video), QUrl::fromLocalFile(extra)});
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    QCOMPARE(model(w).solves(), (std::vector<Marks>{{5}, {7, 8}, {9}}));
    QCOMPARE(ui(w).solveCombo->count(), 3);
    QVERIFY(w.windowTitle().contains(video));

    QMimeData other;
    other.setUrls({QUrl::fromLocalFile(mediaDir.filePath(QStringLiteral("notes.doc")))});
    QDragEnterEvent refused(QPoint(1, 1), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(&w, &refused);
    QVERIFY(!refused.isAccepted());
}

void TestFramewrightVideo::autosave_writesWhatTheMarksImply()
{
    const QString video = copyClip(QStringLiteral("auto.avi"));
    QFile::remove(video + QStringLiteral(".splits.txt"));
    Framewright w(video);
    key(w, Qt::Key_E);  // frame 11
    key(w, Qt::Key_M);
    key(w, Qt::Key_E);
    key(w, Qt::Key_M);  // 21
    key(w, Qt::Key_Plus);
    key(w, Qt::Key_E);
    key(w, Qt::Key_M);  // 31 in solve 2
    ui(w).rotateCombo->setCurrentIndex(3);
    w.AutoSave();
    QCOMPARE(readAll(video + QStringLiteral(".splits.txt")), QByteArray("Splits:11:21|Splits:31|\nFps:25\nRotate:3\n"));
    QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));
}

void TestFramewrightVideo::paint_displayAndTimeline()
{
    const QString video = copyClip(QStringLiteral("paint.avi"));
    writeFile(video + QStringLiteral(".splits.txt"), "Splits:20:100:200|Splits:50:150|\nFps:25\nRotate:0\n");
    Framewright w(video);
    w.resize(900, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget *timeline = ui(w).timelineWidget;
    timeline->resize(400, 40);
    const QImage strip = timeline->grab().toImage();
    // Frame f lies at f / 200 * 400 = 2 f pixels. Step 1 of the current solve
    // (frames 20 to 100) is "#045459" at half opacity over white.
    const QColor step = strip.pixelColor(60, 30);
    QVERIFY2(qAbs(step.red() - (0x04 + 255) / 2) <= 3 && qAbs(step.green() - (0x54 + 255) / 2) <= 3
                 && qAbs(step.blue() - (0x59 + 255) / 2) <= 3,
             qPrintable(step.name()));
    // Step 2 (100 to 200) is "#087353"; its number stands at x = 300 and the
    // other solve's grey block covers 100 to 300.
    const QColor step2 = strip.pixelColor(370, 30);
    QVERIFY2(qAbs(step2.green() - (0x73 + 255) / 2) <= 3, qPrintable(step2.name()));
    // The playhead at frame 1 (x = 2) is black.
    QCOMPARE(strip.pixelColor(2, 20).lightness() < 60, true);

    // The display: a red edit rectangle over the picture.
    QWidget *display = ui(w).displayWidget;
    display->resize(400, 300);
    w.ui->displayWidget->editCrop = QRectF(0.25, 0.25, 0.5, 0.5);
    const QImage picture = display->grab().toImage();
    const QColor edge = picture.pixelColor(200, 75);  // top edge of the rectangle
    QVERIFY2(edge.red() > 200 && edge.green() < 60 && edge.blue() < 60, qPrintable(edge.name()));
    w.hide();
}

void TestFramewrightVideo::playback_spaceTogglesAndWraps()
{
    Framewright w(copyClip(QStringLiteral("play.avi")));
    ui(w).playbackRateCheck->setChecked(false);
    key(w, Qt::Key_Space);
    QVERIFY(!w.player->paused);
    // Playing past the last frame (200) starts again at the first.
    bool wrapped = false;
    int32_t previous = frame(w);
    QElapsedTimer timer;
    timer.start();
    while (!wrapped && timer.elapsed() < 20000) {
        QTest::qWait(2);
        wrapped = frame(w) < previous && previous >= 190;
        previous = frame(w);
    }
    QVERIFY(wrapped);
    key(w, Qt::Key_Space);
    QVERIFY(w.player->paused);
    const int32_t stopped = frame(w);
    QTest::qWait(100);
    QCOMPARE(frame(w), stopped);
    QCOMPARE(shownIndex(w), stopped - 1);
}

void TestFramewrightVideo::goToFrame_dialog()
{
    {
        // Without a video the double-click does nothing (no dialog would block here).
        Framewright empty;
        QTest::mouseDClick(ui(empty).timeLabel, Qt::LeftButton);
        QCOMPARE(frame(empty), 0);
    }
    Framewright w(copyClip(QStringLiteral("goto.avi")));
    QString label;
    onNextModal([&](QWidget *dialog) {
        auto *input = qobject_cast<QInputDialog *>(dialog);
        QVERIFY(input);
        label = input->labelText();
        input->setIntValue(150);
        input->accept();
    });
    QTest::mouseDClick(ui(w).timeLabel, Qt::LeftButton);
    QCOMPARE(label, QStringLiteral("Select frame (total frames: 200)"));
    QCOMPARE(frame(w), 150);
    QCOMPARE(shownIndex(w), 149);
    QVERIFY(w.player->paused);
}

void TestFramewrightVideo::openMostRecent_key()
{
    Framewright w;
    key(w, Qt::Key_O);  // nothing recorded yet: nothing happens
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6"));
    const QString path = copyClip(QStringLiteral("recent.avi"));
    QSettings().setValue(QStringLiteral("mostRecentPath"), path);
    key(w, Qt::Key_O);
    QVERIFY(w.windowTitle().contains(path));
    QCOMPARE(shownIndex(w), 0);
}

void TestFramewrightVideo::open_pathsKeptCanonical_data()
{
    QTest::addColumn<QString>("opened");  // relative to the media folder
    QTest::newRow("relative, with a folder part") << QStringLiteral("videos/clip.avi");
    QTest::newRow("through a symbolic link") << QStringLiteral("linked/clip.avi");
    QTest::newRow("holding ..") << QStringLiteral("videos/../videos/./clip.avi");
}

void TestFramewrightVideo::open_pathsKeptCanonical()
{
    QFETCH(QString, opened);
    // videos/clip.avi is the real file; linked -> videos. A videos/videos
    // folder is the trap a relative path falls into once the current
    // directory has moved to the video's folder.
    QDir media(mediaDir.path());
    media.mkpath(QStringLiteral("videos/videos"));
    QFile::link(media.filePath(QStringLiteral("videos")), media.filePath(QStringLiteral("linked")));
    const QString real = QFileInfo(media.filePath(QStringLiteral("videos/clip.avi"))).absoluteFilePath();
    QFile::remove(real);
    QFile::remove(real + QStringLiteral(".splits.txt"));
    QVERIFY(QFile::copy(clip, real));
    const QString canonical = QFileInfo(real).canonicalFilePath();
    const QString trap = media.filePath(QStringLiteral("videos/videos/clip.avi.splits.txt"));

    {
        QDir::setCurrent(media.path());
        Framewright w(opened);
        QCOMPARE(w.videoPath, canonical);
        QCOMPARE(QSettings().value(QStringLiteral("mostRecentPath")).toString(), canonical);
        QVERIFY2(w.windowTitle().contains(canonical), qPrintable(w.windowTitle()));
        key(w, Qt::Key_D);
        key(w, Qt::Key_M);
        w.on_actionSave_triggered();
        QCOMPARE(readAll(canonical + QStringLiteral(".splits.txt")).left(11), QByteArray("Splits:2|\nF"));
        QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));
        key(w, Qt::Key_E);
        key(w, Qt::Key_M);
        w.AutoSave();
        QCOMPARE(readAll(canonical + QStringLiteral(".splits.txt")).left(14), QByteArray("Splits:2:12|\nF"));
        QVERIFY(!QFile::exists(trap));
    }
    // Reopened by the same relative path from the first folder, the marks come
    // back, although the stored home path now moves the current directory to
    // the video's folder before the path is opened.
    QDir::setCurrent(media.path());
    Framewright again(opened);
    QCOMPARE(model(again).marks(), (Marks{2, 12}));
}

void TestFramewrightVideo::keys_actAsPressedWhateverIsReleasedFirst_data()
{
    // A key stroke: (type, key, modifiers, native scan code). X11 scan codes
    // of a US layout: Shift 50, "=" 21, Ctrl 37, Y 29.
    QTest::addColumn<QList<QList<int>>>("strokes");
    QTest::addColumn<int>("solves");  // solve combo entries afterwards
    QTest::addColumn<int>("marks");   // marks after an add, an undo and these strokes

    const int press = int(QEvent::KeyPress);
    const int release = int(QEvent::KeyRelease);
    const int shift = int(Qt::ShiftModifier);
    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("Shift+= , = released first")
        << QList<QList<int>>{{press, Qt::Key_Shift, 0, 50}, {press, Qt::Key_Plus, shift, 21},
                             {release, Qt::Key_Plus, shift, 21}, {release, Qt::Key_Shift, shift, 50}}
        << 2 << 0;
    QTest::newRow("Shift+= , Shift released first")
        << QList<QList<int>>{{press, Qt::Key_Shift, 0, 50}, {press, Qt::Key_Plus, shift, 21},
                             {release, Qt::Key_Shift, shift, 50}, {release, Qt::Key_Equal, 0, 21}}
        << 2 << 0;
    QTest::newRow("Ctrl+Y, Y released first")
        << QList<QList<int>>{{press, Qt::Key_Control, 0, 37}, {press, Qt::Key_Y, ctrl, 29},
                             {release, Qt::Key_Y, ctrl, 29}, {release, Qt::Key_Control, ctrl, 37}}
        << 1 << 1;
    QTest::newRow("Ctrl+Y, Ctrl released first")
        << QList<QList<int>>{{press, Qt::Key_Control, 0, 37}, {press, Qt::Key_Y, ctrl, 29},
                             {release, Qt::Key_Control, ctrl, 37}, {release, Qt::Key_Y, 0, 29}}
        << 1 << 1;
    // A bare Y is not a redo, however it is released.
    QTest::newRow("bare Y") << QList<QList<int>>{{press, Qt::Key_Y, 0, 29}, {release, Qt::Key_Y, 0, 29}} << 1 << 0;
}

void TestFramewrightVideo::keys_actAsPressedWhateverIsReleasedFirst()
{
    QFETCH(QList<QList<int>>, strokes);
    QFETCH(int, solves);
    QFETCH(int, marks);
    Framewright w(copyClip(QStringLiteral("keys.avi")));
    ui(w).autosaveCheck->setChecked(false);
    w.on_splitAddButton_clicked();
    w.on_actionUndo_triggered();
    for (const QList<int> &s : strokes) {
        QKeyEvent event(QEvent::Type(s[0]), s[1], Qt::KeyboardModifiers(s[2]), quint32(s[3]), 0, 0);
        QApplication::sendEvent(&w, &event);
    }
    QCOMPARE(ui(w).solveCombo->count(), solves);
    QCOMPARE(int(model(w).marks().size()), marks);
    w.model->setSaved(true);
}

void TestFramewrightVideo::keys_typedIntoTheFpsBoxStayThere()
{
    Framewright w(copyClip(QStringLiteral("fpsbox.avi")));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.on_splitAddButton_clicked();
    key(w, Qt::Key_D);
    QCOMPARE(frame(w), 2);
    // Typing a frame rate must not jump to marks (digits) or step (letters).
    ui(w).fpsSpin->setFocus();
    QTest::keyClick(ui(w).fpsSpin, Qt::Key_1);
    QTest::keyClick(ui(w).fpsSpin, Qt::Key_D);
    QCOMPARE(frame(w), 2);
    w.model->setSaved(true);
}

void TestFramewrightVideo::layout_800x600NoOverlapWholeTimeText()
{
    Framewright w(copyClip(QStringLiteral("layout.avi")));
    w.resize(800, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(800, 600));
    // The widest time text a long video shows fits in the label.
    ui(w).timeLabel->setText(QStringLiteral("59:59:999 (999999)"));
    QVERIFY2(ui(w).timeLabel->fontMetrics().horizontalAdvance(ui(w).timeLabel->text()) <= ui(w).timeLabel->width(),
             qPrintable(QString::number(ui(w).timeLabel->width())));
    // No two visible controls overlap, wherever they sit in the window.
    const QList<QWidget *> controls = {ui(w).frameBackButton, ui(w).framePrevButton, ui(w).pauseButton,
                                       ui(w).frameNextButton, ui(w).frameForwardButton, ui(w).timeLabel,
                                       ui(w).playbackRateCheck, ui(w).playbackSpeedCombo, ui(w).autosaveCheck,
                                       ui(w).displayWidget, ui(w).timelineWidget, ui(w).SidePane};
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a(controls[i]->mapTo(&w, QPoint(0, 0)), controls[i]->size());
        QVERIFY2(controls[i]->isVisible() && w.rect().contains(a), qPrintable(controls[i]->objectName()));
        for (int j = i + 1; j < controls.size(); ++j) {
            const QRect b(controls[j]->mapTo(&w, QPoint(0, 0)), controls[j]->size());
            QVERIFY2(!a.intersects(b), qPrintable(controls[i]->objectName() + QStringLiteral(" overlaps ")
                                                  + controls[j]->objectName()));
        }
    }
    // The controls follow the picture: no band between its bottom and them.
    const int pictureBottom = ui(w).displayWidget->mapTo(&w, QPoint(0, 0)).y()
                              + int(ui(w).displayWidget->pictureSize().height());
    const int controlsTop = ui(w).widget_2->mapTo(&w, QPoint(0, 0)).y();
    QVERIFY2(controlsTop - pictureBottom <= 1, qPrintable(QStringLiteral("%1 %2").arg(pictureBottom).arg(controlsTop)));
}

void TestFramewrightVideo::demo_marksInsideTheDemoClip()
{
    // The demo the build generates: 12 s at 30 fps, opened by scripts/run.sh.
    const QString demo = QStringLiteral(FRAMEWRIGHT_DEMO_SPLITS);
    QFile file(demo);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(demo));
    const SplitsFileContent content = ParseSplitsFile(file);
    QVERIFY(content.hasSolves);
    QVERIFY(content.solves.size() >= 2);
    for (const Marks &marks : content.solves) {
        QVERIFY(marks.size() >= 2);
        for (int32_t mark : marks)
            QVERIFY2(mark >= 1 && mark <= 12 * 30, qPrintable(QString::number(mark)));
    }
}

void TestFramewrightVideo::keys_chordTakenByAMenuShortcutActsOnce()
{
    Framewright w(copyClip(QStringLiteral("chord.avi")));
    key(w, Qt::Key_E);
    QCOMPARE(frame(w), 11);
    // Ctrl+A opens the analyser through its menu shortcut, which takes the
    // press: only the release (scan code 38) reaches the window. Bound to
    // "back 1 frame", it must not step as well.
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier, 38, 0, 0);
    QApplication::sendEvent(&w, &release);
    QCOMPARE(frame(w), 11);
    // A plain A, pressed and released, still steps.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 0, 0);
    QKeyEvent plain(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 38, 0, 0);
    QApplication::sendEvent(&w, &press);
    QApplication::sendEvent(&w, &plain);
    QCOMPARE(frame(w), 10);
}

void TestFramewrightVideo::keys_backToTheWindowAfterTheFpsBox()
{
    Framewright w(copyClip(QStringLiteral("fpsfocus.avi")));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    // A click on a button (which takes no focus) ends typing in the FPS box.
    ui(w).fpsSpin->setFocus();
    QTRY_VERIFY(ui(w).fpsSpin->hasFocus());
    QTest::mouseClick(ui(w).frameNextButton, Qt::LeftButton);
    QCOMPARE(frame(w), 2);
    QVERIFY(!ui(w).fpsSpin->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D);
    QCOMPARE(frame(w), 3);
    // So does Enter in the box.
    ui(w).fpsSpin->setFocus();
    QTRY_VERIFY(ui(w).fpsSpin->hasFocus());
    QTest::keyClick(ui(w).fpsSpin, Qt::Key_Return);
    QVERIFY(!ui(w).fpsSpin->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D);
    QCOMPARE(frame(w), 4);
    // A click on the picture that draws nothing leaves the marks saved.
    QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));
    QTest::mouseClick(ui(w).displayWidget, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));
}

void TestFramewrightVideo::display_messagesWithoutAPictureDoNotPileUp()
{
    Framewright w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.on_actionCopy_to_Clipboard_triggered();
    w.on_actionUndo_triggered();
    QTRY_VERIFY(messages(w).isEmpty());
    // Opened afterwards, the first frame shows no stale messages.
    w.OpenVideo(copyClip(QStringLiteral("nomessages.avi")));
    QVERIFY(messages(w).isEmpty());
}

void TestFramewrightVideo::playback_timelinePaintedOncePerFrame()
{
    // Counts the paints a widget receives.
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    };
    Framewright w(copyClip(QStringLiteral("paints.avi")));
    w.resize(640, 480);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(50);
    PaintCounter counter;
    ui(w).timelineWidget->installEventFilter(&counter);
    int pictures = 0;
    connect(w.player.get(), &FrameCursor::pictureChanged, &counter, [&pictures] { ++pictures; });
    ui(w).playbackRateCheck->setChecked(false);
    w.on_pauseButton_clicked();
    QTRY_VERIFY(pictures >= 30);
    w.on_pauseButton_clicked();
    QVERIFY2(counter.paints <= pictures + 2, qPrintable(QStringLiteral("%1 paints for %2 pictures").arg(counter.paints).arg(pictures)));
}

void TestFramewrightVideo::open_unreadableFileSaysWhyOnceAndKeepsTheVideo_data()
{
    QTest::addColumn<bool>("ffmpegSource");
    QTest::newRow("capture source") << false;
    QTest::newRow("FFmpeg source") << true;
}

void TestFramewrightVideo::open_unreadableFileSaysWhyOnceAndKeepsTheVideo()
{
    QFETCH(bool, ffmpegSource);
    const QString video = copyClip(QStringLiteral("kept.avi"));
    QFile::remove(video + QStringLiteral(".splits.txt"));
    const QString broken = mediaDir.filePath(QStringLiteral("notes-renamed.mp4"));
    writeFile(broken, QByteArray("Shopping list: cubes, lube, timer.\n").repeated(200));
    Framewright w;
    ui(w).ffgrabberCheck->setChecked(ffmpegSource);
    w.OpenVideo(video);
    const QString title = w.windowTitle();
    key(w, Qt::Key_E);
    key(w, Qt::Key_M);  // a mark at frame 11, not saved yet
    QSignalSpy status(w.statusBar(), &QStatusBar::messageChanged);

    dropFiles(w, {broken});
    const QString name = QFileInfo(broken).fileName();
    QVERIFY2(w.statusBar()->currentMessage().contains(name), qPrintable(w.statusBar()->currentMessage()));
    QVERIFY2(countContaining(messages(w), name) == 1, qPrintable(messages(w).join(QLatin1Char('|'))));
    // Nothing repeats it: refreshes, steps, playback ticks.
    w.Update();
    ui(w).brightnessSlider->setValue(ui(w).brightnessSlider->value() + 5);
    key(w, Qt::Key_D);
    key(w, Qt::Key_Space);
    QTest::qWait(200);
    key(w, Qt::Key_Space);
    QCOMPARE(countContaining(messages(w), name), 1);
    int said = 0;
    for (const QList<QVariant> &signal : status)
        said += signal.at(0).toString().contains(name) ? 1 : 0;
    QCOMPARE(said, 1);

    // The video stays open with its mark, and saves where it did.
    QCOMPARE(w.videoPath, QFileInfo(video).canonicalFilePath());
    QCOMPARE(w.windowTitle().chopped(w.windowTitle().endsWith(QLatin1Char('*')) ? 1 : 0), title);
    QCOMPARE(QSettings().value(QStringLiteral("mostRecentPath")).toString(), w.videoPath);
    QCOMPARE(model(w).marks(), Marks{11});
    const int32_t at = frame(w);
    QVERIFY(at > 11);
    QCOMPARE(shownIndex(w), at - 1);
    w.on_actionSave_triggered();
    QCOMPARE(readAll(video + QStringLiteral(".splits.txt")).left(10), QByteArray("Splits:11|"));
    QVERIFY(!QFile::exists(broken + QStringLiteral(".splits.txt")));
}

void TestFramewrightVideo::read_failureSaidOnceEndOfStreamSilent()
{
    Framewright w;
    ui(w).playbackRateCheck->setChecked(false);
    w.player->setSource(std::make_unique<BrokenFrameSource>(60, 30));
    w.Update();
    QCOMPARE(shownIndex(w), 0);
    QSignalSpy status(w.statusBar(), &QStatusBar::messageChanged);
    const QString reason = BrokenFrameSource::reason();

    key(w, Qt::Key_E);
    key(w, Qt::Key_E);
    key(w, Qt::Key_E);  // onto index 30
    QCOMPARE(shownIndex(w), 20);  // the last frame read stays on display
    QCOMPARE(w.statusBar()->currentMessage(), reason);
    // Refreshes of the same failure say nothing more.
    w.Update();
    ui(w).brightnessSlider->setValue(ui(w).brightnessSlider->value() + 5);
    QCOMPARE(countContaining(messages(w), reason), 1);
    QCOMPARE(status.count(), 1);

    // Playing into it stops there and says so once. (The status bar
    // announces only changes of its text.)
    w.statusBar()->clearMessage();
    w.player->jumpToFrame(26);
    key(w, Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(w.player->paused, 5000);
    QCOMPARE(shownIndex(w), 29);
    QTest::qWait(100);
    QCOMPARE(countContaining(messages(w), reason), 2);
    QCOMPARE(status.count(), 3);
    QCOMPARE(w.statusBar()->currentMessage(), reason);

    // The end of the stream is no failure.
    w.player->jumpToFrame(60);
    QCOMPARE(shownIndex(w), 59);
    key(w, Qt::Key_D);
    QCOMPARE(shownIndex(w), 59);
    QCOMPARE(messages(w).size(), 2);
    QCOMPARE(status.count(), 3);
}

void TestFramewrightVideo::open_variableFrameRateSaidOnce_data()
{
    QTest::addColumn<QString>("presentation");  // in 25ths of a second
    QTest::addColumn<bool>("varies");
    // Durations of 40 and 80 ms in turn, or 40 ms throughout.
    QTest::newRow("durations vary") << QStringLiteral("N+floor(N/2)") << true;
    QTest::newRow("constant rate") << QStringLiteral("N") << false;
}

void TestFramewrightVideo::open_variableFrameRateSaidOnce()
{
    QFETCH(QString, presentation);
    QFETCH(bool, varies);
    const QString path = mediaDir.filePath(QStringLiteral("rate-%1.mkv").arg(varies ? QStringLiteral("vfr") : QStringLiteral("cfr")));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("color=gray:size=160x120:rate=25"),
                  QStringLiteral("-frames:v"), QStringLiteral("40"), QStringLiteral("-vf"),
                  QStringLiteral("setpts='round((%1)/(25*TB))'").arg(presentation), QStringLiteral("-fps_mode"),
                  QStringLiteral("passthrough"), QStringLiteral("-c:v"), QStringLiteral("mjpeg"), path});
    QVERIFY(ffmpeg.waitForFinished(30000));
    QVERIFY2(ffmpeg.exitCode() == 0, ffmpeg.readAllStandardError().constData());
    // The clip is what the row says: ffprobe's packet times.
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                              QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                              QStringLiteral("packet=pts_time"), QStringLiteral("-of"),
                                              QStringLiteral("csv=p=0"), path});
    QVERIFY(ffprobe.waitForFinished(30000));
    QList<double> times;
    for (const QByteArray &line : ffprobe.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            times << line.toDouble();
    std::sort(times.begin(), times.end());
    QCOMPARE(times.size(), 40);
    QSet<int> durations;  // in ms
    for (qsizetype i = 1; i < times.size(); ++i)
        durations.insert(int(std::lround((times[i] - times[i - 1]) * 1000)));
    QCOMPARE(durations.size() > 1, varies);

    Framewright w;
    ui(w).ffgrabberCheck->setChecked(true);
    QSignalSpy status(w.statusBar(), &QStatusBar::messageChanged);
    w.OpenVideo(path);
    QVERIFY(w.windowTitle().contains(path));
    const QString notice = QStringLiteral("The frame rate of this video varies; times are computed with the FPS box.");
    key(w, Qt::Key_E);
    key(w, Qt::Key_D);
    w.Update();
    QCOMPARE(messages(w).count(notice), varies ? 1 : 0);
    QCOMPARE(status.count(), varies ? 1 : 0);
    if (varies)
        QCOMPARE(w.statusBar()->currentMessage(), notice);
}

void TestFramewrightVideo::open_unsavedMarksOfThePreviousVideoWritten_data()
{
    QTest::addColumn<bool>("autosave");
    QTest::addColumn<bool>("sameVideo");
    QTest::newRow("autosave on, another video") << true << false;
    QTest::newRow("autosave on, the same video again") << true << true;
    QTest::newRow("autosave off, another video") << false << false;
    QTest::newRow("autosave off, the same video again") << false << true;
}

void TestFramewrightVideo::open_unsavedMarksOfThePreviousVideoWritten()
{
    QFETCH(bool, autosave);
    QFETCH(bool, sameVideo);
    const QString first = QFileInfo(copyClip(QStringLiteral("first.avi"))).canonicalFilePath();
    const QString second = QFileInfo(copyClip(QStringLiteral("second.avi"))).canonicalFilePath();
    const QString firstSplits = first + QStringLiteral(".splits.txt");
    const QString secondSplits = second + QStringLiteral(".splits.txt");
    QFile::remove(firstSplits);
    QFile::remove(secondSplits);
    Framewright w(first);
    ui(w).autosaveCheck->setChecked(autosave);
    key(w, Qt::Key_E);
    key(w, Qt::Key_M);  // a mark at frame 11, before any autosave tick
    QVERIFY(!QFile::exists(firstSplits));

    const QString next = sameVideo ? first : second;
    dropFiles(w, {next});
    QCOMPARE(w.videoPath, next);
    QCOMPARE(readAll(firstSplits), QByteArray("Splits:11|\nFps:25\nRotate:0\n"));
    if (!sameVideo) {
        QCOMPARE(model(w).marks(), Marks{});
        dropFiles(w, {first});
        QCOMPARE(w.videoPath, first);
        // The video opened in between had no marks: nothing was written for it.
        QVERIFY(!QFile::exists(secondSplits));
    }
    QCOMPARE(model(w).marks(), Marks{11});
    QVERIFY2(!w.windowTitle().endsWith(QLatin1Char('*')), qPrintable(w.windowTitle()));
}

void TestFramewrightVideo::export_gifFromTheFrameOnDisplay()
{
    Framewright w(copyClip(QStringLiteral("gif.avi")));
    w.player->jumpToFrame(51);
    QCOMPARE(shownIndex(w), 50);
    GifExportSettings settings;
    settings.width = 160;
    settings.frameCount = 3;
    const QString out = mediaDir.filePath(QStringLiteral("window.gif"));
    QVERIFY(w.ExportGif(out, settings));
    const auto frames = testmedia::decodeGif(out);
    QVERIFY(frames);
    QList<int> indices;
    for (const cv::Mat &rgb : *frames)
        indices << testmedia::readIndex(rgb);
    QCOMPARE(indices, (QList<int>{50, 51, 52}));
    // The export read from a source of its own: the view did not move.
    QCOMPARE(frame(w), 51);
    QCOMPARE(shownIndex(w), 50);
    QVERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("window.gif")));
    w.player->step(1);
    QCOMPARE(shownIndex(w), 51);
}

void TestFramewrightVideo::export_gifDialogDefaultsAndExtension()
{
    const QString path = copyClip(QStringLiteral("dialog.avi"));
    Framewright w(path);
    QString defaultPath;
    QList<int> defaults;
    onNextModal([&](QWidget *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("pathEdit"));
        auto *width = dialog->findChild<QSpinBox *>(QStringLiteral("widthSpin"));
        auto *count = dialog->findChild<QSpinBox *>(QStringLiteral("frameCountSpin"));
        auto *duration = dialog->findChild<QSpinBox *>(QStringLiteral("frameDurationSpin"));
        if (!edit || !width || !count || !duration) {
            dialog->close();
            return;
        }
        defaultPath = edit->text();
        defaults = {width->value(), count->value(), duration->value()};
        edit->setText(mediaDir.filePath(QStringLiteral("chosen")));
        width->setValue(80);
        count->setValue(2);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    w.on_actionExport_Animated_Gif_triggered();
    QCOMPARE(defaultPath, path + QStringLiteral("-export.gif"));
    QCOMPARE(defaults, (QList<int>{200, 10, 30}));
    const auto frames = testmedia::decodeGif(mediaDir.filePath(QStringLiteral("chosen.gif")));
    QVERIFY(frames);
    QCOMPARE(frames->size(), size_t(2));
    QCOMPARE(frames->at(0).cols, 80);
    QCOMPARE(frames->at(0).rows, 60);
}

void TestFramewrightVideo::export_gifFailureSaysWhy()
{
    Framewright w(copyClip(QStringLiteral("fail.avi")));
    GifExportSettings settings;
    settings.frameCount = 2;
    QVERIFY(!w.ExportGif(mediaDir.filePath(QStringLiteral("no/such/dir/out.gif")), settings));
    QVERIFY2(w.statusBar()->currentMessage().contains(QStringLiteral("out.gif")),
             qPrintable(w.statusBar()->currentMessage()));
    QCOMPARE(shownIndex(w), 0);
}

void TestFramewrightVideo::screenshot_processedFrameAtFullSize()
{
    Framewright w(copyClip(QStringLiteral("shot.avi")));
    w.resize(400, 300);
    w.player->jumpToFrame(8);
    ui(w).samplingCombo->setCurrentIndex(1);  // 4x: 640 x 480, more than the display shows
    QCOMPARE(w.player->processedFrame.cols, 640);
    w.on_actionSave_Screenshot_to_Clipboard_triggered();
    const QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), QSize(640, 480));
    const QImage rgb = copied.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar *>(rgb.constBits()),
                       size_t(rgb.bytesPerLine()));
    QCOMPARE(testmedia::readIndex(view), 7);
    QVERIFY(messages(w).contains(QStringLiteral("Screenshot")));
}

void TestFramewrightVideo::export_videoDialogEntriesFollowTheProcessing()
{
    const QString path = copyClip(QStringLiteral("entries.avi"));
    writeFile(path + QStringLiteral(".splits.txt"), "Splits:10:20:30|\nFps:25\nRotate:0\n");
    Framewright w(path);
    const auto entries = [&]() {
        QStringList texts;
        onNextModal([&](QWidget *dialog) {
            for (const char *name : {"resolutionCombo", "rangeCombo", "fpsCombo"}) {
                if (auto *combo = dialog->findChild<QComboBox *>(QString::fromLatin1(name)))
                    for (int i = 0; i < combo->count(); ++i)
                        texts << combo->itemText(i);
            }
            QMetaObject::invokeMethod(dialog, "reject");
        });
        w.on_actionExport_triggered();
        return texts;
    };
    const QStringList plain = entries();
    QCOMPARE(plain.value(0), QStringLiteral("Unchanged (160 x 120)"));
    QCOMPARE(plain.value(4), QStringLiteral("Fixed Width (800 x 600)"));
    QVERIFY2(plain.contains(QStringLiteral("1st to last split")) && plain.contains(QStringLiteral("Split 2"))
                 && !plain.contains(QStringLiteral("Split 3")),
             qPrintable(plain.join(QStringLiteral(", "))));
    QVERIFY(plain.contains(QStringLiteral("25 fps")));
    // Rebuilt on every opening: a quarter turn swaps the sides.
    ui(w).rotateCombo->setCurrentIndex(1);
    QCOMPARE(entries().value(0), QStringLiteral("Unchanged (120 x 160)"));
}

void TestFramewrightVideo::export_videoWritesTheRangeAndKeepsTheView_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // Split 1 of marks 10 and 20: the frames with indices 10 to 19.
    QTest::newRow("normal") << 0 << 10 << 19;
    QTest::newRow("reverse") << 1 << 19 << 10;
}

void TestFramewrightVideo::export_videoWritesTheRangeAndKeepsTheView()
{
    QFETCH(int, direction);
    QFETCH(int, first);
    QFETCH(int, last);
    const QString path = copyClip(QStringLiteral("range.avi"));
    writeFile(path + QStringLiteral(".splits.txt"), "Splits:10:20|\nFps:25\nRotate:0\n");
    Framewright w(path);
    w.player->jumpToFrame(101);
    const QString out = mediaDir.filePath(QStringLiteral("range-%1.mp4").arg(direction));
    QVERIFY(w.ExportVideo(out, 0, 2, direction, 25.0));
    QCOMPARE(frame(w), 101);
    QCOMPARE(shownIndex(w), 100);
    QVERIFY(w.statusBar()->currentMessage().contains(QFileInfo(out).fileName()));

    const auto written = CreateFrameSource(out, FrameSourceKind::Ffmpeg);
    QVERIFY(written->isOpen());
    QCOMPARE(written->getFrameCount(), 10);
    cv::Mat image;
    *written >> image;
    QCOMPARE(testmedia::readIndex(image), first);
    written->seek(9);
    *written >> image;
    QCOMPARE(testmedia::readIndex(image), last);
}

void TestFramewrightVideo::export_videoFailureSaysWhy()
{
    Framewright w(copyClip(QStringLiteral("videofail.avi")));
    QVERIFY(!w.ExportVideo(mediaDir.filePath(QStringLiteral("no/such/dir/out.mp4")), 0, 0, 0, 25.0));
    QVERIFY2(w.statusBar()->currentMessage().contains(QStringLiteral("out.mp4")),
             qPrintable(w.statusBar()->currentMessage()));
}

void TestFramewrightVideo::ocr_selectionReadOntoTheClipboard_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QRectF>("crop");       // applied with Set Crop first; null: none
    QTest::addColumn<QRectF>("selection");  // the rectangle drawn when OCR is chosen
    QTest::addColumn<QString>("overlay");   // what the display says afterwards
    QTest::addColumn<QString>("clipboard"); // what the clipboard holds then

    const QString timer = QStringLiteral("timer");
    QTest::newRow("no selection: the whole frame")
        << timer << QRectF() << QRectF(0, 0, 1, 1) << kOcrRead << QStringLiteral("12.345 67.890");
    QTest::newRow("zero-size selection: the whole frame")
        << timer << QRectF() << QRectF(0.5, 0.5, 0, 0) << kOcrRead << QStringLiteral("12.345 67.890");
    QTest::newRow("selection around the first time")
        << timer << QRectF() << kAroundFirstTime << kOcrRead << QStringLiteral("12.345");
    QTest::newRow("selection around the second time")
        << timer << QRectF() << QRectF(0.53, 0.65, 0.45, 0.33) << kOcrRead << QStringLiteral("67.890");
    // Nothing to read is said like any read: the clipboard then holds the
    // empty text, as it would hold what was read.
    QTest::newRow("selection on a blank part: said, the clipboard kept")
        << timer << QRectF() << QRectF(0.02, 0.55, 0.45, 0.4) << QStringLiteral("OCR: no text found")
        << kClipboardBefore;
    QTest::newRow("two lines: one line with single spaces")
        << QStringLiteral("lines") << QRectF() << QRectF(0.03, 0.1, 0.6, 0.55) << kOcrRead
        << QStringLiteral("Cross 1.20 F2L 7.85");
    // The picture on display is the cropped one: the source frame around it
    // (with the first time) is not read.
    QTest::newRow("crop applied: the picture shown, not the source frame")
        << timer << QRectF(0.5, 0.5, 0.5, 0.5) << QRectF(0, 0, 0, 0) << kOcrRead << QStringLiteral("67.890");
    QTest::newRow("selection holding no whole pixel: nothing read")
        << timer << QRectF() << QRectF(0.5, 0.5, 0.001, 0.001)
        << QStringLiteral("OCR: the selection holds no whole pixel") << kClipboardBefore;
}

void TestFramewrightVideo::ocr_selectionReadOntoTheClipboard()
{
    QFETCH(QString, clip);
    QFETCH(QRectF, crop);
    QFETCH(QRectF, selection);
    QFETCH(QString, overlay);
    QFETCH(QString, clipboard);
    const QString path = textClip(clip);
    QVERIFY(!path.isEmpty());
    Framewright w(path);
    QCOMPARE(w.player->processedFrame.cols, 640);
    if (!crop.isNull()) {
        ui(w).displayWidget->editCrop = crop;
        ui(w).cropButton->click();
        QCOMPARE(w.player->processedFrame.cols, int(640 * crop.width()));
    }
    ui(w).displayWidget->editCrop = selection;
    QGuiApplication::clipboard()->setText(kClipboardBefore);

    triggerOcr(w);
    // The cursor says the window is reading, until the answer comes (a
    // selection without a whole pixel is not read at all).
    QCOMPARE(readingCursor(), !overlay.contains(QStringLiteral("no whole pixel")));
    QTRY_VERIFY2_WITH_TIMEOUT(messages(w).contains(overlay), qPrintable(messages(w).join(QLatin1Char('|'))),
                              kOcrTimeoutMs);
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QCOMPARE(messages(w).count(overlay), 1);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestFramewrightVideo::ocr_secondRequestWhileReadingSaysBusy()
{
    const QString path = textClip(QStringLiteral("timer"));
    QVERIFY(!path.isEmpty());
    Framewright w(path);
    ui(w).displayWidget->editCrop = kAroundFirstTime;
    QGuiApplication::clipboard()->setText(kClipboardBefore);
    // The read is queued on the worker threads, which are held: it cannot
    // answer before the window has been looked at. (Nothing here may paint
    // meanwhile: Qt scales and converts large pictures on the same threads.)
    testmedia::ThreadPoolHold hold;
    QVERIFY(hold.isHolding());
    triggerOcr(w);
    QTest::qWait(50);
    QVERIFY(readingCursor());
    QCOMPARE(QGuiApplication::clipboard()->text(), kClipboardBefore);
    // Ctrl+T again: said to be busy, nothing else started.
    triggerOcr(w);
    QCOMPARE(messages(w).count(QStringLiteral("OCR busy")), 1);
    hold.release();
    QTRY_VERIFY_WITH_TIMEOUT(messages(w).contains(kOcrRead), kOcrTimeoutMs);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12.345"));
    // One read answered, and the cursor is back (the busy request set none).
    QTest::qWait(200);
    QCOMPARE(messages(w).count(kOcrRead), 1);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestFramewrightVideo::ocr_missingLanguageDataSaysWhereItLookedThenFindsIt_data()
{
    QTest::addColumn<bool>("installInHome");
    QTest::newRow("then TESSDATA_PREFIX points at the data again") << false;
    QTest::newRow("then the data is put in ~/tessdata") << true;
}

void TestFramewrightVideo::ocr_missingLanguageDataSaysWhereItLookedThenFindsIt()
{
    QFETCH(bool, installInHome);
    const QString path = textClip(QStringLiteral("timer"));
    QVERIFY(!path.isEmpty());
    // Where the data is on this machine, to install it from later.
    QString installed;
    {
        TextRecognizer probe;
        QString error;
        QVERIFY2(probe.start(QCoreApplication::applicationDirPath(), &error), qPrintable(error));
        installed = probe.dataDirectory() + QStringLiteral("/eng.traineddata");
    }
    QVERIFY2(QFileInfo(installed).isFile(), qPrintable(installed));

    // No data in any place looked in. The engine starts on a window's
    // first read, so the environment is changed before the window exists.
    testmedia::EnvironmentGuard environment({"TESSDATA_PREFIX", "HOME"});
    QTemporaryDir prefix;
    QTemporaryDir home;
    QVERIFY(prefix.isValid() && home.isValid());
    qputenv("TESSDATA_PREFIX", QFile::encodeName(prefix.path()));
    qputenv("HOME", QFile::encodeName(home.path()));
    Framewright w(path);
    ui(w).displayWidget->editCrop = kAroundFirstTime;
    QGuiApplication::clipboard()->setText(kClipboardBefore);

    triggerOcr(w);
    QTRY_VERIFY2_WITH_TIMEOUT(messages(w).contains(kOcrNoData), qPrintable(messages(w).join(QLatin1Char('|'))),
                              kOcrTimeoutMs);
    QCOMPARE(QGuiApplication::clipboard()->text(), kClipboardBefore);
    QVERIFY(!messages(w).contains(kOcrRead));
    const QString status = w.statusBar()->currentMessage();
    QVERIFY2(status.contains(QStringLiteral("no English language data found")), qPrintable(status));
    QVERIFY2(status.contains(prefix.path()), qPrintable(status));
    QVERIFY2(status.contains(QDir(home.path()).filePath(QStringLiteral("tessdata"))), qPrintable(status));
    QVERIFY(!QGuiApplication::overrideCursor());

    // The data turns up while the program runs: the next read finds it.
    if (installInHome) {
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("tessdata")));
        QVERIFY(QFile::copy(installed, home.filePath(QStringLiteral("tessdata/eng.traineddata"))));
    } else {
        environment.restore();
    }
    triggerOcr(w);
    QTRY_VERIFY2_WITH_TIMEOUT(messages(w).contains(kOcrRead), qPrintable(messages(w).join(QLatin1Char('|'))),
                              kOcrTimeoutMs);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12.345"));
    QCOMPARE(messages(w).count(kOcrNoData), 1);
}

void TestFramewrightVideo::ocr_languageDataBesideTheVideoNotLoaded_data()
{
    QTest::addColumn<QString>("planted");  // the folder, in the video's folder, holding eng.traineddata
    QTest::newRow("tessdata in the video's folder") << QStringLiteral("tessdata");
    QTest::newRow("a folder named ~ in the video's folder") << QStringLiteral("~/tessdata");
}

void TestFramewrightVideo::ocr_languageDataBesideTheVideoNotLoaded()
{
    QFETCH(QString, planted);
    const QString clipPath = textClip(QStringLiteral("timer"));
    QVERIFY(!clipPath.isEmpty());
    // A home without data of its own: only Tesseract's folder holds any.
    testmedia::EnvironmentGuard environment({"HOME"});
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));

    // A downloaded video with a file named as the English data beside it,
    // which cannot be loaded: were it used, the read would fail.
    QTemporaryDir downloads(mediaDir.filePath(QStringLiteral("downloaded-XXXXXX")));
    QVERIFY(downloads.isValid());
    const QString video = downloads.filePath(QStringLiteral("solve.avi"));
    QVERIFY(QFile::copy(clipPath, video));
    QVERIFY(QDir(downloads.path()).mkpath(planted));
    writeFile(downloads.filePath(planted + QStringLiteral("/eng.traineddata")),
              QByteArray("not Tesseract language data\n").repeated(200));
    {
        TextRecognizer probe;
        QVERIFY2(!probe.start(QFileInfo(downloads.filePath(planted)).path(), nullptr),
                 "the planted file loads as language data: it is no trap");
    }

    Framewright w(video);
    QCOMPARE(QDir::currentPath(), QFileInfo(video).canonicalPath());
    ui(w).displayWidget->editCrop = kAroundFirstTime;
    QGuiApplication::clipboard()->setText(kClipboardBefore);
    triggerOcr(w);
    QTRY_VERIFY_WITH_TIMEOUT(messages(w).contains(kOcrRead) || messages(w).contains(kOcrNoData), kOcrTimeoutMs);
    QVERIFY2(messages(w).contains(kOcrRead), qPrintable(w.statusBar()->currentMessage()));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12.345"));
}

QTEST_MAIN(TestFramewrightVideo)
#include "tst_framewright_video.moc"
