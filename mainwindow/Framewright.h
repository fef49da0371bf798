#pragma once

#include "DBAnalyser.h"
#include "KeyBindings.h"
#include "SolveModel.h"

#include <QColor>
#include <QList>
#include <QMainWindow>
#include <QMutex>
#include <QPixmap>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTimer>

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class FrameGrabber;
class FramePipeline;
struct PipelineSettings;
class QDialog;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QMouseEvent;
class QListWidgetItem;

namespace Ui {
class FramewrightWindow;
class CrossColorCalculator;
}


// The main window: frame display, timeline, split marks of the solves of one
// video, and the menus that reach the exporters and the analysis tools.
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
    void timerEvent(QTimerEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

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

public:
    // Shows the marks of `model` in the title: a trailing "*" while unsaved.
    void UpdateTitle();
    void RefreshSplitList();
    void PushUndo();
    void ClearHistory();
    // Puts a short text on the frame display that fades over ten repaints.
    void ShowMessage(const QString &text);
    // Writes the splits file at `path`; shows "Saved" unless `silent`. On
    // failure the previous file stays as it was, the title keeps its "*" and
    // false is returned with the reason in `error`.
    bool SaveSplits(const QString &path, bool silent, QString *error = nullptr);
    // Reads a splits file (".splits.txt" is appended to `path` unless present)
    // and appends its solves; also restores crop, frame rate and rotation.
    void LoadSplits(const QString &path);
    void UpdateDisplay(bool show);
    // Opens a video or one image of a numbered sequence; a path that names no
    // file is ignored.
    void OpenVideo(const QString &path);
    // Jumps to the mark at `index` (clamped to the last mark).
    void GotoMarker(int index);
    QString TimeString(int32_t frame) const;
    void LoadKeyBindings();
    void SaveKeyBindings();

private:
    friend class TestFramewright;
    friend class TestFramewrightVideo;
    friend class WindowBenchmark;

    void ApplySettings();
    void WriteSettings();
    void SaveOnShutdown();
    // Rebuilds the solve combo with "Solve 1" ... "Solve count" and selects
    // `current`, without reporting a user choice.
    void ResetSolveCombo(int count, int current);
    void AfterMarksChanged();
    void PaintTimeline();
    void PaintDisplay();
    QString SplitsPath() const;

    PipelineSettings CurrentPipelineSettings() const;
    void LoadModels();
    void StartPlayTimer();
    void TogglePlayback();
    // The four steps of the buttons and keys: back 10, back 1, forward 1, forward 10.
    void Step(int step);
    void JumpToMark(int32_t target, const QString &message);
    void GoToFrameDialog();
    bool SeekFromTimeline(QMouseEvent *event);
    void DisplayMouseEvent(QEvent *event);
    QSizeF DisplayPictureSize() const;
    // Rebuilds `displayPixmap` from `processedFrame` for the display's current size.
    void RefreshDisplayPixmap();
    // Width / height of the picture on display.
    double PictureAspect() const;
    bool HandleKeyRelease(QKeyEvent *event);

    std::unique_ptr<Ui::FramewrightWindow> ui;
    // The calculator's form and dialog, created on first use and kept (with
    // their texts) until the window closes.
    std::unique_ptr<Ui::CrossColorCalculator> crossCalculatorUi;
    DBAnalyser dbAnalyser;
    std::unique_ptr<QDialog> crossCalculatorDialog;
    QString videoPath;
    std::unique_ptr<FrameGrabber> grabber;
    bool paused = true;
    bool frameShown = false;
    int32_t currentFrame = 0;
    int32_t totalFrames = 0;
    QPixmap displayPixmap;
    int32_t playTimerId = -1;
    QMutex frameMutex;
    cv::Mat rawFrame;
    cv::Mat processedFrame;
    QRectF editCrop{0.0, 0.0, 1.0, 1.0};
    std::array<double, 2> dragPoint{0.0, 0.0};
    QRectF appliedCrop{0.0, 0.0, 1.0, 1.0};
    // marks, solves, currentSolve, undoStack, redoStack and saved.
    SolveModel model;
    QList<QColor> markColours;
    QList<QString> messages;
    std::vector<int32_t> messageCounters;
    int32_t messageLifetime = 10;
    KeyBindings keyBindings;
    QTimer autosaveTimer;
    // Upsampling, rotation, crop and enhancement of every shown frame, with
    // the super-resolution models found at start-up.
    std::unique_ptr<FramePipeline> pipeline;
    // The last processing error reported, so that a failing frame is reported once.
    QString lastPipelineError;
    // The last reason a save failed, so that autosave reports a failure once.
    QString lastSaveError;
};
