#include "curvetable.h"

#include "core/defocusmap.h"
#include "core/numberformat.h"

namespace orvalis {
namespace {

void appendNumber(QByteArray &out, double value)
{
    char buf[kGeneralTextMax];
    out.append(buf, writeGeneral(buf, value));
}

constexpr char kLineEnd[] = "\r\n";

} // namespace

const QStringList &curveSeriesTitles()
{
    static const QStringList titles{QStringLiteral("CTF"),
                                    QStringLiteral("Temporal Envelope"),
                                    QStringLiteral("Spatial Envelope"),
                                    QStringLiteral("Combined Envelope"),
                                    QStringLiteral("Temporal Envelope 2"),
                                    QStringLiteral("Spatial Envelope 2"),
                                    QStringLiteral("Combined Envelope 2"),
                                    QStringLiteral("CTF 2")};
    return titles;
}

QByteArray curveTableText(const QVector<CurveSeries> &series)
{
    QByteArray header("k");
    QByteArray body;
    const int points = series.isEmpty() ? 0 : static_cast<int>(series.first().x.size());
    body.reserve(points * (1 + static_cast<int>(series.size())) * 20);
    for (int i = 0; i < points; ++i) {
        appendNumber(body, series.first().x[i]);
        for (const CurveSeries &s : series) {
            if (i >= s.y.size())
                continue;
            body.append('\t');
            appendNumber(body, s.y[i]);
            if (i == 0)
                header.append('\t').append(s.title.toUtf8());
        }
        body.append(kLineEnd);
    }
    return header + kLineEnd + body;
}

QByteArray defocusMapTableText(const OpticsState &state, int width, int minimum, int maximum, double upTo,
                               bool relionSign)
{
    QByteArray out("defocus\\k");
    if (width < 1 || width > kMaxDefocusMapWidth)
        return out + kLineEnd;
    normaliseDefocusMapRange(minimum, maximum);
    QVector<double> k(width);
    for (int c = 0; c < width; ++c) {
        k[c] = defocusMapFrequency(c, width, upTo);
        out.append('\t');
        appendNumber(out, k[c]);
    }
    out.append(kLineEnd);
    out.reserve(out.size() + (width + 1) * width * 24);
    for (int y = 0; y < width; ++y) {
        const double defocus = defocusMapDefocus(y, width, minimum, maximum);
        appendNumber(out, defocus);
        for (int c = 0; c < width; ++c) {
            out.append('\t');
            const double ctf = referenceMapCtf(state, k[c], defocus);
            appendNumber(out, relionSign ? 0.0 - ctf : ctf); // a zero stays "0"
        }
        out.append(kLineEnd);
    }
    return out;
}

} // namespace orvalis
