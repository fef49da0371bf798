// The main window under the offscreen platform: title, solve combo, split
// list, clipboard, splits file, settings and shut-down.

#include "Framewright.h"
#include "FrameGrabber.h"
#include "ui_FramewrightWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QComboBox>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <opencv2/core.hpp>

namespace {

// Records what the window asks of a frame source.
class FakeGrabber : public FrameGrabber
{
public:
    explicit FakeGrabber(std::vector<int32_t> *seeks) : seeks_(seeks) {}
    int32_t getFrameCount() override { return 1000; }
    void seek(int32_t frameIndex) override
    {
        seeks_->push_back(frameIndex);
        position_ = frameIndex;  // the next read delivers frameIndex
    }
    void skip(int32_t delta) override { position_ += delta; }
    FakeGrabber &operator>>(cv::Mat &frame) override
    {
        frame = cv::Mat(8, 8, CV_8UC3, cv::Scalar(10, 20, 30));
        ++position_;
        return *this;
    }
    int32_t getPosition() override { return position_; }

private:
    std::vector<int32_t> *seeks_;
    int32_t position_ = 0;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Presses `button` in the next modal dialog that opens; `seen` receives its text.
void answerNextDialog(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        answer(modal);
    });
    timer->start(10);
}

// Runs `answer` on the calculator dialog once it is on screen. The dialog is
// shown before its event loop starts, so it never becomes the modal widget.
void answerCalculator(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("CrossColorCalculator") && widget->isVisible()) {
                timer->stop();
                timer->deleteLater();
                answer(widget);
                return;
            }
        }
    });
    timer->start(10);
}

void pressInMessageBox(QMessageBox::StandardButton button, QString *text = nullptr)
{
    answerNextDialog([button, text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        if (text)
            *text = box->windowTitle() + QLatin1Char('|') + box->text();
        box->button(button)->click();
    });
}

}  // namespace

class TestFramewright : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<QTemporaryDir> workDir;
    std::vector<int32_t> seeks;

    static Ui::FramewrightWindow &ui(Framewright &w) { return *w.ui; }
    static SolveModel &model(Framewright &w) { return w.model; }
    static void setFrame(Framewright &w, int32_t frame) { w.currentFrame = frame; }
    static void setVideo(Framewright &w, const QString &path) { w.videoPath = path; }
    static const QList<QString> &messages(Framewright &w) { return w.messages; }
    void attachGrabber(Framewright &w) { w.grabber = std::make_unique<FakeGrabber>(&seeks); }
    static void markSaved(Framewright &w) { w.model.setSaved(true); }

    static QStringList comboItems(Framewright &w)
    {
        QStringList items;
        for (int i = 0; i < w.ui->solveCombo->count(); ++i)
            items << w.ui->solveCombo->itemText(i);
        return items;
    }
    static QStringList listTexts(Framewright &w)
    {
        QStringList texts;
        for (int i = 0; i < w.ui->splitList->count(); ++i)
            texts << w.ui->splitList->item(i)->text();
        return texts;
    }
    static void addMarkAt(Framewright &w, int32_t frame)
    {
        setFrame(w, frame);
        w.on_splitAddButton_clicked();
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startup_titleMenusAndDefaults();
    void actions_data();
    void actions();
    void title_followsSavedState();
    void solveCombo_addRemoveSwitch();
    void removeSolve_asksOnlyForStoredMarks();
    void splitList_rowsColoursAndFpsChange();
    void splitList_doubleClickJumps();
    void clipboard_copyAndPaste();
    void shift_removeBecomesClear();
    void save_writesExactFile();
    void load_restoresAndAppends();
    void load_hostileFileLeavesSaneState();
    void autosave_onlyWithSourceAndSilent();
    void shutdown_autosaveSavesSilently();
    void shutdown_asksWithoutAutosave_data();
    void shutdown_asksWithoutAutosave();
    void shutdown_failedSaveAsksInsteadOfLosingMarks();
    void settings_checkBoxes_data();
    void settings_checkBoxes();
    void settings_roundTrip();
    void calculator_computeClipboardReopen();
};

void TestFramewright::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void TestFramewright::init()
{
    QSettings(QStringLiteral("Marrowby"), QStringLiteral("Framewright")).clear();
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(workDir->isValid());
    QVERIFY(QDir::setCurrent(workDir->path()));
    seeks.clear();
    QGuiApplication::clipboard()->clear();
}

void TestFramewright::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
    workDir.reset();
}

void TestFramewright::startup_titleMenusAndDefaults()
{
    Framewright w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6"));
    QCOMPARE(w.objectName(), QStringLiteral("FramewrightWindow"));
    QCOMPARE(comboItems(w), QStringList{QStringLiteral("Solve 1")});
    QCOMPARE(ui(w).splitList->count(), 0);
    QVERIFY(ui(w).autosaveCheck->isChecked());
    QVERIFY(ui(w).cropKeepAspect->isChecked());
    QVERIFY(!ui(w).ffgrabberCheck->isChecked());
    QCOMPARE(ui(w).fpsSpin->value(), 30.0);
    QCOMPARE(ui(w).tabWidget->currentIndex(), 0);
    QStringList menus;
    for (QAction *action : w.menuBar()->actions())
        menus << action->text();
    QCOMPARE(menus, (QStringList{QStringLiteral("File"), QStringLiteral("Edit"), QStringLiteral("Export"),
                                 QStringLiteral("Help")}));
    QVERIFY(!QApplication::windowIcon().isNull());
    QCOMPARE(qApp->styleSheet(),
             QStringLiteral("QToolTip { color: #ffffff; background-color: #2a82da; border: 1px solid white; }"));
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(96, 96, 96));

    // No super-resolution model is installed here: those entries are
    // disabled and say which file is missing where.
    auto *upsample = qobject_cast<QStandardItemModel *>(ui(w).samplingCombo->model());
    QVERIFY(upsample);
    const char *const models[] = {"ESPCN_x4.pb", "LapSRN_x4.pb", "LapSRN_x8.pb", "EDSR_x4.pb"};
    for (int entry = 3; entry <= 6; ++entry) {
        QVERIFY(!upsample->item(entry)->isEnabled());
        QVERIFY2(upsample->item(entry)->toolTip().contains(QLatin1String(models[entry - 3])),
                 qPrintable(upsample->item(entry)->toolTip()));
    }
    for (int entry = 0; entry <= 2; ++entry)
        QVERIFY(upsample->item(entry)->isEnabled());
}

void TestFramewright::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    const char *rows[][3] = {
        {"actionOpen", "Open", "Ctrl+O"},
        {"actionSave", "Save", "Ctrl+S"},
        {"actionExit", "Exit", "Ctrl+Q"},
        {"actionUndo", "Undo", "Ctrl+Z"},
        {"actionRedo", "Redo", "Ctrl+Shift+Z"},
        {"actionCopy_to_Clipboard", "Copy to Clipboard", "Ctrl+C"},
        {"actionPaste_from_Clipboard", "Paste from Clipboard", "Ctrl+V"},
        {"actionClear_Splits_for_this_solve", "Clear Splits for this solve", ""},
        {"actionClear_all_splits_and_solves", "Clear all splits and solves", ""},
        {"actionExport", "Export Video", ""},
        {"actionSave_Screenshot_to_Clipboard", "Save Screenshot to Clipboard", ""},
        {"actionExport_Animated_Gif", "Export Animated Gif", ""},
        {"actionOCR_from_selection", "OCR from selection", "Ctrl+T"},
        {"actionDisplay_Help", "Display Help", ""},
        {"actionEdit_Keyboard_Bindings", "Edit Keyboard Bindings", ""},
        {"actionCross_Calculator", "Cross & F2L Calculator", "Ctrl+F"},
        {"actionDB_Analyser", "DB Analyser", "Ctrl+A"},
        {"actionSolvebank", "Solvebank", "Ctrl+D"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1])
                              << QString::fromLatin1(row[2]);
}

void TestFramewright::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    Framewright w;
    auto *action = w.findChild<QAction *>(name);
    QVERIFY2(action, qPrintable(name));
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcut().toString(), shortcut);
}

void TestFramewright::title_followsSavedState()
{
    Framewright w;
    addMarkAt(w, 10);
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6*"));
    QCOMPARE(messages(w).last(), QStringLiteral("0"));
    w.on_actionSave_triggered();
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6"));
    QCOMPARE(messages(w).last(), QStringLiteral("Saved"));
    // Saved without a video: ".splits.txt" in the current directory.
    QCOMPARE(readAll(QDir::current().filePath(QStringLiteral(".splits.txt"))),
             QByteArray("Splits:10|\nFps:30\nRotate:0\n"));
    // Undo and redo with empty stacks still count as a change; only one "*".
    w.on_actionRedo_triggered();
    w.on_actionRedo_triggered();
    QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6*"));
    markSaved(w);
}

void TestFramewright::solveCombo_addRemoveSwitch()
{
    Framewright w;
    addMarkAt(w, 5);  // placed before any solve was added: becomes solve 1
    w.on_addSolveButton_clicked();
    QCOMPARE(comboItems(w), (QStringList{QStringLiteral("Solve 1"), QStringLiteral("Solve 2")}));
    QCOMPARE(ui(w).solveCombo->currentIndex(), 1);
    QCOMPARE(ui(w).splitList->count(), 0);
    addMarkAt(w, 20);
    w.on_addSolveButton_clicked();
    addMarkAt(w, 30);
    addMarkAt(w, 40);

    // The user picks solve 2 in the combo.
    ui(w).solveCombo->setCurrentIndex(1);
    QCOMPARE(model(w).currentSolve(), 1);
    QCOMPARE(model(w).marks(), Marks{20});
    QCOMPARE(messages(w).last(), QStringLiteral("Solve 2"));
    QVERIFY(model(w).undoStack().empty());

    // Removing it (it has marks: confirm) shows the third solve in its place,
    // with its text unchanged.
    pressInMessageBox(QMessageBox::Ok);
    w.on_removeSolveButton_clicked();
    QCOMPARE(comboItems(w), (QStringList{QStringLiteral("Solve 1"), QStringLiteral("Solve 3")}));
    QCOMPARE(ui(w).solveCombo->currentIndex(), 1);
    QCOMPARE(model(w).marks(), (Marks{30, 40}));
    QCOMPARE(listTexts(w).size(), 3);

    // A new solve is numbered after the count, not the highest name.
    w.on_addSolveButton_clicked();
    QCOMPARE(comboItems(w).last(), QStringLiteral("Solve 3"));

    w.on_actionClear_all_splits_and_solves_triggered();
    QCOMPARE(comboItems(w), QStringList{QStringLiteral("Solve 1")});
    QVERIFY(model(w).solves().empty());
    QCOMPARE(ui(w).splitList->count(), 0);
    markSaved(w);
}

void TestFramewright::removeSolve_asksOnlyForStoredMarks()
{
    Framewright w;
    w.on_addSolveButton_clicked();
    w.on_addSolveButton_clicked();
    addMarkAt(w, 7);
    // Cancel keeps the solve.
    QString asked;
    pressInMessageBox(QMessageBox::Cancel, &asked);
    w.on_removeSolveButton_clicked();
    QCOMPARE(asked, QStringLiteral("Remove Solve|Are you sure you want to remove solve?"));
    QCOMPARE(model(w).solves().size(), size_t(3));

    // An empty solve goes without a question (a dialog would block the test).
    ui(w).solveCombo->setCurrentIndex(1);
    w.on_removeSolveButton_clicked();
    QCOMPARE(model(w).solves().size(), size_t(2));
    QCOMPARE(comboItems(w), (QStringList{QStringLiteral("Solve 1"), QStringLiteral("Solve 3")}));
    QCOMPARE(model(w).marks(), Marks{7});

    // The last two: removing one leaves one, which cannot be removed.
    ui(w).solveCombo->setCurrentIndex(0);
    w.on_removeSolveButton_clicked();
    QCOMPARE(model(w).solves().size(), size_t(1));
    w.on_removeSolveButton_clicked();
    QCOMPARE(model(w).solves().size(), size_t(1));
    markSaved(w);
}

void TestFramewright::splitList_rowsColoursAndFpsChange()
{
    Framewright w;
    addMarkAt(w, 160);
    addMarkAt(w, 100);
    QCOMPARE(messages(w).last(), QStringLiteral("0"));
    QCOMPARE(listTexts(w), (QStringList{QStringLiteral("0: 00:03:333 (100)"),
                                        QStringLiteral("1: 00:05:333 (160)\t61f (2.033s)"),
                                        QStringLiteral("Total:\t\t61f (2.033s)")}));
    QCOMPARE(ui(w).splitList->item(0)->foreground().color(), QColor(QStringLiteral("#262949")));
    QCOMPARE(ui(w).splitList->item(1)->foreground().color(), QColor(QStringLiteral("#045459")));
    QCOMPARE(ui(w).splitList->item(2)->foreground().color(), QColor(Qt::black));
    QVERIFY(ui(w).splitList->item(2)->font().bold());

    ui(w).splitList->setCurrentRow(1);
    ui(w).fpsSpin->setValue(60.0);
    QCOMPARE(listTexts(w), (QStringList{QStringLiteral("0: 00:01:666 (100)"),
                                        QStringLiteral("1: 00:02:666 (160)\t61f (1.017s)"),
                                        QStringLiteral("Total:\t\t61f (1.017s)")}));
    QCOMPARE(ui(w).splitList->currentRow(), 1);

    // Update moves the selected mark to the current frame; remove deletes the selected row.
    setFrame(w, 50);
    w.on_splitUpdateButton_clicked();
    QCOMPARE(model(w).marks(), (Marks{50, 100}));
    ui(w).splitList->setCurrentRow(2);  // the total row removes nothing
    w.on_splitRemoveButton_clicked();
    QCOMPARE(model(w).marks(), (Marks{50, 100}));
    ui(w).splitList->setCurrentRow(0);
    w.on_splitRemoveButton_clicked();
    QCOMPARE(model(w).marks(), Marks{100});
    QCOMPARE(listTexts(w), QStringList{QStringLiteral("0: 00:01:666 (100)")});
    w.on_actionUndo_triggered();
    QCOMPARE(model(w).marks(), (Marks{50, 100}));
    QCOMPARE(messages(w).last(), QStringLiteral("Undo"));
    markSaved(w);
}

void TestFramewright::splitList_doubleClickJumps()
{
    Framewright w;
    addMarkAt(w, 100);
    addMarkAt(w, 200);
    // Without a frame source a double-click does nothing.
    w.on_splitList_itemDoubleClicked(ui(w).splitList->item(0));
    QVERIFY(seeks.empty());

    attachGrabber(w);
    w.on_splitList_itemDoubleClicked(ui(w).splitList->item(0));
    w.on_splitList_itemDoubleClicked(ui(w).splitList->item(2));  // total row: last mark
    QCOMPARE(seeks, (std::vector<int32_t>{99, 199}));
    QCOMPARE(ui(w).timeLabel->text(), QStringLiteral("00:06:666 (200)"));
    markSaved(w);
}

void TestFramewright::clipboard_copyAndPaste()
{
    Framewright w;
    addMarkAt(w, 300);
    addMarkAt(w, 120);
    w.on_actionCopy_to_Clipboard_triggered();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("120\n300\n"));
    QCOMPARE(messages(w).last(), QStringLiteral("Copied"));

    QGuiApplication::clipboard()->setText(QStringLiteral("12\nabc\n7\n"));
    w.on_actionPaste_from_Clipboard_triggered();
    QCOMPARE(model(w).marks(), (Marks{12, 7}));
    QCOMPARE(model(w).solves().front(), (Marks{12, 7}));
    QCOMPARE(messages(w).last(), QStringLiteral("Pasta"));
    w.on_actionUndo_triggered();
    QCOMPARE(model(w).marks(), (Marks{120, 300}));

    // Text without any number changes nothing.
    QGuiApplication::clipboard()->setText(QStringLiteral("no marks here"));
    const qsizetype undoDepth = qsizetype(model(w).undoStack().size());
    w.on_actionPaste_from_Clipboard_triggered();
    QCOMPARE(model(w).marks(), (Marks{120, 300}));
    QCOMPARE(qsizetype(model(w).undoStack().size()), undoDepth);

    // Copying no marks still copies (an empty text) and confirms.
    w.on_actionClear_Splits_for_this_solve_triggered();
    w.on_actionCopy_to_Clipboard_triggered();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    QCOMPARE(messages(w).last(), QStringLiteral("Copied"));
    markSaved(w);
}

void TestFramewright::shift_removeBecomesClear()
{
    Framewright w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    addMarkAt(w, 1);
    addMarkAt(w, 2);
    QTest::keyPress(&w, Qt::Key_Shift, Qt::ShiftModifier);
    QCOMPARE(ui(w).splitRemoveButton->text(), QStringLiteral("Clear"));
    // Held Shift clears every mark in one step, with one undo to bring them back.
    w.on_splitRemoveButton_clicked();
    QVERIFY(model(w).marks().empty());
    QTest::keyRelease(&w, Qt::Key_Shift, Qt::NoModifier);
    QCOMPARE(ui(w).splitRemoveButton->text(), QStringLiteral("Remove"));
    w.on_actionUndo_triggered();
    QCOMPARE(model(w).marks(), (Marks{1, 2}));
    markSaved(w);
}

void TestFramewright::save_writesExactFile()
{
    const QString video = QDir::current().filePath(QStringLiteral("solve.mp4"));
    Framewright w;
    setVideo(w, video);
    addMarkAt(w, 120);
    addMarkAt(w, 450);
    addMarkAt(w, 300);
    w.on_addSolveButton_clicked();
    w.on_addSolveButton_clicked();
    addMarkAt(w, 1020);
    addMarkAt(w, 900);
    ui(w).fpsSpin->setValue(29.97);
    ui(w).rotateCombo->setCurrentIndex(2);
    w.on_actionSave_triggered();
    QCOMPARE(readAll(video + QStringLiteral(".splits.txt")),
             QByteArray("Splits:120:300:450|Splits|Splits:900:1020|\nFps:29.97\nRotate:2\n"));
    QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));
}

void TestFramewright::load_restoresAndAppends()
{
    const QString video = QDir::current().filePath(QStringLiteral("clip.mp4"));
    QFile file(video + QStringLiteral(".splits.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Splits:120:300:450|Splits:900:1020|\nCrop:0.25:0.25:0.5:0.5\nFps:25\nRotate:1\n");
    file.close();

    Framewright w;
    addMarkAt(w, 7);
    w.LoadSplits(video);
    QCOMPARE(comboItems(w), (QStringList{QStringLiteral("Solve 1"), QStringLiteral("Solve 2"),
                                         QStringLiteral("Solve 3")}));
    QCOMPARE(model(w).solves(), (std::vector<Marks>{{7}, {120, 300, 450}, {900, 1020}}));
    QCOMPARE(model(w).marks(), Marks{7});
    QCOMPARE(ui(w).fpsSpin->value(), 25.0);
    QCOMPARE(ui(w).rotateCombo->currentIndex(), 1);
    QVERIFY(ui(w).cropPreviewCheck->isChecked());
    QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));

    // Saving writes the loaded crop back.
    setVideo(w, video);
    w.on_actionSave_triggered();
    QCOMPARE(readAll(video + QStringLiteral(".splits.txt")),
             QByteArray("Splits:7|Splits:120:300:450|Splits:900:1020|\nCrop:0.25:0.25:0.5:0.5\nFps:25\n"
                        "Rotate:1\n"));

    // A missing file changes nothing.
    w.LoadSplits(QDir::current().filePath(QStringLiteral("absent.mp4")));
    QCOMPARE(model(w).solves().size(), size_t(3));
}

void TestFramewright::load_hostileFileLeavesSaneState()
{
    const QString path = QDir::current().filePath(QStringLiteral("bad.mp4.splits.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Splits:1:x:3|\nCrop:-5:0:99:nan\nFps:nan\nRotate:42\n");
    file.close();

    Framewright w;
    ui(w).rotateCombo->setCurrentIndex(3);
    w.LoadSplits(path);
    QCOMPARE(model(w).marks(), (Marks{1, 0, 3}));
    QCOMPARE(ui(w).rotateCombo->currentIndex(), 3);
    QCOMPARE(ui(w).fpsSpin->value(), 30.0);
    // The unusable crop is dropped; the saved file shows the full frame again.
    setVideo(w, QDir::current().filePath(QStringLiteral("bad.mp4")));
    w.on_actionSave_triggered();
    QCOMPARE(readAll(path), QByteArray("Splits:1:0:3|\nFps:30\nRotate:3\n"));
}

void TestFramewright::autosave_onlyWithSourceAndSilent()
{
    const QString video = QDir::current().filePath(QStringLiteral("auto.mp4"));
    const QString splits = video + QStringLiteral(".splits.txt");
    Framewright w;
    setVideo(w, video);
    addMarkAt(w, 42);
    w.AutoSave();
    QVERIFY(!QFile::exists(splits));  // no frame source: nothing to save for

    attachGrabber(w);
    const qsizetype before = messages(w).size();
    w.AutoSave();
    QCOMPARE(readAll(splits), QByteArray("Splits:42|\nFps:30\nRotate:0\n"));
    QCOMPARE(messages(w).size(), before);  // silent
    QVERIFY(!w.windowTitle().endsWith(QLatin1Char('*')));

    ui(w).autosaveCheck->setChecked(false);
    addMarkAt(w, 43);
    w.AutoSave();
    QCOMPARE(readAll(splits), QByteArray("Splits:42|\nFps:30\nRotate:0\n"));
    markSaved(w);
}

void TestFramewright::shutdown_autosaveSavesSilently()
{
    const QString video = QDir::current().filePath(QStringLiteral("close.mp4"));
    {
        Framewright w;
        setVideo(w, video);
        addMarkAt(w, 5);
    }
    QCOMPARE(readAll(video + QStringLiteral(".splits.txt")), QByteArray("Splits:5|\nFps:30\nRotate:0\n"));
}

void TestFramewright::shutdown_asksWithoutAutosave_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");
    QTest::newRow("ok saves") << int(QMessageBox::Ok) << true;
    QTest::newRow("cancel discards") << int(QMessageBox::Cancel) << false;
}

void TestFramewright::shutdown_asksWithoutAutosave()
{
    QFETCH(int, answer);
    QFETCH(bool, saved);
    const QString video = QDir::current().filePath(QStringLiteral("ask.mp4"));
    QString asked;
    {
        Framewright w;
        setVideo(w, video);
        ui(w).autosaveCheck->setChecked(false);
        addMarkAt(w, 5);
        pressInMessageBox(QMessageBox::StandardButton(answer), &asked);
    }
    QCOMPARE(asked, QStringLiteral("Unsaved data|You have unsaved data: do you want to save it?"));
    QCOMPARE(QFile::exists(video + QStringLiteral(".splits.txt")), saved);
}

void TestFramewright::shutdown_failedSaveAsksInsteadOfLosingMarks()
{
    // A directory where the splits file belongs makes every save fail.
    const QString video = QDir::current().filePath(QStringLiteral("blocked.mp4"));
    const QString splits = video + QStringLiteral(".splits.txt");
    QVERIFY(QDir().mkpath(splits));
    QString firstQuestion;
    {
        Framewright w;
        setVideo(w, video);
        addMarkAt(w, 5);
        // First answer: try again after the obstacle is gone.
        answerNextDialog([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            firstQuestion = box->windowTitle();
            QVERIFY(QDir(splits).removeRecursively());
            box->button(QMessageBox::Retry)->click();
        });
    }
    QCOMPARE(firstQuestion, QStringLiteral("Splits not saved"));
    QCOMPARE(readAll(splits), QByteArray("Splits:5|\nFps:30\nRotate:0\n"));

    // Discarding is the user's explicit choice and closes without a file.
    const QString other = QDir::current().filePath(QStringLiteral("other.mp4"));
    QVERIFY(QDir().mkpath(other + QStringLiteral(".splits.txt")));
    {
        Framewright w;
        setVideo(w, other);
        addMarkAt(w, 6);
        pressInMessageBox(QMessageBox::Discard);
    }
    QVERIFY(QFileInfo(other + QStringLiteral(".splits.txt")).isDir());
}

void TestFramewright::settings_checkBoxes_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("checked");
    QTest::newRow("absent keeps default") << QVariant() << true;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("integer 0") << QVariant(0) << false;
    QTest::newRow("integer 1") << QVariant(1) << true;
}

void TestFramewright::settings_checkBoxes()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, checked);
    if (stored.isValid()) {
        QSettings settings(QStringLiteral("Marrowby"), QStringLiteral("Framewright"));
        settings.setValue(QStringLiteral("Gui/autosaveCheck"), stored);
    }
    Framewright w;
    QCOMPARE(ui(w).autosaveCheck->isChecked(), checked);
}

void TestFramewright::settings_roundTrip()
{
    {
        Framewright w;
        ui(w).autosaveCheck->setChecked(false);
        ui(w).ffgrabberCheck->setChecked(true);
        ui(w).cropKeepAspect->setChecked(true);
    }
    const QString home = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    Framewright w;
    QVERIFY(!ui(w).autosaveCheck->isChecked());
    QVERIFY(ui(w).ffgrabberCheck->isChecked());
    QVERIFY(ui(w).cropKeepAspect->isChecked());
    QCOMPARE(QDir::currentPath(), home);
}

void TestFramewright::calculator_computeClipboardReopen()
{
    Framewright w;
    QString firstOutput;
    QString title;
    int initialMode = -1;
    answerCalculator([&](QWidget *modal) {
        title = modal->windowTitle();
        auto *edit = modal->findChild<QPlainTextEdit *>(QStringLiteral("solvesEdit"));
        auto *output = modal->findChild<QPlainTextEdit *>(QStringLiteral("output"));
        auto *mode = modal->findChild<QComboBox *>(QStringLiteral("computeCombo"));
        auto *clipboard = modal->findChild<QPushButton *>(QStringLiteral("clipboardButton"));
        QVERIFY(edit && output && mode && clipboard);
        initialMode = mode->currentIndex();
        // Rows: a pair, an empty row, rotations only, and the empty row after the last line feed.
        edit->setPlainText(QStringLiteral("R U R' U'\n\nx2 // cross\n"));
        clipboard->click();  // nothing computed yet: computes first
        firstOutput = output->toPlainText();
        modal->close();
    });
    w.on_actionCross_Calculator_triggered();
    QCOMPARE(title, QStringLiteral("Cross Color Calculator"));
    QCOMPARE(initialMode, 3);
    QCOMPARE(firstOutput, QStringLiteral("4\n0\n0\n0"));
    QCOMPARE(QGuiApplication::clipboard()->text(), firstOutput);

    // Reopening shows the same input and result; another mode recomputes.
    QString keptInput, keptOutput, colours;
    answerCalculator([&](QWidget *modal) {
        auto *edit = modal->findChild<QPlainTextEdit *>(QStringLiteral("solvesEdit"));
        auto *output = modal->findChild<QPlainTextEdit *>(QStringLiteral("output"));
        auto *mode = modal->findChild<QComboBox *>(QStringLiteral("computeCombo"));
        auto *compute = modal->findChild<QPushButton *>(QStringLiteral("computeButton"));
        keptInput = edit->toPlainText();
        keptOutput = output->toPlainText();
        mode->setCurrentIndex(0);
        compute->click();
        colours = output->toPlainText();
        modal->close();
    });
    w.on_actionCross_Calculator_triggered();
    QCOMPARE(keptInput, QStringLiteral("R U R' U'\n\nx2 // cross\n"));
    QCOMPARE(keptOutput, firstOutput);
    QCOMPARE(colours, QStringLiteral("Yellow\nYellow\nWhite\nYellow"));
}

QTEST_MAIN(TestFramewright)
#include "tst_framewright.moc"
