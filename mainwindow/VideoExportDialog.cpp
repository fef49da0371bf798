#include "VideoExportDialog.h"

#include "VideoExport.h"
#include "ui_VideoExportDialog.h"

#include <algorithm>

namespace {

// Refills `combo` with `texts`, keeping the current index when it still exists.
void refill(QComboBox *combo, const QStringList &texts, const QList<QVariant> &data = {})
{
    const int previous = combo->currentIndex();
    combo->clear();
    for (qsizetype i = 0; i < texts.size(); ++i)
        combo->addItem(texts.at(i), i < data.size() ? data.at(i) : QVariant());
    combo->setCurrentIndex(previous >= 0 && previous < combo->count() ? previous : 0);
}

}  // namespace

VideoExportDialog::VideoExportDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::VideoExportDialog>())
{
    ui->setupUi(this);
}

VideoExportDialog::~VideoExportDialog() = default;

void VideoExportDialog::rebuild(cv::Size frame, const std::vector<int32_t> &marks, double sourceFps)
{
    QStringList resolutions;
    for (const videoexport::ResolutionEntry &entry : videoexport::resolutionEntries(frame))
        resolutions << entry.text;
    refill(ui->resolutionCombo, resolutions);
    refill(ui->rangeCombo, videoexport::rangeEntries(marks));
    QStringList rates;
    QList<QVariant> values;
    for (const videoexport::FrameRateEntry &entry : videoexport::frameRateEntries(sourceFps)) {
        rates << entry.text;
        values << entry.fps;
    }
    refill(ui->fpsCombo, rates, values);
}

int VideoExportDialog::resolutionIndex() const
{
    return std::max(0, ui->resolutionCombo->currentIndex());
}

int VideoExportDialog::rangeIndex() const
{
    return std::max(0, ui->rangeCombo->currentIndex());
}

bool VideoExportDialog::reverse() const
{
    return ui->directionCombo->currentIndex() == 1;
}

double VideoExportDialog::fps() const
{
    const QVariant value = ui->fpsCombo->currentData();
    return value.isValid() ? value.toDouble() : videoexport::kDefaultFps;
}
