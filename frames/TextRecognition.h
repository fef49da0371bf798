#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>

#include <opencv2/core.hpp>

#include <memory>

namespace tesseract {
class TessBaseAPI;
}

// The part of `processed` inside `selection` (fractions 0..1 of its width
// and height, as the rectangle drawn on the display), as an image of its own
// with contiguous rows: x, y, width and height are the fractions times the
// columns and rows, truncated, kept inside the frame. A selection with zero
// width or height stands for the whole frame. Empty when the selection holds
// no whole pixel or the frame is empty.
cv::Mat SelectionImage(const cv::Mat &processed, const QRectF &selection);

// Tesseract's English recogniser, started on first use. Language data is
// taken from, in order: `applicationDir`/tessdata, the user's home folder's
// tessdata (~ expanded) and Tesseract's own location (TESSDATA_PREFIX, else
// the one it was built with). The current directory is never searched: a
// video's folder becomes the current one when it is opened, and data lying
// beside a downloaded video must not be loaded.
//
// One thread at a time may use a recogniser.
class TextRecognizer
{
public:
    TextRecognizer();
    ~TextRecognizer();  // ends the engine
    TextRecognizer(const TextRecognizer &) = delete;
    TextRecognizer &operator=(const TextRecognizer &) = delete;

    // The folders holding language data that are tried, in order, each
    // named as the user should read it; the last one is Tesseract's own.
    static QStringList searchedLocations(const QString &applicationDir);
    // The version of the Tesseract library in use.
    static QByteArray engineVersion();

    // Starts the engine unless it runs. False, with the reason naming where
    // it looked, when no English data could be loaded; a later call tries
    // again (data installed meanwhile is found without a restart).
    bool start(const QString &applicationDir, QString *error);
    bool isStarted() const { return started; }
    // The folder the data was loaded from; empty before a start.
    QString dataDirectory() const { return directory; }

    // The text in `image` (8 bits; 1, 3 or 4 channels, handed over in their
    // order; any row stride) with its white space simplified: line breaks
    // and runs of spaces become one space, none at either end. Empty when
    // the engine is not started or nothing is recognised.
    QString recognise(const cv::Mat &image);

private:
    std::unique_ptr<tesseract::TessBaseAPI> engine;
    bool started = false;
    QString directory;
};
