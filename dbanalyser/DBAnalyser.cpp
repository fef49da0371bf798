#include "DBAnalyser.h"

#include "SolveList.h"
#include "SolveTables.h"
#include "ui_DBAnalyser.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QListWidgetItem>
#include <QMimeData>
#include <QPixmap>
#include <QProgressDialog>
#include <QSettings>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

namespace {

QSettings analyserSettings()
{
    return QSettings(QStringLiteral("Marrowby"), QStringLiteral("DBAnalyser"));
}

const QString kLastOpenedKey = QStringLiteral("lastOpened");

// How often the progress dialog takes the loading thread's count, in ms.
constexpr int kProgressPollMs = 50;
// Picture width of every chart, logical pixels.
constexpr int kChartWidth = 250;

}  // namespace

struct DBAnalyser::LoadProgressCounter
{
    std::atomic<qint64> linesRead{0};
    std::atomic<qint64> lines{0};
};

DBAnalyser::DBAnalyser(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DBAnalyser>())
    , urlOpener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    // Connects the on_<object>_<signal> slots by name.
    ui->setupUi(this);
    setAcceptDrops(true);
    // Rebuilding 100,000 rows stays quick when the view need not measure each.
    ui->solveList->setUniformItemSizes(true);

    for (QComboBox *box : {ui->puzzleCombo, ui->methodCombo, ui->solverCombo, ui->filterParam})
        connect(box, &QComboBox::currentIndexChanged, this, &DBAnalyser::UpdateList);
    connect(ui->filterType, &QComboBox::currentIndexChanged, this, &DBAnalyser::UpdateFilters);

    solverNames.append(QString());
    chartData.records = &solves;

    progressTimer = new QTimer(this);
    progressTimer->setInterval(kProgressPollMs);
    connect(progressTimer, &QTimer::timeout, this, &DBAnalyser::showLoadProgress);
    connect(&loadWatcher, &QFutureWatcher<LoadResult>::finished, this, &DBAnalyser::loadEnded);
}

DBAnalyser::~DBAnalyser()
{
    // The loading thread writes into loadProgress only, which it shares; its
    // result is dropped with the watcher, but the thread must not outlive
    // the code it runs. (A future whose result was taken is no longer valid
    // and must not be waited on.)
    if (loading)
        loadWatcher.waitForFinished();
}

void DBAnalyser::setUrlOpener(UrlOpener opener)
{
    urlOpener = std::move(opener);
}

bool DBAnalyser::isLoading() const
{
    return loading;
}

// ---- loading ---------------------------------------------------------------

bool DBAnalyser::loadDatabase(const QString &path)
{
    if (isLoading())
        return false;
    loading = true;
    loadProgress = std::make_shared<LoadProgressCounter>();
    std::shared_ptr<LoadProgressCounter> counter = loadProgress;
    loadWatcher.setFuture(QtConcurrent::run([path, counter]() {
        LoadResult result;
        result.path = path;
        result.database = db::loadDatabaseFile(path, &result.error, [counter](qint64 linesRead, qint64 lines) {
            counter->lines.store(lines, std::memory_order_relaxed);
            counter->linesRead.store(linesRead, std::memory_order_relaxed);
        });
        return result;
    }));

    progressDialog = new QProgressDialog(this);
    progressDialog->setWindowTitle(tr("Load DB file"));
    progressDialog->setLabelText(tr("Reading %1").arg(QFileInfo(path).fileName()));
    progressDialog->setCancelButton(nullptr);  // the reading cannot be stopped halfway
    progressDialog->setWindowModality(Qt::WindowModal);
    progressDialog->setMinimumDuration(500);
    progressDialog->setRange(0, 0);
    progressDialog->setValue(0);
    progressTimer->start();
    ui->openButton->setEnabled(false);
    ui->reopenButton->setEnabled(false);
    return true;
}

void DBAnalyser::showLoadProgress()
{
    if (!progressDialog || !loadProgress)
        return;
    const qint64 lines = loadProgress->lines.load(std::memory_order_relaxed);
    const qint64 linesRead = loadProgress->linesRead.load(std::memory_order_relaxed);
    if (lines > 0) {
        // QProgressDialog counts in int; a share in thousandths fits any file.
        progressDialog->setMaximum(1000);
        progressDialog->setLabelText(tr("%1 of %2 lines read").arg(linesRead).arg(lines));
        progressDialog->setValue(int(linesRead * 1000 / lines));
    } else {
        // Still reading the text: setValue lets the dialog appear after its minimum duration.
        progressDialog->setValue(0);
    }
}

void DBAnalyser::loadEnded()
{
    progressTimer->stop();
    if (progressDialog) {
        // Not deleted here: this can run inside the dialog's own setValue(),
        // which processes events while a modal dialog shows (the end of the
        // load arriving just then), and returns into the dialog afterwards.
        progressDialog->hide();
        progressDialog->deleteLater();
        progressDialog = nullptr;
    }
    loadProgress.reset();
    ui->openButton->setEnabled(true);
    ui->reopenButton->setEnabled(true);

    LoadResult result = loadWatcher.future().takeResult();
    loading = false;
    const QString file = QDir::toNativeSeparators(result.path);
    if (!result.database) {
        ui->statsLabel->setText(tr("Cannot open \"%1\": %2").arg(file, result.error));
        Q_EMIT loadFinished(false);
        return;
    }
    if (result.database->solves.empty()) {
        ui->statsLabel->setText(tr("No solve line in \"%1\"").arg(file));
        Q_EMIT loadFinished(false);
        return;
    }

    analyserSettings().setValue(kLastOpenedKey, result.path);
    solves = std::move(result.database->solves);
    shownSolves.clear();
    chartData.listed.clear();
    chartData.summaries.reset();  // of the old records
    chartData.current = -1;

    const QStringList &entries = result.database->solverEntries;
    solverNames.clear();
    solverNames.append(QString());
    for (qsizetype i = 1; i < entries.size(); ++i)
        solverNames.append(db::solverNameFromEntry(entries.at(i)));
    {
        const QSignalBlocker blocker(ui->solverCombo);
        ui->solverCombo->clear();
        // "All" is the form's text, translated; the solvers' entries are data.
        ui->solverCombo->addItem(tr("All"));
        ui->solverCombo->addItems(entries.mid(1));
        ui->solverCombo->setCurrentIndex(0);
    }
    UpdateList();
    Q_EMIT loadFinished(true);
}

void DBAnalyser::on_openButton_clicked()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Load DB file"), QDir::currentPath(), tr("CSV files (*.csv)"));
    if (!path.isEmpty())
        loadDatabase(path);
}

void DBAnalyser::on_reopenButton_clicked()
{
    const QString path = analyserSettings().value(kLastOpenedKey).toString();
    if (path.isEmpty()) {
        ui->statsLabel->setText(tr("No database opened before"));
        return;
    }
    loadDatabase(path);
}

void DBAnalyser::dragEnterEvent(QDragEnterEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!isLoading() && data->hasUrls() && !data->urls().isEmpty()
        && data->urls().constFirst().path().endsWith(QLatin1String(".csv")))
        event->acceptProposedAction();
}

void DBAnalyser::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!data->hasUrls() || data->urls().isEmpty())
        return;
    loadDatabase(data->urls().constFirst().toLocalFile());
    event->acceptProposedAction();
}

// ---- filters, list, summary and charts -------------------------------------

void DBAnalyser::UpdateFilters()
{
    const auto type = static_cast<db::FilterType>(ui->filterType->currentIndex());
    {
        const QSignalBlocker blocker(ui->filterParam);
        ui->filterParam->clear();
        if (ui->filterType->currentIndex() > 0)
            ui->filterParam->addItems(db::filterParamEntries(type));
        ui->filterParam->setCurrentIndex(0);
    }
    UpdateList();
}

void DBAnalyser::UpdateList()
{
    db::FilterSelection selection;
    selection.puzzle = ui->puzzleCombo->currentIndex();
    selection.method = ui->methodCombo->currentIndex();
    selection.solver = solverNames.value(ui->solverCombo->currentIndex());
    const int type = ui->filterType->currentIndex();
    selection.filterType = type > 0 ? static_cast<db::FilterType>(type) : db::FilterType::None;
    selection.filterParam = ui->filterParam->currentIndex();
    shownSolves = db::filterSolves(solves, selection);

    {
        // One summary and one drawing at the end, not one per removed row.
        const QSignalBlocker blocker(ui->solveList);
        ui->solveList->clear();
        ui->solveList->addItems(db::solveListTexts(solves, shownSolves));
        ui->solveList->setCurrentRow(-1);
    }
    UpdateStats();
}

void DBAnalyser::UpdateStats()
{
    ui->statsLabel->setText(db::statsText(solves, shownSolves));
    chartData.listed = db::workingSet(solves, shownSolves);
    chartData.summarise();
    drawCharts();
}

void DBAnalyser::on_solveList_currentItemChanged(QListWidgetItem *, QListWidgetItem *)
{
    // Only the marked solve changes: the summary and the list stay.
    drawCharts();
}

void DBAnalyser::drawCharts()
{
    // The row indexes the working set only while the list shows it.
    const int row = ui->solveList->currentRow();
    chartData.current = shownSolves.empty() ? -1 : row;
    chartData.devicePixelRatio = devicePixelRatioF();
    QLayout *layout = ui->verticalLayout_3;
    for (size_t i = 0; i < charts::kCharts.size(); ++i) {
        if (chartLabels.size() <= qsizetype(i)) {
            auto *label = new QLabel(ui->scrollAreaWidgetContents);
            label->setObjectName(charts::chartFileName(charts::kCharts[i]).section(QLatin1Char('.'), 0, 0));
            // Whole pictures: the scroll area scrolls rather than squeezing
            // the charts into its height.
            label->setMinimumSize(charts::chartSize(charts::kCharts[i], kChartWidth));
            layout->addWidget(label);
            chartLabels.append(label);
        }
        chartLabels[qsizetype(i)]->setPixmap(QPixmap::fromImage(charts::drawChart(charts::kCharts[i], chartData, kChartWidth)));
    }
}

// ---- solve tables and solve pages ------------------------------------------

void DBAnalyser::on_clipboardButton_clicked()
{
    const QString method = db::methodEntries().value(ui->methodCombo->currentIndex());
    QGuiApplication::clipboard()->setText(
        db::solveTable(solves, shownSolves, method, ui->checkIncludeMoves->isChecked()));
}

void DBAnalyser::on_solvesToDbButton_clicked()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    QString error;
    const std::optional<QString> converted = db::convertWebTable(clipboard->text(), &error);
    if (!converted) {
        // The copied table stays on the clipboard, so nothing is lost.
        ui->statsLabel->setText(tr("Cannot convert the copied solve table: %1").arg(error));
        return;
    }
    clipboard->setText(*converted);
}

QString DBAnalyser::solvePageSite()
{
    // The same setting and question as the main window's "Solvebank" action.
    QSettings settings = analyserSettings();
    QString site = settings.value(QLatin1String(db::kSolvePageSiteKey)).toString().trimmed();
    if (!site.isEmpty())
        return site;
    bool ok = false;
    site = QInputDialog::getText(this, tr("Solvebank"), tr("Address of the solve database site:"), QLineEdit::Normal,
                                 QStringLiteral("https://"), &ok)
               .trimmed();
    const QUrl url(site);
    if (!ok || !url.isValid() || url.host().isEmpty())
        return QString();
    settings.setValue(QLatin1String(db::kSolvePageSiteKey), site);
    return site;
}

void DBAnalyser::on_solveList_itemDoubleClicked(QListWidgetItem *item)
{
    const int row = ui->solveList->row(item);
    if (row < 0 || size_t(row) >= shownSolves.size())
        return;
    const size_t index = size_t(shownSolves[size_t(row)]);
    if (index >= solves.size())
        return;
    const QString solveId = solves[index].solveId;
    const QString site = solvePageSite();
    if (site.isEmpty())
        return;
    const QString address = db::solvePageAddress(site, solveId);
    if (!address.isEmpty() && urlOpener)
        urlOpener(QUrl(address));
}
