#include "SplitsFile.h"

#include <QBuffer>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

// The general notation with 6 significant digits (printf's %g), as the
// files have always been written: 0.25 -> "0.25", 1.0 -> "1", 29.97 -> "29.97".
QByteArray generalNumber(double value)
{
    return QByteArray::number(value, 'g', 6);
}

bool isFullFrame(const QRectF &crop)
{
    // Exact comparison on purpose: any rectangle that is not exactly the full
    // frame is stored.
    return crop.x() == 0.0 && crop.y() == 0.0 && crop.width() == 1.0 && crop.height() == 1.0;
}

// A stored crop is trusted only as a rectangle of positive size inside the
// unit square; values slightly outside (rounding of single-precision reads)
// are pulled back in.
std::optional<QRectF> sanitisedCrop(const QStringList &fields)
{
    float values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = fields.at(i + 1).toFloat(&ok);
        if (!ok || !std::isfinite(values[i]))
            return std::nullopt;
    }
    const double x = std::clamp<double>(values[0], 0.0, 1.0);
    const double y = std::clamp<double>(values[1], 0.0, 1.0);
    const double w = std::min<double>(values[2], 1.0 - x);
    const double h = std::min<double>(values[3], 1.0 - y);
    if (!(w > 0.0) || !(h > 0.0))
        return std::nullopt;
    return QRectF(x, y, w, h);
}

}  // namespace

QByteArray SplitsFileText(const std::vector<Marks> &solves, const Marks &workingMarks,
                          const SplitsSettings &settings)
{
    QByteArray text = "Splits";
    if (!solves.empty()) {
        bool first = true;
        for (const Marks &solve : solves) {
            if (!first)
                text += "Splits";
            first = false;
            for (int32_t mark : solve)
                text += ':' + QByteArray::number(mark);
            text += '|';
        }
    } else {
        for (int32_t mark : workingMarks)
            text += ':' + QByteArray::number(mark);
    }
    text += '\n';
    if (!isFullFrame(settings.appliedCrop)) {
        const QRectF &c = settings.appliedCrop;
        text += "Crop:" + generalNumber(c.x()) + ':' + generalNumber(c.y()) + ':'
                + generalNumber(c.width()) + ':' + generalNumber(c.height()) + '\n';
    }
    text += "Fps:" + generalNumber(settings.fps) + '\n';
    text += "Rotate:" + QByteArray::number(settings.rotation) + '\n';
    return text;
}

bool WriteFileAtomically(const QString &path, const QByteArray &text, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(text) != text.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

SplitsFileContent ParseSplitsFile(QIODevice &device)
{
    SplitsFileContent content;
    QTextStream in(&device);
    in.setEncoding(QStringConverter::Utf8);
    if (in.atEnd())
        return content;

    const QString first = in.readLine();
    if (first.startsWith(QLatin1String("Splits"))) {
        content.hasSolves = true;
        // Views into the line: a solve of a million marks costs no million strings.
        const QList<QStringView> parts = QStringView(first).split(u'|', Qt::KeepEmptyParts);
        for (QStringView part : parts) {
            if (part.trimmed().isEmpty())
                continue;
            const QList<QStringView> fields = part.split(u':', Qt::KeepEmptyParts);
            Marks solve;
            solve.reserve(static_cast<size_t>(fields.size()));
            for (qsizetype i = 1; i < fields.size(); ++i)
                solve.push_back(fields.at(i).toInt(nullptr, 10));  // not a number -> 0
            content.solves.push_back(std::move(solve));
        }
    }

    if (in.atEnd())
        return content;
    QString candidate = in.readLine();
    if (candidate.startsWith(QLatin1String("Crop"))) {
        const QStringList fields = candidate.split(QLatin1Char(':'));
        const std::optional<QRectF> crop =
            fields.size() == 5 ? sanitisedCrop(fields) : std::nullopt;
        if (crop) {
            content.cropLine = SplitsFileContent::Crop::Present;
            content.crop = *crop;
        } else {
            content.cropLine = SplitsFileContent::Crop::Ignored;
        }
        candidate = in.atEnd() ? QString() : in.readLine();
    }

    if (candidate.startsWith(QLatin1String("Fps"))) {
        // Unparsable text reads as 0, which the frame-rate box raises to its minimum.
        const float fps = candidate.split(QLatin1Char(':')).last().toFloat();
        if (std::isfinite(fps))
            content.fps = fps;
    }

    if (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1String("Rotate"))) {
            const int rotation = line.split(QLatin1Char(':')).last().toInt();
            if (rotation >= 0 && rotation < kRotationCount)
                content.rotation = rotation;
        }
    }
    return content;
}

SplitsFileContent ParseSplitsText(const QByteArray &text)
{
    QByteArray copy = text;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ParseSplitsFile(buffer);
}

QString SplitsPathFor(const QString &path)
{
    static const QLatin1String suffix(".splits.txt");
    return path.endsWith(suffix) ? path : path + suffix;
}

QString MarksClipboardText(const Marks &marks)
{
    QString text;
    for (int32_t mark : marks)
        text += QString::number(mark) + QLatin1Char('\n');
    return text;
}

Marks ParseClipboardMarks(const QString &text)
{
    Marks marks;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    for (const QString &line : lines) {
        bool ok = false;
        const int value = line.toInt(&ok, 10);
        if (ok)
            marks.push_back(value);
    }
    return marks;
}
