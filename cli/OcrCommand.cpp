#include "OcrCommand.h"

#include "CliIo.h"
#include "FrameOptions.h"
#include "TextRecognition.h"

#include <QCoreApplication>

using namespace cli;

namespace {

// X,Y,W,H as fractions of the processed frame; W or H 0 selects the whole frame.
std::optional<QRectF> selectionFrom(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    double v[4] = {};
    for (int k = 0; k < 4; ++k) {
        bool ok = false;
        v[k] = parts.at(k).toDouble(&ok);
        if (!ok || v[k] < 0.0 || v[k] > 1.0)
            return std::nullopt;
    }
    if (v[0] + v[2] > 1.0 + 1e-9 || v[1] + v[3] > 1.0 + 1e-9)
        return std::nullopt;
    return QRectF(v[0], v[1], v[2], v[3]);
}

}  // namespace

int runOcr(const QStringList &args)
{
    FrameOptions options;
    const QString select = QStringLiteral("--select");
    const QString error =
        parseOptions(args, QStringList{QStringLiteral("--source")} + pipelineOptionNames(), &options, {select});
    if (!error.isEmpty())
        return usageError(error);
    if (options.positionals.size() != 2)
        return usageError(QStringLiteral("ocr takes a file and a frame index"));
    const auto index = intIn(options.positionals.at(1), 0, INT32_MAX);
    if (!index)
        return usageError(QStringLiteral("the frame index must be a number of 0 or more"));
    QRectF selection;
    if (options.own.contains(select)) {
        const auto parsed = selectionFrom(options.own.value(select));
        if (!parsed)
            return usageError(QStringLiteral("--select takes X,Y,W,H as fractions inside the processed frame"));
        selection = *parsed;
    }

    QString readError;
    const cv::Mat processed = readProcessedFrame(options.positionals.at(0), *index, options, &readError);
    if (processed.empty())
        return failure(readError);
    const cv::Mat image = SelectionImage(processed, selection);
    if (image.empty())
        return failure(QStringLiteral("the selection holds no whole pixel of the %1 x %2 frame")
                           .arg(processed.cols)
                           .arg(processed.rows));
    TextRecognizer recognizer;
    QString startError;
    if (!recognizer.start(QCoreApplication::applicationDirPath(), &startError))
        return failure(startError);
    writeOut(recognizer.recognise(image) + QLatin1Char('\n'));
    return kExitOk;
}
