// The main window under the offscreen platform. The solve model and the
// splits file format have their own tests; this one checks the window's wiring.

#include "Framewright.h"
#include "CrossCalculatorDialog.h"
#include "DisplayWidget.h"
#include "FrameCursor.h"
#include "FrameGrabber.h"
#include "SolveModel.h"
#include "ui_FramewrightWindow.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QClipboard>
#include <QComboBox>
#include <QListWidget>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include <opencv2/core.hpp>

namespace {

// Records what the window asks of a frame source.
struct FakeGrabber : FrameGrabber
{
    explicit FakeGrabber(std::vector<int32_t> *seeks) : seeks(seeks) {}
    int32_t getFrameCount() override { return 1000; }
    void seek(int32_t frameIndex) override { seeks->push_back(position = frameIndex); }
    void skip(int32_t delta) override { position += delta; }
    int32_t getPosition() override { return position; }
    FakeGrabber &operator>>(cv::Mat &frame) override
    {
        frame = cv::Mat(8, 8, CV_8UC3);
        ++position;
        return *this;
    }
    std::vector<int32_t> *seeks;
    int32_t position = 0;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Runs `answer` on the widget `find` returns, polling until there is one.
void whenShown(std::function<QWidget *()> find, std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, find, answer] {
        if (QWidget *widget = find()) {
            timer->stop();
            timer->deleteLater();
            answer(widget);
        }
    });
    timer->start(10);
}

// Presses `button` in the next message box after running `before`; `text` gets its title and text.
void pressInMessageBox(QMessageBox::StandardButton button, QString *text = nullptr,
                       std::function<void()> before = [] {})
{
    whenShown(&QApplication::activeModalWidget, [button, text, before](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        if (text)
            *text = box->windowTitle() + QLatin1Char('|') + box->text();
        before();
        box->button(button)->click();
    });
}

const QByteArray kOneMark("Splits:5|\nFps:30\nRotate:0\n");

}  // namespace

class TestFramewright : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<QTemporaryDir> workDir;
    std::vector<int32_t> seeks;

    static Ui::FramewrightWindow &ui(Framewright &w) { return *w.ui; }
    static SolveModel &model(Framewright &w) { return *w.model; }
    static void setFrame(Framewright &w, int32_t frame) { w.player->currentFrame = frame; }
    static void setVideo(Framewright &w, const QString &path) { w.videoPath = path; }
    static const QList<QString> &messages(Framewright &w) { return w.ui->displayWidget->messages; }
    void attachGrabber(Framewright &w) { w.player->setSource(std::make_unique<FakeGrabber>(&seeks)); }
    static void markSaved(Framewright &w) { w.model->setSaved(true); }
    static QString path(const char *name) { return QDir::current().filePath(QLatin1String(name)); }
    static QString failed() { return QStringLiteral("Splits not saved|The split marks could not be saved to"); }
    static bool starred(Framewright &w) { return w.windowTitle().endsWith(QLatin1Char('*')); }

    static QStringList texts(const QAbstractItemModel *m)
    {
        QStringList texts;
        for (int i = 0; i < m->rowCount(); ++i)
            texts << m->index(i, 0).data().toString();
        return texts;
    }
    static QStringList comboItems(Framewright &w) { return texts(w.ui->solveCombo->model()); }
    static QStringList listTexts(Framewright &w) { return texts(w.ui->splitList->model()); }
    static void addMarks(Framewright &w, std::initializer_list<int32_t> frames)
    {
        for (const int32_t frame : frames) {
            setFrame(w, frame);
            w.on_splitAddButton_clicked();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    }

    void init()
    {
        QSettings(QStringLiteral("Marrowby"), QStringLiteral("Framewright")).clear();
        workDir = std::make_unique<QTemporaryDir>();
        QVERIFY(workDir->isValid());
        QVERIFY(QDir::setCurrent(workDir->path()));
        seeks.clear();
        QGuiApplication::clipboard()->clear();
    }

    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        workDir.reset();
    }

    void startup_missingModelsDisabled()
    {
        Framewright w;
        // No super-resolution model is installed here: those entries are
        // disabled and say which file is missing.
        auto *upsample = qobject_cast<QStandardItemModel *>(ui(w).samplingCombo->model());
        QVERIFY(upsample);
        const QStringList models{"", "", "", "ESPCN_x4.pb", "LapSRN_x4.pb", "LapSRN_x8.pb", "EDSR_x4.pb"};
        for (int entry = 0; entry <= 6; ++entry) {
            QCOMPARE(upsample->item(entry)->isEnabled(), entry <= 2);
            QVERIFY2(upsample->item(entry)->toolTip().contains(models.at(entry)), qPrintable(models.at(entry)));
        }
    }

    void actions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shortcut");
        const char *rows[][3] = {
            {"actionOpen", "Open", "Ctrl+O"}, {"actionSave", "Save", "Ctrl+S"}, {"actionExit", "Exit", "Ctrl+Q"},
            {"actionUndo", "Undo", "Ctrl+Z"}, {"actionRedo", "Redo", "Ctrl+Shift+Z"},
            {"actionCopy_to_Clipboard", "Copy to Clipboard", "Ctrl+C"},
            {"actionPaste_from_Clipboard", "Paste from Clipboard", "Ctrl+V"},
            {"actionClear_Splits_for_this_solve", "Clear Splits for this solve", ""},
            {"actionClear_all_splits_and_solves", "Clear all splits and solves", ""},
            {"actionExport", "Export Video", ""}, {"actionExport_Animated_Gif", "Export Animated Gif", ""},
            {"actionSave_Screenshot_to_Clipboard", "Save Screenshot to Clipboard", ""},
            {"actionOCR_from_selection", "OCR from selection", "Ctrl+T"}, {"actionDisplay_Help", "Display Help", ""},
            {"actionEdit_Keyboard_Bindings", "Edit Keyboard Bindings", ""},
            {"actionCross_Calculator", "Cross & F2L Calculator", "Ctrl+F"},
            {"actionDB_Analyser", "DB Analyser", "Ctrl+A"}, {"actionSolvebank", "Solvebank", "Ctrl+D"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1])
                                  << QString::fromLatin1(row[2]);
    }

    void actions()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, shortcut);
        Framewright w;
        const auto *action = w.findChild<QAction *>(name);
        QVERIFY2(action, qPrintable(name));
        QCOMPARE(action->text(), text);
        QCOMPARE(action->shortcut().toString(), shortcut);
    }

    void solveCombo_addRemoveSwitch()
    {
        Framewright w;
        addMarks(w, {5});  // placed before any solve was added: becomes solve 1
        w.on_addSolveButton_clicked();
        QCOMPARE(comboItems(w), (QStringList{"Solve 1", "Solve 2"}));
        QCOMPARE(ui(w).solveCombo->currentIndex(), 1);
        QCOMPARE(listTexts(w), QStringList());
        addMarks(w, {20});
        w.on_addSolveButton_clicked();
        addMarks(w, {30, 40});
        ui(w).solveCombo->setCurrentIndex(1);  // the user picks solve 2
        QCOMPARE(listTexts(w), QStringList{"0: 00:00:667 (20)"});
        QCOMPARE(messages(w).last(), QStringLiteral("Solve 2"));

        // A solve with marks goes only after a confirmation.
        QString asked;
        pressInMessageBox(QMessageBox::Cancel, &asked);
        w.on_removeSolveButton_clicked();
        QCOMPARE(asked, QStringLiteral("Remove Solve|Are you sure you want to remove solve?"));
        QCOMPARE(comboItems(w).size(), 3);
        pressInMessageBox(QMessageBox::Ok);
        w.on_removeSolveButton_clicked();
        // The third solve shows in its place, with its text unchanged.
        QCOMPARE(comboItems(w), (QStringList{"Solve 1", "Solve 3"}));
        QCOMPARE(ui(w).solveCombo->currentIndex(), 1);
        QCOMPARE(listTexts(w).size(), 3);
        // A new solve is numbered after the count; an empty one goes without a question.
        w.on_addSolveButton_clicked();
        QCOMPARE(comboItems(w).last(), QStringLiteral("Solve 3"));
        w.on_removeSolveButton_clicked();
        QCOMPARE(comboItems(w), (QStringList{"Solve 1", "Solve 3"}));
        w.on_actionClear_all_splits_and_solves_triggered();
        QCOMPARE(comboItems(w), QStringList{"Solve 1"});
        markSaved(w);
    }

    void splitList_textsColoursFpsAndJumps()
    {
        Framewright w;
        addMarks(w, {160, 100});
        QCOMPARE(listTexts(w), (QStringList{"0: 00:03:333 (100)", "1: 00:05:333 (160)\t61f (2.033s)",
                                            "Total:\t\t61f (2.033s)"}));
        QCOMPARE(ui(w).splitList->item(0)->foreground().color(), QColor(QStringLiteral("#262949")));
        QCOMPARE(ui(w).splitList->item(1)->foreground().color(), QColor(QStringLiteral("#045459")));
        QCOMPARE(ui(w).splitList->item(2)->foreground().color(), QColor(Qt::black));
        QVERIFY(ui(w).splitList->item(2)->font().bold());
        ui(w).splitList->setCurrentRow(1);
        ui(w).fpsSpin->setValue(60.0);
        QCOMPARE(listTexts(w), (QStringList{"0: 00:01:667 (100)", "1: 00:02:667 (160)\t61f (1.017s)",
                                            "Total:\t\t61f (1.017s)"}));
        QCOMPARE(ui(w).splitList->currentRow(), 1);
        // Remove deletes the selected row.
        ui(w).splitList->setCurrentRow(0);
        w.on_splitRemoveButton_clicked();
        QCOMPARE(listTexts(w), QStringList{"0: 00:02:667 (160)"});
        addMarks(w, {100});

        // A double-click jumps to the row's mark.
        w.on_splitList_itemDoubleClicked(ui(w).splitList->item(0));
        QVERIFY(seeks.empty());  // no frame source: nothing to do
        attachGrabber(w);
        w.on_splitList_itemDoubleClicked(ui(w).splitList->item(0));
        w.on_splitList_itemDoubleClicked(ui(w).splitList->item(2));  // total row: last mark
        QCOMPARE(seeks, (std::vector<int32_t>{99, 159}));
        QCOMPARE(ui(w).timeLabel->text(), QStringLiteral("00:02:667 (160)"));
        markSaved(w);
    }

    void controls_keepNoFocusAfterAClick()
    {
        Framewright w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // Reachable with Tab, never focused by a click: after a click the
        // playback keys still reach the window.
        const QList<QWidget *> controls = w.findChildren<QWidget *>();
        int checked = 0;
        for (QWidget *control : controls) {
            if (!qobject_cast<QAbstractButton *>(control) && !qobject_cast<QComboBox *>(control)
                && !qobject_cast<QAbstractSlider *>(control) && !qobject_cast<QListWidget *>(control))
                continue;
            // The form's own controls (Qt's internal ones, such as the tab
            // bar's scroll buttons, have no name or a "qt_" one).
            if (control->objectName().isEmpty() || control->objectName().startsWith(QLatin1String("qt_")))
                continue;
            QVERIFY2(control->focusPolicy() == Qt::TabFocus, qPrintable(control->objectName()));
            ++checked;
        }
        QVERIFY2(checked >= 20, qPrintable(QString::number(checked)));
        QTest::mouseClick(ui(w).autosaveCheck, Qt::LeftButton);
        QVERIFY(!ui(w).autosaveCheck->isChecked());
        QVERIFY(!ui(w).autosaveCheck->hasFocus());
        QTest::mouseClick(ui(w).autosaveCheck, Qt::LeftButton);
        QVERIFY(ui(w).autosaveCheck->isChecked());
        // Tab still reaches the controls.
        ui(w).frameBackButton->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), ui(w).framePrevButton);
    }

    void clipboardAndShiftClear()
    {
        Framewright w;
        addMarks(w, {300, 120});
        w.on_actionCopy_to_Clipboard_triggered();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("120\n300\n"));
        QCOMPARE(messages(w).last(), QStringLiteral("Copied"));
        QGuiApplication::clipboard()->setText(QStringLiteral("12\nabc\n7\n"));
        w.on_actionPaste_from_Clipboard_triggered();
        QCOMPARE(listTexts(w).first(), QStringLiteral("0: 00:00:400 (12)"));
        QCOMPARE(model(w).marks(), (Marks{12, 7}));
        QCOMPARE(messages(w).last(), QStringLiteral("Pasta"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::keyPress(&w, Qt::Key_Shift, Qt::ShiftModifier);
        QCOMPARE(ui(w).splitRemoveButton->text(), QStringLiteral("Clear"));
        // Held Shift clears every mark in one step, with one undo to bring them back.
        w.on_splitRemoveButton_clicked();
        QVERIFY(model(w).marks().empty());
        QTest::keyRelease(&w, Qt::Key_Shift, Qt::NoModifier);
        QCOMPARE(ui(w).splitRemoveButton->text(), QStringLiteral("Remove"));
        w.on_actionUndo_triggered();
        QCOMPARE(model(w).marks(), (Marks{12, 7}));
        markSaved(w);
    }

    void save_titleAndExactFileWrittenAsAWhole()
    {
        const QString splits = path("solve.mp4.splits.txt");
        // The save replaces the file instead of rewriting it in place: a second link keeps the old text.
        writeFile(splits, "old");
        std::filesystem::create_hard_link(QFile::encodeName(splits).toStdString(),
                                          QFile::encodeName(path("link.txt")).toStdString());
        Framewright w;
        setVideo(w, path("solve.mp4"));
        addMarks(w, {120, 450, 300});
        w.on_addSolveButton_clicked();
        w.on_addSolveButton_clicked();
        addMarks(w, {1020, 900});
        ui(w).fpsSpin->setValue(29.97);
        ui(w).rotateCombo->setCurrentIndex(2);
        QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6*"));
        w.on_actionSave_triggered();
        QCOMPARE(readAll(splits), QByteArray("Splits:120:300:450|Splits|Splits:900:1020|\nFps:29.97\nRotate:2\n"));
        QCOMPARE(readAll(path("link.txt")), QByteArray("old"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6"));
        QCOMPARE(messages(w).last(), QStringLiteral("Saved"));
        // Undo and redo with empty stacks still count as a change; only one "*".
        w.on_actionRedo_triggered();
        w.on_actionRedo_triggered();
        QCOMPARE(w.windowTitle(), QStringLiteral("Framewright v0.6*"));
        markSaved(w);
    }

    void load_restoresAppendsAndSurvivesHostileFile()
    {
        const QString splits = path("clip.mp4.splits.txt");
        writeFile(splits, "Splits:120:300:450|Splits:900:1020|\nCrop:0.25:0.25:0.5:0.5\nFps:25\nRotate:1\n");
        Framewright w;
        addMarks(w, {7});
        w.LoadSplits(path("clip.mp4"));
        w.LoadSplits(path("absent.mp4"));  // a missing file changes nothing
        QCOMPARE(comboItems(w), (QStringList{"Solve 1", "Solve 2", "Solve 3"}));
        QCOMPARE(listTexts(w), QStringList{"0: 00:00:280 (7)"});
        QCOMPARE(ui(w).fpsSpin->value(), 25.0);
        QCOMPARE(ui(w).rotateCombo->currentIndex(), 1);
        QVERIFY(ui(w).cropPreviewCheck->isChecked());
        QVERIFY(!starred(w));
        setVideo(w, path("clip.mp4"));
        w.on_actionSave_triggered();  // with the loaded crop
        QCOMPARE(readAll(splits),
                 QByteArray("Splits:7|Splits:120:300:450|Splits:900:1020|\nCrop:0.25:0.25:0.5:0.5\nFps:25\nRotate:1\n"));

        // A hostile file leaves a sane state.
        const QString bad = path("bad.mp4.splits.txt");
        writeFile(bad, "Splits:1:x:3|\nCrop:-5:0:99:nan\nFps:nan\nRotate:42\n");
        Framewright other;
        ui(other).rotateCombo->setCurrentIndex(3);
        other.LoadSplits(bad);
        QCOMPARE(listTexts(other).size(), 4);
        QCOMPARE(ui(other).rotateCombo->currentIndex(), 3);
        QCOMPARE(ui(other).fpsSpin->value(), 30.0);
        setVideo(other, path("bad.mp4"));
        other.on_actionSave_triggered();  // the unusable crop is dropped
        QCOMPARE(readAll(bad), QByteArray("Splits:1:0:3|\nFps:30\nRotate:3\n"));
    }

    void autosave_onlyWithSourceAndSilent()
    {
        const QString splits = path("auto.mp4.splits.txt");
        Framewright w;
        setVideo(w, path("auto.mp4"));
        addMarks(w, {5});
        w.AutoSave();
        QVERIFY(!QFile::exists(splits));  // no frame source: nothing to save for
        attachGrabber(w);
        const qsizetype before = messages(w).size();
        w.AutoSave();
        QCOMPARE(readAll(splits), kOneMark);
        QCOMPARE(messages(w).size(), before);  // silent
        QVERIFY(!starred(w));
        ui(w).autosaveCheck->setChecked(false);
        addMarks(w, {43});
        w.AutoSave();
        QCOMPARE(readAll(splits), kOneMark);
        markSaved(w);
    }

    void shutdown_savesOrAsks_data()
    {
        QTest::addColumn<bool>("autosave");
        QTest::addColumn<int>("answer");  // 0: no question expected
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("saved");
        const QString unsaved = QStringLiteral("Unsaved data|You have unsaved data: do you want to save it?");
        QTest::newRow("autosave saves silently") << true << 0 << QString() << true;
        QTest::newRow("ok saves") << false << int(QMessageBox::Ok) << unsaved << true;
        QTest::newRow("cancel discards") << false << int(QMessageBox::Cancel) << unsaved << false;
        // A failed save never drops the marks silently.
        QTest::newRow("failed save, retry") << true << int(QMessageBox::Retry) << failed() << true;
        QTest::newRow("failed save, discard") << true << int(QMessageBox::Discard) << failed() << false;
    }

    void shutdown_savesOrAsks()
    {
        QFETCH(bool, autosave);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(bool, saved);
        // A directory where the splits file belongs makes every save fail.
        const QString splits = path("close.mp4.splits.txt");
        QVERIFY(question != failed() || QDir().mkpath(splits));
        QString asked;
        {
            Framewright w;
            setVideo(w, path("close.mp4"));
            ui(w).autosaveCheck->setChecked(autosave);
            addMarks(w, {5});
            if (answer)  // a retry succeeds once the obstacle is gone
                pressInMessageBox(QMessageBox::StandardButton(answer), &asked, [=] {
                    if (answer == QMessageBox::Retry)
                        QDir(splits).removeRecursively();
                });
        }
        QVERIFY2(asked.startsWith(question) && asked.isEmpty() == question.isEmpty(), qPrintable(asked));
        QCOMPARE(readAll(splits), saved ? kOneMark : QByteArray("<missing>"));
    }

    void settings_checkBoxesAndRoundTrip_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("checked");
        QTest::newRow("absent keeps default") << QVariant() << true;
        QTest::newRow("false") << QVariant(false) << false;
        QTest::newRow("integer 0") << QVariant(0) << false;
        QTest::newRow("integer 1") << QVariant(1) << true;
        // As read back from the settings file.
        QTest::newRow("text false") << QVariant(QStringLiteral("false")) << false;
        QTest::newRow("text true") << QVariant(QStringLiteral("true")) << true;
    }

    void settings_checkBoxesAndRoundTrip()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, checked);
        if (stored.isValid())
            QSettings(QStringLiteral("Marrowby"), QStringLiteral("Framewright"))
                .setValue(QStringLiteral("Gui/autosaveCheck"), stored);
        const QString home = QDir::currentPath();
        {
            Framewright w;
            QCOMPARE(ui(w).autosaveCheck->isChecked(), checked);
            // What the window stores when it closes comes back in the next one.
            ui(w).autosaveCheck->setChecked(!checked);
            ui(w).ffgrabberCheck->setChecked(checked);
            ui(w).cropKeepAspect->setChecked(!checked);
        }
        QDir::setCurrent(QDir::tempPath());
        Framewright w;
        QCOMPARE(ui(w).autosaveCheck->isChecked(), !checked);
        QCOMPARE(ui(w).ffgrabberCheck->isChecked(), checked);
        QCOMPARE(ui(w).cropKeepAspect->isChecked(), !checked);
        QCOMPARE(QDir::currentPath(), home);
    }

    void settings_playbackSpeed_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("index");
        QTest::newRow("absent: 1x") << QVariant() << 3;
        QTest::newRow("0.25x") << QVariant(1) << 1;
        QTest::newRow("as text from the file") << QVariant(QStringLiteral("4")) << 4;
        QTest::newRow("out of range: 1x") << QVariant(99) << 3;
        QTest::newRow("negative: 1x") << QVariant(-1) << 3;
        QTest::newRow("not a number: 1x") << QVariant(QStringLiteral("fast")) << 3;
    }

    void settings_playbackSpeed()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, index);
        if (stored.isValid())
            QSettings(QStringLiteral("Marrowby"), QStringLiteral("Framewright"))
                .setValue(QStringLiteral("Gui/playbackSpeed"), stored);
        {
            Framewright w;
            QCOMPARE(ui(w).playbackSpeedCombo->currentIndex(), index);
            // The playback rate follows the FPS box times the speed.
            ui(w).fpsSpin->setValue(60.0);
            ui(w).playbackSpeedCombo->setCurrentIndex(2);
            QCOMPARE(w.player->playbackRate(), 30.0);
            ui(w).playbackRateCheck->setChecked(false);
            QCOMPARE(w.player->playbackRate(), 0.0);
        }
        Framewright again;
        QCOMPARE(ui(again).playbackSpeedCombo->currentIndex(), 2);
    }

    void calculator_computeClipboardReopen()
    {
        Framewright w;
        // Rows: a pair, an empty row, rotations only, and the empty row after the last line feed.
        const QString input = QStringLiteral("R U R' U'\n\nx2 // cross\n");
        QStringList seen;  // title, mode, input and output as shown, output after pressing `button`
        bool modal = false;  // whether the window's input was blocked while the dialog was open
        const auto open = [&](int mode, const char *button) {
            seen.clear();
            modal = false;
            const auto shown = [&w]() -> QWidget * {
                QDialog *dialog = w.crossCalculatorDialog.get();
                return dialog && dialog->isVisible() ? dialog : nullptr;
            };
            whenShown(shown, [&, mode, button](QWidget *dialog) {
                auto *edit = dialog->findChild<QPlainTextEdit *>(QStringLiteral("solvesEdit"));
                auto *output = dialog->findChild<QPlainTextEdit *>(QStringLiteral("output"));
                auto *modes = dialog->findChild<QComboBox *>(QStringLiteral("computeCombo"));
                QVERIFY(edit && output && modes);
                modal = QApplication::activeModalWidget() == dialog;
                seen << dialog->windowTitle() << QString::number(modes->currentIndex()) << edit->toPlainText()
                     << output->toPlainText();
                modes->setCurrentIndex(mode < 0 ? modes->currentIndex() : mode);
                edit->setPlainText(input);
                dialog->findChild<QPushButton *>(QLatin1String(button))->click();
                seen << output->toPlainText();
                dialog->close();
            });
            w.on_actionCross_Calculator_triggered();
        };
        open(-1, "clipboardButton");  // nothing computed yet: computes first
        QVERIFY2(modal, "the calculator dialog left the main window usable under its event loop");
        QCOMPARE(seen, (QStringList{"Cross Color Calculator", "3", "", "", "4\n0\n0\n0"}));
        QCOMPARE(QGuiApplication::clipboard()->text(), seen.last());
        // Reopening shows the same input and result; another mode recomputes.
        open(0, "computeButton");
        QCOMPARE(seen.mid(2), (QStringList{input, "4\n0\n0\n0", "Yellow\nYellow\nWhite\nYellow"}));
    }
};

QTEST_MAIN(TestFramewright)
#include "tst_framewright.moc"
