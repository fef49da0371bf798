#pragma once

#include "Charts.h"
#include "SolveDatabase.h"
#include "SolveRecord.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class DBAnalyser;
}
class QLabel;
class QListWidgetItem;
class QProgressDialog;
class QTimer;

// Window of the solve database analyser. One instance lives as long as the
// main window (without a parent, so it is a top-level window of its own) so
// that a loaded database stays loaded between showings.
//
// The window only wires its widgets to the widget-free code of db:: and
// charts::: loading (SolveDatabase.h), filters, list and summary
// (SolveList.h), solve tables (SolveTables.h) and the charts (Charts.h).
class DBAnalyser : public QDialog
{
    Q_OBJECT

public:
    explicit DBAnalyser(QWidget *parent = nullptr);
    ~DBAnalyser() override;

    // Reads `path` on a worker thread; the window keeps painting and, when
    // reading takes over half a second, shows a progress dialog with the
    // lines read. On success the database replaces the loaded one, the path
    // is remembered under "lastOpened", the solver box is rebuilt and the
    // list refreshed. A file that cannot be opened or holds no solve line
    // leaves the loaded database as it is and says why in the summary
    // label. Ignored (false) while another load runs.
    bool loadDatabase(const QString &path);
    bool isLoading() const;

    // Opens a solve's web page; QDesktopServices::openUrl unless replaced
    // (tests capture the address instead of starting a browser).
    using UrlOpener = std::function<bool(const QUrl &)>;
    void setUrlOpener(UrlOpener opener);

    const std::vector<cube::SolveRecord> &loadedSolves() const { return solves; }
    const std::vector<int32_t> &listedSolves() const { return shownSolves; }

Q_SIGNALS:
    // A load started by loadDatabase has ended; `replaced` tells whether it
    // replaced the loaded database.
    void loadFinished(bool replaced);

public Q_SLOTS:
    void on_openButton_clicked();
    void on_clipboardButton_clicked();
    void on_solvesToDbButton_clicked();
    void UpdateStats();
    void UpdateList();
    void UpdateFilters();
    void on_solveList_itemDoubleClicked(QListWidgetItem *item);
    void on_reopenButton_clicked();
    void on_solveList_currentItemChanged(QListWidgetItem *current, QListWidgetItem *previous);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    struct LoadResult
    {
        QString path;
        std::optional<db::SolveDatabase> database;
        QString error;
    };
    // Lines read so far by the running load, written on the loading thread.
    struct LoadProgressCounter;

    void loadEnded();
    void showLoadProgress();
    // Redraws the six charts for the current row of the list; the list and
    // the summary stay as they are.
    void drawCharts();
    // The site address of the solve pages, asked for when none is set yet;
    // empty when the user gives none.
    QString solvePageSite();

    std::unique_ptr<Ui::DBAnalyser> ui;
    std::vector<cube::SolveRecord> solves;
    std::vector<int32_t> shownSolves;
    // Solver names by position in solverCombo; position 0 ("All") is empty.
    QStringList solverNames;
    // What the charts read: the working set of the last UpdateStats, read in
    // place from `solves`; only `current` changes between two list rebuilds.
    charts::ChartData chartData;
    QList<QLabel *> chartLabels;  // owned by scrollAreaWidgetContents

    UrlOpener urlOpener;

    QFutureWatcher<LoadResult> loadWatcher;
    bool loading = false;  // from loadDatabase until its result is taken
    std::shared_ptr<LoadProgressCounter> loadProgress;
    QProgressDialog *progressDialog = nullptr;  // child of the window while a load runs
    QTimer *progressTimer = nullptr;            // child of the window
};
