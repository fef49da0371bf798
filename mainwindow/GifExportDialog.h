#pragma once

#include "GifExport.h"

#include <QDialog>

#include <memory>

namespace Ui {
class GifExportDialog;
}

// "Export animated GIF": the output path with a "..." button that asks for a
// file, the width, the number of frames and the duration of each.
class GifExportDialog : public QDialog
{
    Q_OBJECT

public:
    // Starts with `path` in the path field and the default settings.
    explicit GifExportDialog(const QString &path, QWidget *parent = nullptr);
    ~GifExportDialog() override;

    QString path() const;
    GifExportSettings settings() const;

private:
    void choosePath();

    std::unique_ptr<Ui::GifExportDialog> ui;
};
