#include "TextRecognition.h"

#include "FramePipeline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <tesseract/baseapi.h>


namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TextRecognizer", text);
}

constexpr char kLanguage[] = "eng";

bool holdsEnglish(const QString &directory)
{
    return QFileInfo(directory + QStringLiteral("/eng.traineddata")).isFile();
}

// Where Tesseract looks when it is given no folder, as the user can tell.
QString tesseractsOwnLocation()
{
    const QByteArray prefix = qgetenv("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        return QDir::toNativeSeparators(QFile::decodeName(prefix)) + QStringLiteral(" (TESSDATA_PREFIX)");
    return tr("Tesseract's own folder");
}

}  // namespace

cv::Mat SelectionImage(const cv::Mat &processed, const QRectF &selection)
{
    if (processed.empty())
        return {};
    if (!(selection.width() > 0.0) || !(selection.height() > 0.0))
        return processed;
    const cv::Rect inside = cropPixelRect(processed.size(), selection);
    if (inside.empty())
        return {};
    return processed(inside).clone();
}

TextRecognizer::TextRecognizer() = default;

TextRecognizer::~TextRecognizer()
{
    if (engine)
        engine->End();
}

QStringList TextRecognizer::searchedLocations(const QString &applicationDir)
{
    return {QDir::toNativeSeparators(applicationDir + QStringLiteral("/tessdata")),
            QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/tessdata")), tesseractsOwnLocation()};
}

QByteArray TextRecognizer::engineVersion()
{
    return QByteArray(tesseract::TessBaseAPI::Version());
}

bool TextRecognizer::start(const QString &applicationDir, QString *error)
{
    if (started)
        return true;
    if (!engine)
        engine = std::make_unique<tesseract::TessBaseAPI>();
    // The two folders of our own only when they hold the English data, so
    // that a tessdata folder with other languages does not hide Tesseract's.
    QString chosen;
    const QStringList ours = {applicationDir + QStringLiteral("/tessdata"), QDir::homePath() + QStringLiteral("/tessdata")};
    for (const QString &candidate : ours) {
        if (QDir::isAbsolutePath(candidate) && holdsEnglish(candidate)) {
            chosen = QDir::cleanPath(candidate);
            break;
        }
    }
    const QByteArray path = QFile::encodeName(chosen);
    bool ok = engine->Init(chosen.isEmpty() ? nullptr : path.constData(), kLanguage, tesseract::OEM_DEFAULT) == 0;
    if (ok && chosen.isEmpty()) {
        // Tesseract's own folder, unless that is relative to the current
        // directory (a relative TESSDATA_PREFIX, or a build of Tesseract
        // without a folder of its own).
        chosen = QFile::decodeName(engine->GetDatapath());
        if (!QDir::isAbsolutePath(chosen)) {
            engine->End();
            ok = false;
        }
    }
    if (!ok) {
        // Nothing is kept: the next recognition tries again.
        engine.reset();
        if (error) {
            const QStringList places = searchedLocations(applicationDir);
            *error = tr("OCR: no English language data found (looked in %1)").arg(places.join(QStringLiteral(", ")));
        }
        return false;
    }
    started = true;
    directory = QDir::cleanPath(chosen);
    return true;
}

QString TextRecognizer::recognise(const cv::Mat &image)
{
    if (!started || image.empty() || image.depth() != CV_8U || image.dims != 2)
        return {};
    const int channels = image.channels();
    if (channels != 1 && channels != 3 && channels != 4)
        return {};
    engine->SetImage(image.data, image.cols, image.rows, channels, int(image.step[0]));
    if (engine->Recognize(nullptr) != 0) {
        engine->Clear();
        return {};
    }
    const std::unique_ptr<char[]> text(engine->GetUTF8Text());
    engine->Clear();
    return text ? QString::fromUtf8(text.get()).simplified() : QString();
}
