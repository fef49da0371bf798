#include "CliIo.h"

#include <cstdio>

namespace cli {

const char kUsage[] =
    "Usage:\n"
    "  framewright-cli calc MODE [FILE]\n"
    "      MODE: cross, f2l, ll or moves. Prints the calculator's answer rows\n"
    "      for the reconstruction rows in FILE (or standard input).\n"
    "  framewright-cli db FILE [--puzzle Any|3x3|OH] [--method Any|CFOP|Roux|ZZ|Mehta|Petrus]\n"
    "                  [--solver NAME] [--filter TYPE:PARAM] [--no-moves] (--list | --stats | --table)\n"
    "                  [--charts DIR [--current N]]\n"
    "      Loads a solve database, applies the filters and prints the solve\n"
    "      list, the summary line or the solve table.\n"
    "      TYPE: Time, Cross, Skip or PLL; PARAM: an entry of that filter.\n"
    "      --charts writes the statistics panel's six charts into DIR (times.png,\n"
    "      tps.png, movecount.png, cfop-splits.png, time-tps.png, time-movecount.png),\n"
    "      marking the solve in row N of the list (from 0) with --current.\n"
    "  framewright-cli db-convert [FILE]\n"
    "      Converts a solve table copied from the solve database's web site\n"
    "      into database columns.\n"
    "  framewright-cli probe FILE [--source auto|capture|ffmpeg|images]\n"
    "      Prints the frame count, frame rate and size the frame source reports\n"
    "      and whether the frame rate varies (vfr=1).\n"
    "  framewright-cli frame FILE INDEX -o OUT.png [--source ...] [--rotate 0-5]\n"
    "                  [--crop X,Y,W,H] [--brightness 0-200] [--enhance 0-4] [--upsample 0-6]\n"
    "      Seeks to frame INDEX (0-based), processes it and writes it as PNG;\n"
    "      prints the source's position after the read.\n"
    "  framewright-cli frames FILE [--source ...] [--start N] [--count K] [--step S]\n"
    "                  [--dump DIR] [--quiet]\n"
    "      Reads K frames from N, moving S frames between reads as the main\n"
    "      window's steps do; prints the position and a pixel hash per frame.\n"
    "  framewright-cli frames FILE (--at I,J,... | --marks) [--source ...] [--dump DIR] [--quiet]\n"
    "      Seeks to each listed frame index (0-based), or to the frame of every\n"
    "      mark in FILE.splits.txt, and prints what the sequential reads print;\n"
    "      --quiet prints the count and the seek + read times instead.\n"
    "  framewright-cli gif FILE -o OUT.gif [--start N] [--count K] [--width W] [--delay D]\n"
    "                  [--source ...] [--rotate 0-5] [--crop X,Y,W,H] [--brightness 0-200]\n"
    "                  [--enhance 0-4] [--upsample 0-6]\n"
    "      Writes frames N to N+K-1 (0-based; defaults 0 and 10), processed and\n"
    "      scaled to W pixels wide (default 200), as a looping GIF with D\n"
    "      hundredths of a second per frame (default 30; 0 does not loop).\n"
    "      Frames already W wide are not scaled; past the last frame it goes on\n"
    "      from the first.\n"
    "  framewright-cli export FILE -o OUT.mp4 [--range all|solve:S|split:S:K] [--reverse]\n"
    "                  [--size 0-6] [--fps 25|source] [--source ...] [--rotate ...] [--crop ...]\n"
    "                  [--brightness ...] [--enhance ...] [--upsample ...]\n"
    "      Writes frames of FILE through the processing pipeline as an MP4 video\n"
    "      (H.264, else MPEG-4 part 2): the whole video, solve S's first to last\n"
    "      mark or its split K, from FILE.splits.txt (S and K from 1), in reverse\n"
    "      with --reverse. --size: 0 unchanged, 1 half, 2 quarter, 3/4/5 1200/800/480\n"
    "      wide, 6 800 high (odd sides lose a pixel). Prints frames=, size=, codec=, fps=.\n"
    "  framewright-cli ocr FILE INDEX [--select X,Y,W,H] [--source ...] [--rotate ...]\n"
    "                  [--crop ...] [--brightness ...] [--enhance ...] [--upsample ...]\n"
    "      Prints the text Tesseract reads in frame INDEX (0-based) after processing,\n"
    "      on one line: in the part --select gives (fractions of the processed\n"
    "      frame, as drawn in the window; W or H 0: the whole frame), else the whole\n"
    "      processed frame (--crop picks a part of the video first).\n"
    "  framewright-cli --help | --version\n";

void writeOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int usageError(const QString &message)
{
    writeErr(QStringLiteral("framewright-cli: ") + message + QLatin1Char('\n')
             + QString::fromLatin1(kUsage));
    return kExitUsage;
}

int failure(const QString &message)
{
    writeErr(QStringLiteral("framewright-cli: ") + message + QLatin1Char('\n'));
    return kExitFailure;
}

}  // namespace cli
