#include "GifExportDialog.h"

#include "ui_GifExportDialog.h"

#include <QDir>
#include <QFileDialog>

GifExportDialog::GifExportDialog(const QString &path, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::GifExportDialog>())
{
    ui->setupUi(this);
    ui->pathEdit->setText(path);
    connect(ui->browseButton, &QPushButton::clicked, this, &GifExportDialog::choosePath);
}

GifExportDialog::~GifExportDialog() = default;

QString GifExportDialog::path() const
{
    return ui->pathEdit->text();
}

GifExportSettings GifExportDialog::settings() const
{
    GifExportSettings settings;
    settings.width = ui->widthSpin->value();
    settings.frameCount = ui->frameCountSpin->value();
    settings.delay = ui->frameDurationSpin->value();
    return settings;
}

void GifExportDialog::choosePath()
{
    // The opener makes the video's folder the current directory.
    const QString chosen =
        QFileDialog::getSaveFileName(this, tr("Save Gif"), QDir::currentPath(), tr("Gif files (*.gif)"));
    if (!chosen.isEmpty())
        ui->pathEdit->setText(chosen);
}
