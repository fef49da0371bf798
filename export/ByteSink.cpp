#include "ByteSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ByteSink", text);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

bool ByteSink::write(const uint8_t *data, size_t size)
{
    if (!failure.isEmpty())
        return false;
    if (finished) {
        failure = tr("The output was written to after it was complete.");
        return false;
    }
    if (size == 0)
        return true;
    failure = writeBytes(data, size);
    return failure.isEmpty();
}

bool ByteSink::putLittle16(unsigned value)
{
    const uint8_t bytes[2] = {uint8_t(value & 0xff), uint8_t((value >> 8) & 0xff)};
    return write(bytes, 2);
}

bool ByteSink::finish()
{
    if (finished)
        return ok();
    finished = true;
    const QString reason = finishBytes();
    if (failure.isEmpty())
        failure = reason;
    return failure.isEmpty();
}

void ByteSink::fail(const QString &reason)
{
    if (failure.isEmpty())
        failure = reason;
}

QString MemoryByteSink::writeBytes(const uint8_t *bytes, size_t size)
{
    data.insert(data.end(), bytes, bytes + size);
    return QString();
}

FileByteSink::FileByteSink(const QString &path)
    : shownPath(QDir::toNativeSeparators(path))
{
    errno = 0;
    stream.reset(std::fopen(QFile::encodeName(path).constData(), "wb"));
    if (!stream)
        fail(tr("%1 cannot be created: %2.").arg(shownPath, systemReason(errno)));
}

FileByteSink::~FileByteSink() = default;

QString FileByteSink::writeBytes(const uint8_t *data, size_t size)
{
    if (!stream)
        return tr("%1 is not open.").arg(shownPath);
    errno = 0;
    if (std::fwrite(data, 1, size, stream.get()) != size)
        return tr("%1 cannot be written: %2.").arg(shownPath, systemReason(errno ? errno : EIO));
    return QString();
}

QString FileByteSink::finishBytes()
{
    if (!stream)
        return tr("%1 is not open.").arg(shownPath);
    errno = 0;
    const bool flushed = std::fflush(stream.get()) == 0;
    const int flushError = errno;
    errno = 0;
    const bool closed = std::fclose(stream.release()) == 0;
    const int closeError = errno;
    if (!flushed || !closed)
        return tr("%1 cannot be written: %2.").arg(shownPath, systemReason(!flushed ? flushError : closeError));
    return QString();
}
