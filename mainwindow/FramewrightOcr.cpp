// The window's text recognition: the selection is cut from the processed
// frame here, read on the runner's worker thread, and the answer lands on
// the clipboard.

#include "Framewright.h"

#include "FrameCursor.h"
#include "OcrRunner.h"
#include "TextRecognition.h"
#include "ui_FramewrightWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QStatusBar>

namespace {

constexpr int kOcrMessageMs = 10000;

}  // namespace

void Framewright::on_actionOCR_from_selection_triggered()
{
    const cv::Mat processed = player->processedFrame;
    if (processed.empty())
        return;
    // Without a selection the image is the processed frame itself, which the
    // player replaces but never draws into; the worker keeps its reference.
    const cv::Mat image = SelectionImage(processed, ui->displayWidget->editCrop);
    if (image.empty()) {
        ShowNotice(tr("OCR: the selection holds no whole pixel"));
        return;
    }
    if (!ocr) {
        ocr = std::make_unique<OcrRunner>(QCoreApplication::applicationDirPath());
        connect(ocr.get(), &OcrRunner::recognised, this, [this](const QString &text) {
            QGuiApplication::restoreOverrideCursor();
            // Nothing read: the clipboard keeps what the user had put there.
            if (text.isEmpty()) {
                ShowMessage(tr("OCR: no text found"));
                return;
            }
            QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
            ShowMessage(tr("OCR"));
        });
        connect(ocr.get(), &OcrRunner::failed, this, [this](const QString &reason) {
            QGuiApplication::restoreOverrideCursor();
            // The clipboard keeps what it held.
            ShowMessage(tr("OCR: no English language data found"));
            statusBar()->showMessage(reason, kOcrMessageMs);
        });
    }
    if (!ocr->recognise(image)) {
        ShowMessage(tr("OCR busy"));
        return;
    }
    // The window keeps painting and answering; the cursor says it is reading.
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}
