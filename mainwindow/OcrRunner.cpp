#include "OcrRunner.h"

#include "TextRecognition.h"

#include <QtConcurrent/QtConcurrentRun>

OcrRunner::OcrRunner(const QString &applicationDir, QObject *parent)
    : QObject(parent)
    , applicationDir(applicationDir)
    , ocrEngine(std::make_unique<TextRecognizer>())
{
    connect(&watcher, &QFutureWatcher<Outcome>::finished, this, &OcrRunner::report);
}

OcrRunner::~OcrRunner()
{
    // The worker uses the engine until it returns.
    watcher.waitForFinished();
}

bool OcrRunner::recognise(const cv::Mat &image)
{
    if (watcher.isRunning())
        return false;
    TextRecognizer *engine = ocrEngine.get();
    watcher.setFuture(QtConcurrent::run([engine, image, directory = applicationDir] {
        Outcome outcome;
        outcome.started = engine->start(directory, &outcome.error);
        if (outcome.started)
            outcome.text = engine->recognise(image);
        return outcome;
    }));
    return true;
}

void OcrRunner::waitForFinished()
{
    watcher.waitForFinished();
}

void OcrRunner::report()
{
    if (watcher.future().resultCount() == 0)
        return;
    const Outcome outcome = watcher.result();
    if (outcome.started)
        Q_EMIT recognised(outcome.text);
    else
        Q_EMIT failed(outcome.error);
}
