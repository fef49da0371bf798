#include "TestMedia.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace testmedia {

namespace {

constexpr int kBits = 16;
constexpr int kGrid = 4;  // 4 x 4 blocks

// Block (col, row) of the grid, leaving a margin so that scaling and
// chroma subsampling do not blur neighbouring blocks into each other.
cv::Rect blockRect(int bit, int width, int height)
{
    const int col = bit % kGrid;
    const int row = bit / kGrid;
    const int bw = width / kGrid;
    const int bh = height / kGrid;
    return {col * bw, row * bh, bw, bh};
}

}  // namespace

cv::Mat indexFrame(int index, int width, int height)
{
    cv::Mat frame(height, width, CV_8UC3, cv::Scalar(128, 128, 128));
    for (int bit = 0; bit < kBits; ++bit) {
        const cv::Rect r = blockRect(bit, width, height);
        const cv::Rect inner(r.x + r.width / 8, r.y + r.height / 8, r.width * 3 / 4, r.height * 3 / 4);
        const int value = (index >> bit) & 1 ? 240 : 16;
        frame(inner).setTo(cv::Scalar(value, value, value));
    }
    return frame;
}

int readIndex(const cv::Mat &frame)
{
    if (frame.empty() || frame.cols < kGrid * 4 || frame.rows < kGrid * 4)
        return -1;
    cv::Mat grey;
    if (frame.channels() == 3)
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
    else if (frame.channels() == 4)
        cv::cvtColor(frame, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = frame;
    int index = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const cv::Rect r = blockRect(bit, frame.cols, frame.rows);
        const cv::Rect centre(r.x + r.width * 3 / 8, r.y + r.height * 3 / 8, r.width / 4, r.height / 4);
        const double mean = cv::mean(grey(centre))[0];
        if (mean > 180)
            index |= 1 << bit;
        else if (mean > 70)
            return -1;  // neither black nor white: not an index frame
    }
    return index;
}

bool haveFfmpeg()
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-version")});
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::optional<QString> writeClip(const QString &dir, const ClipOptions &options, QString *error)
{
    const QString path = QDir(dir).filePath(options.fileName);
    QStringList args = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                        QStringLiteral("-y")};
    if (options.audioFirst) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi");
        if (options.audioSeconds > 0)
            args << QStringLiteral("-t") << QString::number(options.audioSeconds);
        args << QStringLiteral("-i") << QStringLiteral("anullsrc=r=8000:cl=mono");
    }
    args << QStringLiteral("-f") << QStringLiteral("rawvideo") << QStringLiteral("-pix_fmt") << QStringLiteral("bgr24")
         << QStringLiteral("-s") << QStringLiteral("%1x%2").arg(options.width).arg(options.height)
         << QStringLiteral("-r") << QString::number(options.fps) << QStringLiteral("-i") << QStringLiteral("-");
    if (options.audioFirst) {
        args << QStringLiteral("-map") << QStringLiteral("0:a") << QStringLiteral("-map") << QStringLiteral("1:v")
             << QStringLiteral("-c:a") << QStringLiteral("aac");
        // Without a length of its own the audio ends with the video.
        if (options.audioSeconds <= 0)
            args << QStringLiteral("-shortest");
    }
    args << options.codecArgs << path;

    QProcess process;
    process.start(QStringLiteral("ffmpeg"), args);
    if (!process.waitForStarted(10000)) {
        if (error)
            *error = QStringLiteral("ffmpeg could not be started");
        return std::nullopt;
    }
    for (int i = 0; i < options.frames; ++i) {
        const cv::Mat frame = indexFrame(i, options.width, options.height);
        process.write(reinterpret_cast<const char *>(frame.data), qint64(frame.total() * frame.elemSize()));
        process.waitForBytesWritten(-1);
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(process.readAllStandardError());
        return std::nullopt;
    }
    return path;
}

std::optional<QString> writeTextClip(const QString &dir, const TextClipOptions &options, QString *error)
{
    const QString font = QString::fromLatin1(kTextFont);
    if (!QFileInfo(font).isFile()) {
        if (error)
            *error = QStringLiteral("the font %1 is missing (fonts-dejavu-core)").arg(font);
        return std::nullopt;
    }
    QStringList filters;
    for (const QRect &panel : options.panels)
        filters << QStringLiteral("drawbox=x=%1:y=%2:w=%3:h=%4:color=white:t=fill")
                       .arg(panel.x())
                       .arg(panel.y())
                       .arg(panel.width())
                       .arg(panel.height());
    for (const ClipText &line : options.texts) {
        const QString shown = line.lastFrame < 0 ? QStringLiteral("gte(n,%1)").arg(line.firstFrame)
                                                 : QStringLiteral("between(n,%1,%2)").arg(line.firstFrame).arg(line.lastFrame);
        filters << QStringLiteral("drawtext=fontfile=%1:text='%2':fontsize=%3:fontcolor=black:x=%4:y=%5:enable='%6'")
                       .arg(font, line.text)
                       .arg(line.size)
                       .arg(line.x)
                       .arg(line.y)
                       .arg(shown);
    }
    if (filters.isEmpty())
        filters << QStringLiteral("null");
    const QString path = QDir(dir).filePath(options.fileName);
    const QStringList args = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                              QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                              QStringLiteral("color=%1:size=%2x%3:rate=%4")
                                  .arg(options.background)
                                  .arg(options.width)
                                  .arg(options.height)
                                  .arg(options.fps),
                              QStringLiteral("-frames:v"), QString::number(options.frames), QStringLiteral("-vf"),
                              filters.join(QLatin1Char(',')), QStringLiteral("-c:v"), QStringLiteral("mjpeg"),
                              QStringLiteral("-q:v"), QStringLiteral("2"), path};
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("ffmpeg failed: %1").arg(QString::fromLocal8Bit(process.readAllStandardError()));
        return std::nullopt;
    }
    return path;
}

QStringList writeImageSequence(const QString &dir, const QString &prefix, int first, int count,
                               const QString &extension, int digitWidth, int width, int height)
{
    QStringList paths;
    for (int i = first; i < first + count; ++i) {
        const QString number = digitWidth > 0 ? QStringLiteral("%1").arg(i, digitWidth, 10, QLatin1Char('0'))
                                              : QString::number(i);
        const QString path = QDir(dir).filePath(prefix + number + QLatin1Char('.') + extension);
        cv::imwrite(path.toStdString(), indexFrame(i, width, height));
        paths << path;
    }
    return paths;
}

}  // namespace testmedia
