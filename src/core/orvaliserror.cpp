#include "orvaliserror.h"

namespace orvalis {
namespace {

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == u'\u0085' || c == QChar::LineSeparator
        || c == QChar::ParagraphSeparator;
}

} // namespace

QString inputExcerpt(const QString &text)
{
    const QChar ellipsis(0x2026);
    qsizetype end = 0;
    while (end < text.size() && !isLineBreak(text[end]))
        ++end;
    const bool cut = end < text.size();
    if (end <= kInputExcerptMax)
        return cut ? text.left(end) + ellipsis : text;
    // Neither half may end or begin inside a surrogate pair.
    qsizetype head = kInputExcerptMax / 2;
    if (text[head - 1].isHighSurrogate())
        --head;
    qsizetype tail = end - (kInputExcerptMax - 1 - kInputExcerptMax / 2);
    if (text[tail].isLowSurrogate())
        ++tail;
    return text.left(head) + ellipsis + text.mid(tail, end - tail) + (cut ? QString(ellipsis) : QString());
}

} // namespace orvalis
