#include "micrograph/bytesource.h"

#include "core/regularfile.h"

#include <cstring>

namespace orvalis {

bool MemorySource::read(std::uint64_t offset, void *destination, std::size_t count)
{
    if (offset > m_size || count > m_size - offset)
        return false;
    if (count > 0)
        std::memcpy(destination, m_data + offset, count);
    return true;
}

FileSource::FileSource(const QString &path) : m_file(path)
{
    m_openError = openIfRegular(m_file);
    if (m_openError.isEmpty())
        m_size = static_cast<std::uint64_t>(m_file.size());
}

bool FileSource::read(std::uint64_t offset, void *destination, std::size_t count)
{
    if (offset > m_size || count > m_size - offset)
        return false;
    if (offset != m_position && !m_file.seek(static_cast<qint64>(offset)))
        return false;
    auto *to = static_cast<char *>(destination);
    std::size_t done = 0;
    while (done < count) {
        const qint64 got = m_file.read(to + done, static_cast<qint64>(count - done));
        if (got <= 0) {
            m_position = ~std::uint64_t(0); // unknown: seek before the next read
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    m_position = offset + count;
    return true;
}

} // namespace orvalis
