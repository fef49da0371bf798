#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

// Where an encoder's bytes go. A sink remembers its first failure: once a
// write has failed, every later write fails too, so that a writer can check
// once at the end of a block instead of after every byte.
class ByteSink
{
public:
    virtual ~ByteSink() = default;

    // Appends `size` bytes; false once anything failed to be written.
    bool write(const uint8_t *data, size_t size);
    bool put(uint8_t byte) { return write(&byte, 1); }
    // Writes a 16-bit number, least significant byte first.
    bool putLittle16(unsigned value);
    // Completes the output (a file is flushed and closed); false if it or any
    // earlier write failed. Later writes fail.
    bool finish();

    bool ok() const { return failure.isEmpty(); }
    // The first failure, as a sentence; empty while all is well.
    QString errorString() const { return failure; }

protected:
    // Writes all of the bytes, or returns a reason why not.
    virtual QString writeBytes(const uint8_t *data, size_t size) = 0;
    virtual QString finishBytes() { return QString(); }
    // Records a failure that happened outside a write (opening a file).
    void fail(const QString &reason);

private:
    QString failure;
    bool finished = false;
};

// Keeps the bytes in memory (tests, and anything that wants the file in one piece).
class MemoryByteSink : public ByteSink
{
public:
    const std::vector<uint8_t> &bytes() const { return data; }

protected:
    QString writeBytes(const uint8_t *bytes, size_t size) override;

private:
    std::vector<uint8_t> data;
};

// Writes to a file through a buffered stream; a full disk or a file size
// limit shows as a failed write or a failed finish.
class FileByteSink : public ByteSink
{
public:
    // Creates (or truncates) `path`; check `ok()` for whether it could.
    explicit FileByteSink(const QString &path);
    ~FileByteSink() override;

protected:
    QString writeBytes(const uint8_t *data, size_t size) override;
    QString finishBytes() override;

private:
    struct FileCloser
    {
        void operator()(std::FILE *file) const noexcept { std::fclose(file); }
    };
    QString shownPath;
    std::unique_ptr<std::FILE, FileCloser> stream;
};
