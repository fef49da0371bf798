#pragma once

#include <QDialog>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <vector>

namespace Ui {
class VideoExportDialog;
}

// "Export video": resolution, direction, range and frame rate of an MP4
// export. The window keeps one dialog; its entries are rebuilt each time it
// opens, from the size the export will produce and the current solve's marks,
// keeping the chosen entries where they still exist.
class VideoExportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit VideoExportDialog(QWidget *parent = nullptr);
    ~VideoExportDialog() override;

    // `frame`: the size of the processed frames; `marks`: the current solve's
    // marks in ascending order; `sourceFps`: the video's own rate (0 unknown).
    void rebuild(cv::Size frame, const std::vector<int32_t> &marks, double sourceFps);

    int resolutionIndex() const;
    int rangeIndex() const;
    bool reverse() const;
    double fps() const;

private:
    std::unique_ptr<Ui::VideoExportDialog> ui;
};
