#pragma once

#include <QColor>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class CrossCalculatorDialog;
class VideoExportDialog;
class DBAnalyser;
class FrameCursor;
class KeyPressTracker;
class OcrRunner;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QListWidgetItem;
class RepeatThrottle;
class SolveModel;
class FrameGrabber;
struct GifExportSettings;
struct KeyBindings;
struct KeyCommand;
struct PipelineSettings;

namespace Ui {
class FramewrightWindow;
}

// The main window: frame display, timeline, split marks of the solves of one
// video, and the menus that reach the exporters and the analysis tools.
//
// The work is divided among small parts the window owns and wires together:
// the player (`FrameCursor`: the frame source, the position, playback), the
// solve model (`SolveModel`: marks, solves, undo and redo), the display and
// the timeline (widgets that paint what the player and the model hold).
class Framewright : public QMainWindow
{
    Q_OBJECT

public:
    // Opens `path` when it is not empty.
    explicit Framewright(const QString &path = QString(), QWidget *parent = nullptr);
    // Saves unsaved marks (asking first unless "Autosave" is checked), closes
    // the frame source and writes the settings.
    ~Framewright() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void changeEvent(QEvent *event) override;

public Q_SLOTS:
    void Update();
    void UpdateFPS();
    void GotoNextMarker();
    void GotoPrevMarker();
    void on_pauseButton_clicked();
    void on_frameBackButton_clicked();
    void on_framePrevButton_clicked();
    void on_frameNextButton_clicked();
    void on_frameForwardButton_clicked();
    void on_cropButton_clicked();
    void on_cropPreviewCheck_clicked();

    void on_splitAddButton_clicked();
    void on_splitRemoveButton_clicked();
    void on_splitUpdateButton_clicked();
    void on_splitList_itemDoubleClicked(QListWidgetItem *item);
    void on_addSolveButton_clicked();
    void on_removeSolveButton_clicked();
    void on_solveCombo_currentIndexChanged(int index);
    void on_actionEdit_Keyboard_Bindings_triggered();
    void on_actionDisplay_Help_triggered();
    void on_actionOpen_triggered();
    void on_actionSave_triggered();
    void on_actionExit_triggered();
    void on_actionCopy_to_Clipboard_triggered();
    void on_actionPaste_from_Clipboard_triggered();
    void on_actionUndo_triggered();
    void on_actionRedo_triggered();
    void on_actionClear_all_splits_and_solves_triggered();
    void on_actionClear_Splits_for_this_solve_triggered();
    void AutoSave();
    void on_rotateCombo_currentIndexChanged(int);
    void on_actionCross_Calculator_triggered();
    void CrossCalculatorCompute();
    void CrossCalculatorClipboard();
    void on_actionDB_Analyser_triggered();
    void on_actionSolvebank_triggered();
    void on_playbackRateCheck_stateChanged(int arg1);
    void on_playbackSpeedCombo_currentIndexChanged(int index);
    void on_actionExport_triggered();
    void on_actionExport_Animated_Gif_triggered();
    void on_actionSave_Screenshot_to_Clipboard_triggered();
    // Reads the text inside the selection (the whole frame without one) on a
    // worker thread; the text goes to the clipboard with the overlay "OCR".
    void on_actionOCR_from_selection_triggered();

public:
    // Shows the marks of `model` in the title: a trailing "*" while unsaved.
    void UpdateTitle();
    void RefreshSplitList();
    void PushUndo();
    void ClearHistory();
    // Puts a short text on the frame display that fades over ten repaints.
    void ShowMessage(const QString &text);
    // Says a sentence (a failure, a warning) once: on the frame display and,
    // for a while, in the status bar.
    void ShowNotice(const QString &text);
    // Writes the splits file at `path`; shows "Saved" unless `silent`. On
    // failure the previous file stays as it was, the title keeps its "*" and
    // false is returned with the reason in `error`.
    bool SaveSplits(const QString &path, bool silent, QString *error = nullptr);
    // Reads a splits file (".splits.txt" is appended to `path` unless present)
    // and appends its solves; also restores crop, frame rate and rotation.
    void LoadSplits(const QString &path);
    // Shows the frame the player stands at (reading the next one while playing).
    void UpdateDisplay(bool show);
    // Opens a video or one image of a numbered sequence; a path that names no
    // file is ignored. The path is kept absolute and canonical. A file that
    // cannot be read as a video changes nothing (the open video, its marks and
    // the most recent path stay) and the notice says why.
    void OpenVideo(const QString &path);
    // Jumps to the mark at `index` (clamped to the last mark).
    void GotoMarker(int index);
    QString TimeString(int32_t frame) const;
    // Writes the animated GIF of `settings.frameCount` frames from the frame
    // on display to `path` (as given), with a progress dialog whose "Stop"
    // ends it early; the display and the position stay. A failure is shown
    // with its reason; returns whether the file was written.
    bool ExportGif(const QString &path, const GifExportSettings &settings);
    // Writes the MP4 of range entry `range` (of the current solve's marks)
    // at resolution entry `resolution`, `direction` 0 normal or 1 reverse, at
    // `fps`, with a progress dialog whose "Stop" ends it early (the file is
    // valid, shorter); the display and the position stay. A failure is shown
    // with its reason; returns whether the file was written.
    bool ExportVideo(const QString &path, int resolution, int range, int direction, double fps);
    void LoadKeyBindings();
    void SaveKeyBindings();

private:
    friend class TestFramewright;
    friend class TestFramewrightVideo;
    friend class TestX11Random;
    friend class WindowBenchmark;

    // Set-up, in the order the constructor runs them.
    void SetUpForm();
    void SetUpPlayer();
    void SetUpConnections();
    // Key bindings, the key filter, and keys back to the window after typing in a text field.
    void SetUpKeyboard();
    void ApplySettings();
    void WriteSettings();
    void SaveOnShutdown();
    // Writes the splits file at `path` (see SaveSplits); while that fails,
    // asks whether to try again, save to another file or discard the marks.
    // True once they are written or discarded, false when the question is
    // closed without an answer.
    bool SaveOrAskUntilSettled(QString path, bool silent);

    // Rebuilds the solve combo with "Solve 1" ... "Solve count" and selects
    // `current`, without reporting a user choice.
    void ResetSolveCombo(int count, int current);
    void AfterMarksChanged();
    QString SplitsPath() const;
    PipelineSettings CurrentPipelineSettings() const;
    void LoadModels();
    // A source of its own on the open video for an export; null after
    // showing why it cannot be opened.
    std::unique_ptr<FrameGrabber> OpenExportSource();
    // The player published a new picture: display, time label, timeline.
    void ShowPicture();
    void ApplyPlaybackRate();
    void TogglePlayback();
    void Step(int step);
    void JumpToMark(int32_t target, const QString &message);
    void GoToFrameDialog();
    void ToggleInterface();
    bool HandleKeyPress(QKeyEvent *event);
    bool HandleKeyRelease(QKeyEvent *event);
    void RunKeyCommand(const KeyCommand &command);

    std::unique_ptr<Ui::FramewrightWindow> ui;
    // The calculator's dialog with its form, created on first use and kept
    // (with its texts) until the window closes.
    std::unique_ptr<CrossCalculatorDialog> crossCalculatorDialog;
    // Built on first use and kept, so that it opens with the last choices.
    std::unique_ptr<VideoExportDialog> videoExportDialog;
    // A top-level window of its own: a loaded database stays loaded while the program runs.
    std::unique_ptr<DBAnalyser> dbAnalyser;
    // Text recognition with `ocrEngine`, created on the first use.
    std::unique_ptr<OcrRunner> ocr;
    // Absolute, canonical path of the open video (empty before the first open).
    QString videoPath;
    // The frame source and the position in it: grabber, currentFrame,
    // totalFrames, paused, frameShown, rawFrame, processedFrame, frameMutex,
    // playTimerId, and the processing pipeline.
    std::unique_ptr<FrameCursor> player;
    // marks, solves, currentSolve, undoStack, redoStack and saved.
    std::unique_ptr<SolveModel> model;
    QList<QColor> markColours;
    std::unique_ptr<KeyBindings> keyBindings;
    std::unique_ptr<KeyPressTracker> keyPresses;
    std::unique_ptr<RepeatThrottle> keyRepeats;
    QTimer autosaveTimer;
    // The last reason a save failed, so that autosave reports a failure once.
    QString lastSaveError;
};
