#pragma once
// Reads saved files back with other programs, as a user's other software would open them: the
// metafile converters emf2svg-conv and wmf2svg, and pdftotext.
#include "chart/chartexport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

} // namespace orvalis::test
