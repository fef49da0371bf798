#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <opencv2/core.hpp>

#include <memory>

class TextRecognizer;

// Runs text recognitions for the window on a worker thread, one at a time,
// so that a whole 1080p frame (a second or more) does not freeze it. Owns
// the engine (`ocrEngine`), started on the first recognition; after a start
// that found no language data the next recognition tries again.
class OcrRunner : public QObject
{
    Q_OBJECT

public:
    // `applicationDir`: where the program's own tessdata folder would be.
    explicit OcrRunner(const QString &applicationDir, QObject *parent = nullptr);
    // Waits for a recognition still running, then ends the engine.
    ~OcrRunner() override;

    // Starts reading `image` (8-bit, 1, 3 or 4 channels; the runner keeps a
    // reference, so the caller must not draw into it). False, doing
    // nothing, while another recognition runs.
    bool recognise(const cv::Mat &image);
    bool busy() const { return watcher.isRunning(); }
    // Blocks until the running recognition (if any) has reported.
    void waitForFinished();

Q_SIGNALS:
    // The text, white space simplified (possibly empty: nothing was read).
    void recognised(const QString &text);
    // The engine could not start; the reason names where it looked.
    void failed(const QString &reason);

private:
    struct Outcome
    {
        bool started = false;
        QString text;
        QString error;
    };

    void report();

    const QString applicationDir;
    std::unique_ptr<TextRecognizer> ocrEngine;
    QFutureWatcher<Outcome> watcher;
};
