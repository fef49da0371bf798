#pragma once

#include "DBAnalyser.h"
#include "SolveModel.h"

#include <QColor>
#include <QList>
#include <QMainWindow>
#include <QMutex>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class FrameGrabber;
class QDialog;
class QListWidgetItem;

namespace Ui {
class FramewrightWindow;
class CrossColorCalculator;
}

// The nine user-bindable keys, as Qt key codes, in this order.
struct KeyBindings
{
    int32_t Pause = 32;           // Space
    int32_t FrameBack = 81;       // Q
    int32_t FramePrev = 65;       // A
    int32_t FrameNext = 68;       // D
    int32_t FrameForward = 69;    // E
    int32_t AddMarker = 77;       // M
    int32_t OpenMostRecent = 79;  // O
    int32_t Fullscreen = 70;      // F
    int32_t AddSolve = 43;        // +
};

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

public Q_SLOTS:
    void Update();
    void UpdateFPS();

    void on_splitAddButton_clicked();
    void on_splitRemoveButton_clicked();
    void on_splitUpdateButton_clicked();
    void on_splitList_itemDoubleClicked(QListWidgetItem *item);
    void on_addSolveButton_clicked();
    void on_removeSolveButton_clicked();
    void on_solveCombo_currentIndexChanged(int index);
    void on_actionDisplay_Help_triggered();
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
    QString TimeString(int32_t frame) const;
    void LoadKeyBindings();
    void SaveKeyBindings();

private:
    friend class TestFramewright;

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
};
