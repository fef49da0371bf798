#include "FrameOptions.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace cli {

QStringList pipelineOptionNames()
{
    return {QStringLiteral("--rotate"), QStringLiteral("--crop"), QStringLiteral("--brightness"),
            QStringLiteral("--enhance"), QStringLiteral("--upsample")};
}

std::optional<int> intIn(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

QString parseOptions(const QStringList &args, const QStringList &allowed, FrameOptions *options,
                     const QStringList &ownValued, const QStringList &ownFlags)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (!arg.startsWith(QLatin1String("-")) || arg == QLatin1String("-")) {
            options->positionals << arg;
            continue;
        }
        if (ownFlags.contains(arg)) {
            options->own.insert(arg, QString());
            continue;
        }
        if (!allowed.contains(arg) && !ownValued.contains(arg))
            return QStringLiteral("unknown option \"%1\"").arg(arg);
        if (arg == QLatin1String("--quiet")) {
            options->quiet = true;
            continue;
        }
        if (arg == QLatin1String("--marks")) {
            options->marks = true;
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(arg);
        const QString value = args.at(++i);
        const auto bad = [&] { return QStringLiteral("bad value \"%1\" for %2").arg(value, arg); };
        if (ownValued.contains(arg)) {
            options->own.insert(arg, value);
            continue;
        }
        if (arg == QLatin1String("--source")) {
            static const QStringList kinds = {QStringLiteral("auto"), QStringLiteral("capture"),
                                              QStringLiteral("ffmpeg"), QStringLiteral("images")};
            const qsizetype kind = kinds.indexOf(value);
            if (kind < 0)
                return bad();
            options->source = static_cast<FrameSourceKind>(kind);
        } else if (arg == QLatin1String("-o")) {
            options->output = value;
        } else if (arg == QLatin1String("--rotate")) {
            const auto v = intIn(value, 0, 5);
            if (!v)
                return bad();
            options->pipeline.rotation = *v;
        } else if (arg == QLatin1String("--brightness")) {
            const auto v = intIn(value, 0, 200);
            if (!v)
                return bad();
            options->pipeline.brightness = *v;
        } else if (arg == QLatin1String("--enhance")) {
            const auto v = intIn(value, 0, 4);
            if (!v)
                return bad();
            options->pipeline.enhance = *v;
        } else if (arg == QLatin1String("--upsample")) {
            const auto v = intIn(value, 0, 6);
            if (!v)
                return bad();
            options->pipeline.upsample = *v;
        } else if (arg == QLatin1String("--crop")) {
            const QStringList parts = value.split(QLatin1Char(','));
            double v[4] = {};
            bool ok = parts.size() == 4;
            for (int k = 0; ok && k < 4; ++k)
                v[k] = parts.at(k).toDouble(&ok);
            if (!ok || v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0 || v[0] + v[2] > 1.0 + 1e-9
                || v[1] + v[3] > 1.0 + 1e-9)
                return QStringLiteral("--crop takes X,Y,W,H as fractions inside the frame");
            options->pipeline.applyCrop = true;
            options->pipeline.crop = QRectF(v[0], v[1], v[2], v[3]);
        } else if (arg == QLatin1String("--start")) {
            const auto v = intIn(value, 0, INT32_MAX);
            if (!v)
                return bad();
            options->start = *v;
            options->rangeGiven = true;
        } else if (arg == QLatin1String("--count")) {
            const auto v = intIn(value, 1, INT32_MAX);
            if (!v)
                return bad();
            options->count = *v;
            options->rangeGiven = true;
        } else if (arg == QLatin1String("--step")) {
            const auto v = intIn(value, -1000000, 1000000);
            if (!v || *v == 0)
                return bad();
            options->step = *v;
            options->rangeGiven = true;
        } else if (arg == QLatin1String("--at")) {
            // Plain decimal digits only: "+5", " 5" or "5.0" are not indices.
            static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
            QList<int> indices;
            for (const QString &entry : value.split(QLatin1Char(','))) {
                const auto v = digits.match(entry).hasMatch() ? intIn(entry, 0, INT32_MAX) : std::nullopt;
                if (!v)
                    return QStringLiteral("--at takes frame indices (0 or more) separated by commas, not \"%1\"")
                        .arg(value);
                indices << *v;
            }
            options->at = indices;
        } else if (arg == QLatin1String("--dump")) {
            options->dumpDir = value;
        }
    }
    return QString();
}

std::unique_ptr<FrameGrabber> openSource(const QString &path, FrameSourceKind kind, QString *error,
                                         FrameSourceUse use)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("cannot open \"%1\": no such file").arg(path);
        return nullptr;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("cannot open \"%1\": not a file").arg(path);
        return nullptr;
    }
    std::unique_ptr<FrameGrabber> source = CreateFrameSource(path, kind, false, use);
    if (!source->isOpen()) {
        // The source's sentence names the file; the fallback only guards a source that gives none.
        *error = source->errorString();
        if (error->isEmpty())
            *error = QStringLiteral("cannot open \"%1\"").arg(path);
        return nullptr;
    }
    return source;
}

QString indexOutOfRange(FrameGrabber &source, int64_t index, const QString &path)
{
    const int32_t count = source.getFrameCount();
    if (index >= 0 && (count <= 0 || index < count))
        return QString();
    if (count > 0)
        return QStringLiteral("no frame %1 in \"%2\": it holds frames 0 to %3").arg(index).arg(path).arg(count - 1);
    return QStringLiteral("no frame %1 in \"%2\"").arg(index).arg(path);
}

QString readFailure(const FrameGrabber &source, int64_t index, const QString &path, const cv::Mat &frame)
{
    const ReadResult result = source.lastRead();
    if (result == ReadResult::Delivered && !frame.empty())
        return QString();
    if (result == ReadResult::EndOfStream)
        return QStringLiteral("no frame %1 in \"%2\": the stream ends before it").arg(index).arg(path);
    const QString reason = source.errorString();
    return reason.isEmpty() ? QStringLiteral("frame %1 of \"%2\" cannot be read").arg(index).arg(path) : reason;
}

cv::Mat readProcessedFrame(const QString &path, int index, const FrameOptions &options, QString *error,
                           int32_t *position)
{
    const auto source = openSource(path, options.source, error);
    if (!source)
        return {};
    if (*error = indexOutOfRange(*source, index, path); !error->isEmpty())
        return {};
    source->seek(index);
    cv::Mat raw;
    *source >> raw;
    if (*error = readFailure(*source, index, path, raw); !error->isEmpty())
        return {};
    if (position)
        *position = source->getPosition();
    FramePipeline pipeline;
    pipeline.loadModels(FramePipeline::modelDirectories());
    QString pipelineError;
    const cv::Mat processed = pipeline.process(raw, options.pipeline, &pipelineError);
    if (processed.empty())
        *error = QStringLiteral("processing failed: %1").arg(pipelineError);
    return processed;
}

std::optional<SplitsFileContent> readSplitsBeside(const QString &path, const QString &missing, QString *error)
{
    const QString splitsPath = SplitsPathFor(path);
    QFile file(splitsPath);
    if (!file.exists()) {
        *error = QStringLiteral("no %1 for \"%2\": there is no \"%3\"").arg(missing, path, splitsPath);
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read \"%1\": %2").arg(splitsPath, file.errorString());
        return std::nullopt;
    }
    return ParseSplitsFile(file);
}

}  // namespace cli
