#pragma once
// Reads saved files back with other programs, as a user's other software would open them: the
// metafile converters emf2svg-conv and wmf2svg, LibreOffice (in which Linux users open metafiles),
// and pdftotext.
#include "chart/chartexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace orvalis::test {

// The program's standard output, or "FAILED: " and its error output.
inline QString run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("FAILED: ") + QString::fromLocal8Bit(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The SVG a converter made of a metafile.
inline QString convertedSvg(const QString &metafile, ChartFileFormat format, const QString &svgPath)
{
    const QString log = format == ChartFileFormat::Emf
        ? run(QStringLiteral("emf2svg-conv"), {QStringLiteral("-i"), metafile, QStringLiteral("-o"), svgPath})
        : run(QStringLiteral("wmf2svg"), {QStringLiteral("-o"), svgPath, metafile});
    if (log.startsWith(QLatin1String("FAILED")))
        return log;
    QFile f(svgPath);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("FAILED: no output");
}

// Text elements' contents, whatever markup the converter puts around them.
inline QString textOf(const QString &svg)
{
    QString out;
    static const QRegularExpression text(QStringLiteral("<(?:svg:)?text[^>]*>(.*?)</(?:svg:)?text>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    for (auto it = text.globalMatch(svg); it.hasNext();)
        out += it.next()
                   .captured(1)
                   .replace(QLatin1String("<![CDATA["), QString())
                   .replace(QLatin1String("]]>"), QString())
                   .remove(tags)
            + u'\n';
    return out;
}

// Lines and paths long enough to be a sampled curve (a few hundred points), of the given colour in
// the converter's notation when one is given.
inline int curveCount(const QString &svg, const QString &colour = {})
{
    static const QRegularExpression element(QStringLiteral("<(?:svg:)?(polyline|path)[^>]*>"));
    int curves = 0;
    for (auto it = element.globalMatch(svg); it.hasNext();) {
        const QString e = it.next().captured(0);
        if (e.size() > 2000 && (colour.isEmpty() || e.contains(colour, Qt::CaseInsensitive)))
            ++curves;
    }
    return curves;
}

// What LibreOffice draws of a metafile: the page it places the picture on, as PNG at 96 dpi.
// Empty, with `why` set, when LibreOffice is not installed or fails. Each call starts its own
// LibreOffice with a profile in `workFolder`, so that tests running at once do not meet.
inline QImage libreOfficePage(const QString &metafile, const QString &workFolder, QString &why)
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
        why = QStringLiteral("LibreOffice (soffice) is not installed");
        return {};
    }
    const QString out = QDir(workFolder).filePath(QStringLiteral("office-") + QFileInfo(metafile).suffix());
    const QString log = run(QStringLiteral("soffice"),
                            {QStringLiteral("-env:UserInstallation=file://") + QDir(workFolder).filePath("profile"),
                             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("png"),
                             QStringLiteral("--outdir"), out, metafile});
    const QImage page(QDir(out).filePath(QFileInfo(metafile).completeBaseName() + QStringLiteral(".png")));
    if (page.isNull())
        why = QStringLiteral("LibreOffice drew nothing: ") + log;
    return page.convertToFormat(QImage::Format_RGB32);
}

// Whether `a` has a colour near `c` within one pixel of (x, y).
inline bool hasNear(const QImage &a, int x, int y, QRgb c)
{
    constexpr int kTolerance = 64; // per channel: the readers smooth edges and text their own way
    for (int yy = std::max(0, y - 1); yy <= std::min(a.height() - 1, y + 1); ++yy)
        for (int xx = std::max(0, x - 1); xx <= std::min(a.width() - 1, x + 1); ++xx) {
            const QRgb p = a.pixel(xx, yy);
            if (std::abs(qRed(p) - qRed(c)) <= kTolerance && std::abs(qGreen(p) - qGreen(c)) <= kTolerance
                && std::abs(qBlue(p) - qBlue(c)) <= kTolerance)
                return true;
        }
    return false;
}

// The share of pixels, in either picture, whose colour the other picture has nowhere within a pixel
// of the same place: 0 for the same picture. `page` holds the picture at its centre, as LibreOffice
// places it; a pixel either way is allowed for its rounding.
inline double mismatchOnPage(const QImage &shown, const QImage &page)
{
    const QImage a = shown.convertToFormat(QImage::Format_RGB32);
    const QPoint centre((page.width() - a.width()) / 2, (page.height() - a.height()) / 2);
    double best = 1;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QImage b = page.copy(QRect(centre + QPoint(dx, dy), a.size()));
            qint64 missing = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    missing += !hasNear(b, x, y, a.pixel(x, y)) + !hasNear(a, x, y, b.pixel(x, y));
            best = std::min(best, missing / (2.0 * a.width() * a.height()));
        }
    return best;
}

} // namespace orvalis::test
