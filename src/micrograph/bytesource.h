#pragma once
// Where a reader takes its bytes from: a file, read in pieces as they are needed, or bytes already in
// memory. Both tell their size before anything is read, so a header can be checked against it.
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace orvalis {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Copies `count` bytes from `offset`; false when the source has fewer or cannot be read.
    virtual bool read(std::uint64_t offset, void *destination, std::size_t count) = 0;
    // The whole contents when they are in memory, else nullptr.
    virtual const unsigned char *bytes() const { return nullptr; }
    // What is wrong after a failed read (for files, the system's text).
    virtual QString errorText() const { return {}; }
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void *data, std::size_t size) : m_data(static_cast<const unsigned char *>(data)), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, void *destination, std::size_t count) override;
    const unsigned char *bytes() const override { return m_data; }

private:
    const unsigned char *m_data;
    std::size_t m_size;
};

class FileSource : public ByteSource {
public:
    // Opens `path` for reading when it is a regular file: a FIFO, device or folder is never opened
    // in a way that could wait or read without end. Check isOpen() and openError().
    explicit FileSource(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    // Why the file is not open ("It is a FIFO (named pipe), not a regular file." or the system's
    // reason).
    QString openError() const { return m_openError; }
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, void *destination, std::size_t count) override;
    QString errorText() const override { return m_file.errorString(); }

private:
    QFile m_file;
    QString m_openError;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
};

} // namespace orvalis
