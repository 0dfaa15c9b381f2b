#include "store/codepage1252.h"

namespace orvalis {
namespace {

// The characters of the bytes 0x80 to 0x9F; every other byte is its own code point.
constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                               0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                               0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = QChar(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b));
    }
    return text;
}

bool appendWindows1252(QStringView text, QByteArray &out)
{
    bool all = true;
    out.reserve(out.size() + text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += char(u);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32 && found < 0; ++i)
            if (high[i] == u)
                found = i;
        if (found < 0) {
            out += '?';
            all = false;
        } else {
            out += char(0x80 + found);
        }
    }
    return all;
}

} // namespace orvalis
