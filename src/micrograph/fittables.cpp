#include "micrograph/fittables.h"

#include "core/orvaliserror.h"
#include "core/regularfile.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace orvalis {
namespace {

constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void fail(const QString &path, int line, const QString &why)
{
    if (line > 0)
        throw OrvalisError(QStringLiteral("%1, line %2: %3").arg(path).arg(line).arg(why));
    throw OrvalisError(QStringLiteral("%1: %2").arg(path, why));
}

// "1 value", "9 values".
QString counted(qsizetype n, const char *word)
{
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(word)).arg(n == 1 ? QString() : QStringLiteral("s"));
}

// A cell that must be a finite number.
double number(const QString &cell, const QString &name, const QString &path, int line)
{
    bool ok = false;
    const double v = cell.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        fail(path, line, QStringLiteral("%1 is \"%2\", not a number").arg(name, inputExcerpt(cell)));
    return v;
}

std::optional<double> optionalNumber(const QString &cell, const QString &name, const QString &path, int line)
{
    if (cell.isEmpty())
        return std::nullopt;
    return number(cell, name, path, line);
}

// ---- STAR ---------------------------------------------------------------------------------------

// White space separates a STAR line's values; a value holding some is quoted.
QStringList starTokens(const QString &line)
{
    QStringList tokens;
    int i = 0;
    const int n = static_cast<int>(line.size());
    while (i < n) {
        while (i < n && line[i].isSpace())
            ++i;
        if (i >= n || line[i] == QLatin1Char('#'))
            break;
        const QChar quote = line[i];
        if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
            const int end = static_cast<int>(line.indexOf(quote, i + 1));
            if (end > i) {
                tokens << line.mid(i + 1, end - i - 1);
                i = end + 1;
                continue;
            }
        }
        int j = i;
        while (j < n && !line[j].isSpace())
            ++j;
        tokens << line.mid(i, j - i);
        i = j;
    }
    return tokens;
}

struct StarTable {
    QString block;
    QStringList labels; // without the leading "_"
    QVector<QStringList> rows;
    QVector<int> lines;

    int column(const char *label) const { return static_cast<int>(labels.indexOf(QLatin1String(label))); }
};

QVector<StarTable> starTables(const QByteArray &bytes, const QString &path)
{
    QVector<StarTable> tables;
    StarTable *current = nullptr;
    bool inLoop = false, readingLabels = false;
    const QList<QByteArray> lines = bytes.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const int lineNumber = index + 1;
        const QString line = QString::fromUtf8(lines[index]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("data_"))) {
            tables.append(StarTable{line, {}, {}, {}});
            current = &tables.last();
            inLoop = readingLabels = false;
            continue;
        }
        if (!current)
            fail(path, lineNumber, QStringLiteral("a value before the first data_ block"));
        if (line == QLatin1String("loop_")) {
            if (!current->labels.isEmpty()) // a second loop in one block: a block of its own
                tables.append(StarTable{current->block, {}, {}, {}}), current = &tables.last();
            inLoop = readingLabels = true;
            continue;
        }
        const QStringList tokens = starTokens(line);
        if (tokens.isEmpty())
            continue;
        if (tokens.first().startsWith(QLatin1Char('_'))) {
            if (inLoop && !readingLabels)
                fail(path, lineNumber, QStringLiteral("a label (%1) among the loop's rows").arg(tokens.first()));
            current->labels << tokens.first().mid(1);
            if (!inLoop) { // a block of single values: one row
                if (tokens.size() < 2)
                    fail(path, lineNumber, QStringLiteral("%1 has no value").arg(tokens.first()));
                if (current->rows.isEmpty()) {
                    current->rows.append(QStringList());
                    current->lines.append(lineNumber);
                }
                current->rows.first() << tokens[1];
            }
            continue;
        }
        if (!inLoop)
            fail(path, lineNumber, QStringLiteral("a value outside a loop_"));
        readingLabels = false;
        if (tokens.size() != current->labels.size())
            fail(path, lineNumber,
                 QStringLiteral("a row of %1 under %2")
                     .arg(counted(tokens.size(), "value"), counted(current->labels.size(), "label")));
        current->rows << tokens;
        current->lines << lineNumber;
    }
    return tables;
}

FitTable readStar(const QByteArray &bytes, const QString &path)
{
    const QVector<StarTable> tables = starTables(bytes, path);
    const StarTable *micrographs = nullptr;
    const StarTable *optics = nullptr;
    for (const StarTable &t : tables) {
        if (!micrographs && t.column("rlnMicrographName") >= 0 && t.column("rlnDefocusU") >= 0)
            micrographs = &t;
        if (!optics && t.block == QLatin1String("data_optics") && t.column("rlnOpticsGroup") >= 0)
            optics = &t;
    }
    if (!micrographs)
        fail(path, 0, QStringLiteral("no loop with _rlnMicrographName and _rlnDefocusU: not a STAR file of fits"));

    // Each group's optics and pixel size, by its number.
    struct Group {
        std::optional<TableOptics> optics;
        double pixel = 0;
    };
    QHash<QString, Group> groups;
    const auto opticsOf = [&path](const StarTable &t, int r, Group &g) {
        const QStringList &row = t.rows[r];
        const int line = t.lines[r];
        const int kv = t.column("rlnVoltage"), cs = t.column("rlnSphericalAberration"),
                  q = t.column("rlnAmplitudeContrast");
        if (kv >= 0 && cs >= 0)
            g.optics = TableOptics{number(row[kv], QStringLiteral("_rlnVoltage"), path, line),
                                   number(row[cs], QStringLiteral("_rlnSphericalAberration"), path, line),
                                   q >= 0 ? number(row[q], QStringLiteral("_rlnAmplitudeContrast"), path, line) : 0.0};
        for (const char *label : {"rlnMicrographPixelSize", "rlnImagePixelSize", "rlnMicrographOriginalPixelSize"})
            if (t.column(label) >= 0 && g.pixel <= 0)
                g.pixel = number(row[t.column(label)], QLatin1Char('_') + QLatin1String(label), path, line);
    };
    if (optics)
        for (int r = 0; r < optics->rows.size(); ++r) {
            Group g;
            opticsOf(*optics, r, g);
            groups.insert(optics->rows[r][optics->column("rlnOpticsGroup")], g);
        }

    FitTable table;
    table.path = path;
    table.format = FitTableFormat::Star;
    const StarTable &t = *micrographs;
    const int group = t.column("rlnOpticsGroup");
    const auto at = [&t](const char *label) { return t.column(label); };
    for (int r = 0; r < t.rows.size(); ++r) {
        const QStringList &row = t.rows[r];
        const int line = t.lines[r];
        const auto value = [&](const char *label) -> std::optional<double> {
            const int c = at(label);
            if (c < 0)
                return std::nullopt;
            return number(row[c], QLatin1Char('_') + QLatin1String(label), path, line);
        };
        FitTableRow f;
        f.micrograph = row[at("rlnMicrographName")];
        f.line = line;
        CryoEmDefocus d;
        d.defocusU = *value("rlnDefocusU");
        d.defocusV = value("rlnDefocusV").value_or(d.defocusU);
        d.angle = value("rlnDefocusAngle").value_or(0.0);
        f.defocus = d;
        f.phaseShift = value("rlnPhaseShift");
        f.tiltAngle = value("rlnMicrographTiltAngle");
        f.tiltAxis = value("rlnMicrographTiltAxisDirection");
        f.score = value("rlnCtfFigureOfMerit");
        f.resolution = value("rlnCtfMaxResolution");
        Group own;
        opticsOf(t, r, own); // a file without data_optics (RELION before 3.1) gives them per row
        Group g = group >= 0 ? groups.value(row[group]) : Group();
        if (group >= 0 && optics && !groups.contains(row[group]))
            fail(path, line, QStringLiteral("optics group %1 is not in data_optics").arg(row[group]));
        f.optics = own.optics ? own.optics : g.optics;
        f.pixelSize = own.pixel > 0 ? own.pixel : g.pixel;
        table.rows << f;
    }
    return table;
}

// ---- CTFFIND's text -----------------------------------------------------------------------------

enum CtffindColumn { Number, Defocus1, Defocus2, Azimuth, Phase, Correlation, Spacing, TiltAxis, TiltAngle, Thickness };

// Which of CTFFIND's quantities each column of "# Columns: #1 - micrograph number; #2 - ..." holds.
QVector<int> ctffindColumns(const QString &header)
{
    QVector<int> columns;
    static const QRegularExpression item(QStringLiteral("#\\s*(\\d+)\\s*-?\\s*([^;#]*)"));
    auto it = item.globalMatch(header.mid(header.indexOf(QLatin1Char(':')) + 1));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const int index = m.captured(1).toInt() - 1;
        const QString what = m.captured(2).toLower();
        int kind = -1;
        if (what.contains(QLatin1String("micrograph number")))
            kind = Number;
        else if (what.contains(QLatin1String("defocus 1")))
            kind = Defocus1;
        else if (what.contains(QLatin1String("defocus 2")))
            kind = Defocus2;
        else if (what.contains(QLatin1String("azimuth")))
            kind = Azimuth;
        else if (what.contains(QLatin1String("phase shift")))
            kind = Phase;
        else if (what.contains(QLatin1String("cross correlation")))
            kind = Correlation;
        else if (what.contains(QLatin1String("spacing")))
            kind = Spacing;
        else if (what.contains(QLatin1String("tilt axis")))
            kind = TiltAxis;
        else if (what.contains(QLatin1String("tilt angle")))
            kind = TiltAngle;
        else if (what.contains(QLatin1String("thickness")))
            kind = Thickness;
        if (index < 0 || index > 64)
            continue;
        if (columns.size() <= index)
            columns.resize(index + 1, -1);
        columns[index] = kind;
    }
    return columns;
}

// "key: value" out of a header line of "key: value ; key: value" pairs, the number before any unit.
std::optional<double> headerNumber(const QString &line, const QString &key)
{
    const int at = static_cast<int>(line.indexOf(key, 0, Qt::CaseInsensitive));
    if (at < 0)
        return std::nullopt;
    static const QRegularExpression value(QStringLiteral("\\s*:\\s*([-+0-9.eE]+)"));
    const QRegularExpressionMatch m = value.match(line, at + static_cast<int>(key.size()),
                                                  QRegularExpression::NormalMatch,
                                                  QRegularExpression::AnchorAtOffsetMatchOption);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

FitTable readCtffind(const QByteArray &bytes, const QString &path)
{
    FitTable table;
    table.path = path;
    table.format = FitTableFormat::CtffindText;
    QVector<int> columns;
    double pixel = 0;
    std::optional<TableOptics> optics;
    const QList<QByteArray> lines = bytes.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        const int lineNumber = index + 1;
        const QString line = QString::fromUtf8(lines[index]).trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('#'))) {
            static const QRegularExpression from(QStringLiteral("^#\\s*Output from (.+?) version ([^,\\s]+)"),
                                                 QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch m = from.match(line);
            if (m.hasMatch()) {
                QString name = m.captured(1).trimmed();
                if (name.compare(QLatin1String("ctffind"), Qt::CaseInsensitive) == 0)
                    name = QStringLiteral("CTFFIND");
                else if (name.startsWith(QLatin1String("orvalis-ctf")))
                    name = QStringLiteral("orvalis-ctf");
                table.program = name + QLatin1Char(' ') + m.captured(2);
            }
            if (line.contains(QLatin1String("Input file:"), Qt::CaseInsensitive)) {
                QString input = line.mid(line.indexOf(QLatin1String("Input file:"), 0, Qt::CaseInsensitive) + 11);
                const int end = static_cast<int>(input.indexOf(QLatin1String(" ; ")));
                table.inputFile = (end >= 0 ? input.left(end) : input).trimmed();
            }
            if (const auto p = headerNumber(line, QStringLiteral("Pixel size")))
                pixel = *p;
            const auto kv = headerNumber(line, QStringLiteral("acceleration voltage"));
            const auto cs = headerNumber(line, QStringLiteral("spherical aberration"));
            if (kv && cs)
                optics = TableOptics{*kv, *cs, headerNumber(line, QStringLiteral("amplitude contrast")).value_or(0.0)};
            if (line.startsWith(QLatin1String("# Columns:"), Qt::CaseInsensitive)) {
                columns = ctffindColumns(line);
                if (!columns.contains(Defocus1) || !columns.contains(Defocus2) || !columns.contains(Azimuth))
                    fail(path, lineNumber, QStringLiteral("the columns name no defocus 1, defocus 2 and azimuth"));
            }
            continue;
        }
        if (columns.isEmpty())
            fail(path, lineNumber, QStringLiteral("a line of values before the \"# Columns:\" header"));
        const QStringList cells = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (cells.size() != columns.size())
            fail(path, lineNumber,
                 QStringLiteral("%1 where the header names %2")
                     .arg(counted(cells.size(), "value"), counted(columns.size(), "column")));
        double values[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        bool has[10] = {false, false, false, false, false, false, false, false, false, false};
        for (int c = 0; c < cells.size(); ++c)
            if (columns[c] >= 0) {
                values[columns[c]] = number(cells[c], QStringLiteral("column %1").arg(c + 1), path, lineNumber);
                has[columns[c]] = true;
            }
        FitTableRow f;
        f.line = lineNumber;
        f.number = has[Number] ? static_cast<int>(std::lround(values[Number])) : 0;
        f.defocus = CryoEmDefocus{values[Defocus1], values[Defocus2], values[Azimuth]};
        if (has[Phase])
            f.phaseShift = values[Phase] * 180.0 / kPi;
        if (has[Correlation])
            f.score = values[Correlation];
        if (has[Spacing])
            f.resolution = values[Spacing];
        if (has[TiltAxis])
            f.tiltAxis = values[TiltAxis];
        if (has[TiltAngle])
            f.tiltAngle = values[TiltAngle];
        if (has[Thickness])
            f.thickness = values[Thickness];
        f.pixelSize = pixel;
        f.optics = optics;
        table.rows << f;
    }
    if (columns.isEmpty())
        fail(path, 0, QStringLiteral("no \"# Columns:\" header: not a CTFFIND output"));
    // A single micrograph's line is that micrograph; a stack's lines are its micrographs by number.
    for (FitTableRow &f : table.rows) {
        f.micrograph = table.inputFile;
        if (table.rows.size() == 1)
            f.number = 0;
    }
    return table;
}

// ---- our own table and JSON ---------------------------------------------------------------------

std::optional<bool> yesNo(const QString &cell, const QString &path, int line)
{
    if (cell == QLatin1String("yes"))
        return true;
    if (cell == QLatin1String("no"))
        return false;
    if (cell.isEmpty())
        return std::nullopt;
    fail(path, line, QStringLiteral("reliable is \"%1\", not yes or no").arg(inputExcerpt(cell)));
}

FitTable readOurTable(const QByteArray &bytes, const QString &path)
{
    FitTable table;
    table.path = path;
    table.format = FitTableFormat::OurTable;
    table.program = QStringLiteral("orvalis-ctf");
    const QList<QByteArray> lines = bytes.split('\n');
    const QStringList header = QString::fromUtf8(lines.value(0)).trimmed().split(QLatin1Char('\t'));
    const auto column = [&header](const char *name) { return static_cast<int>(header.indexOf(QLatin1String(name))); };
    for (const char *needed : {"micrograph", "defocus_u_A", "defocus_v_A", "angle_deg"})
        if (column(needed) < 0)
            fail(path, 1, QStringLiteral("the header has no column %1").arg(QLatin1String(needed)));
    for (int index = 1; index < lines.size(); ++index) {
        const int lineNumber = index + 1;
        QString text = QString::fromUtf8(lines[index]);
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        if (text.trimmed().isEmpty())
            continue;
        const QStringList cells = text.split(QLatin1Char('\t'));
        if (cells.size() != header.size())
            fail(path, lineNumber,
                 QStringLiteral("%1 where the header names %2")
                     .arg(counted(cells.size(), "cell"), counted(header.size(), "column")));
        const auto cell = [&](const char *name) { return column(name) >= 0 ? cells[column(name)] : QString(); };
        const auto value = [&](const char *name) {
            return optionalNumber(cell(name), QLatin1String(name), path, lineNumber);
        };
        FitTableRow f;
        f.micrograph = cell("micrograph");
        f.line = lineNumber;
        const auto u = value("defocus_u_A"), v = value("defocus_v_A"), a = value("angle_deg");
        if (u && v && a)
            f.defocus = CryoEmDefocus{*u, *v, *a};
        f.phaseShift = value("phase_shift_deg");
        f.tiltAngle = value("tilt_deg");
        f.tiltAxis = value("tilt_axis_deg");
        f.thickness = value("thickness_A");
        f.score = value("score");
        f.resolution = value("resolution_A");
        f.reliable = yesNo(cell("reliable"), path, lineNumber);
        f.pixelSize = value("pixel_A").value_or(0.0);
        table.rows << f;
    }
    return table;
}

// The line a byte offset of `bytes` lies on (from 1).
int lineAt(const QByteArray &bytes, int offset)
{
    return static_cast<int>(bytes.left(offset).count('\n')) + 1;
}

FitTable readOurJson(const QByteArray &bytes, const QString &path)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        fail(path, lineAt(bytes, error.offset), error.errorString());
    if (!doc.isArray())
        fail(path, 0, QStringLiteral("not a JSON array of fits"));
    FitTable table;
    table.path = path;
    table.format = FitTableFormat::OurJson;
    table.program = QStringLiteral("orvalis-ctf");
    // Each element's line: where its "micrograph" key stands, counted in order.
    QVector<int> lines;
    for (int at = static_cast<int>(bytes.indexOf("\"micrograph\"")); at >= 0;
         at = static_cast<int>(bytes.indexOf("\"micrograph\"", at + 1)))
        lines << lineAt(bytes, at);
    const QJsonArray array = doc.array();
    for (int i = 0; i < array.size(); ++i) {
        const int line = lines.value(i, 0);
        if (!array[i].isObject())
            fail(path, line, QStringLiteral("element %1 is not an object").arg(i + 1));
        const QJsonObject o = array[i].toObject();
        const auto value = [&](const char *key) -> std::optional<double> {
            const QJsonValue v = o.value(QLatin1String(key));
            if (v.isUndefined() || v.isNull())
                return std::nullopt;
            if (!v.isDouble())
                fail(path, line, QStringLiteral("%1 of element %2 is not a number").arg(QLatin1String(key)).arg(i + 1));
            return v.toDouble();
        };
        FitTableRow f;
        if (!o.value(QLatin1String("micrograph")).isString())
            fail(path, line, QStringLiteral("element %1 names no micrograph").arg(i + 1));
        f.micrograph = o.value(QLatin1String("micrograph")).toString();
        f.line = line;
        const auto u = value("defocusUA"), v = value("defocusVA"), a = value("angleDeg");
        if (u && v && a)
            f.defocus = CryoEmDefocus{*u, *v, *a};
        f.phaseShift = value("phaseShiftDeg");
        f.tiltAngle = value("tiltDeg");
        f.tiltAxis = value("tiltAxisDeg");
        f.thickness = value("thicknessA");
        f.score = value("score");
        f.resolution = value("resolutionA");
        if (o.value(QLatin1String("reliable")).isBool())
            f.reliable = o.value(QLatin1String("reliable")).toBool();
        f.pixelSize = value("pixelSizeA").value_or(0.0);
        table.rows << f;
    }
    return table;
}

QByteArray fixed(double v, int decimals = 6)
{
    return QByteArray::number(v, 'f', decimals);
}

} // namespace

std::optional<FitTableFormat> fitTableFormatOf(const QByteArray &head)
{
    const QByteArray text = head.trimmed();
    if (text.startsWith("micrograph\tdefocus_u_A"))
        return FitTableFormat::OurTable;
    if (text.startsWith('[') && (text.contains("\"micrograph\"") || text.mid(1).trimmed().startsWith(']')))
        return FitTableFormat::OurJson;
    if (text.contains("# Columns:") && text.contains("defocus 1"))
        return FitTableFormat::CtffindText;
    static const QRegularExpression star(QStringLiteral("(^|\\n)\\s*data_"));
    if (QString::fromUtf8(text).contains(star) && text.contains("_rln"))
        return FitTableFormat::Star;
    return std::nullopt;
}

FitTable parseFitTable(const QByteArray &bytes, const QString &path)
{
    const std::optional<FitTableFormat> format = fitTableFormatOf(bytes.left(65536));
    if (!format)
        fail(path, 0,
             QStringLiteral("not a fit table: neither a STAR file, a CTFFIND output nor orvalis-ctf fit's "
                            "table or JSON"));
    switch (*format) {
    case FitTableFormat::Star: return readStar(bytes, path);
    case FitTableFormat::CtffindText: return readCtffind(bytes, path);
    case FitTableFormat::OurTable: return readOurTable(bytes, path);
    case FitTableFormat::OurJson: return readOurJson(bytes, path);
    }
    return {};
}

FitTable readFitTable(const QString &path)
{
    QFile file(path);
    const QString problem = openIfRegular(file);
    if (!problem.isEmpty())
        fail(path, 0, problem);
    // A table of many thousand micrographs is a few megabytes; a file far larger is something else.
    if (file.size() > (qint64(256) << 20))
        fail(path, 0, QStringLiteral("larger than 256 MB: not a fit table"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        fail(path, 0, file.errorString());
    return parseFitTable(bytes, path);
}

QByteArray fitRowsStar(const QVector<FitTableRow> &rows, const QStringList &names, const TableOptics &fallbackOptics,
                       double fallbackPixel)
{
    // One optics group for each pixel size and optics, numbered in the order the rows bring them.
    QMap<QByteArray, int> groups;
    QByteArrayList groupLines;
    QVector<int> groupOf(rows.size(), 0);
    bool tilt = false;
    for (int i = 0; i < rows.size(); ++i) {
        const FitTableRow &r = rows[i];
        if (!r.defocus)
            continue;
        tilt = tilt || r.tiltAngle.has_value();
        const TableOptics o = r.optics.value_or(fallbackOptics);
        const double pixel = r.pixelSize > 0 ? r.pixelSize : fallbackPixel;
        const QByteArray key = fixed(pixel) + ' ' + fixed(pixel) + ' ' + fixed(o.voltage) + ' ' + fixed(o.cs) + ' '
            + fixed(o.amplitudeContrast);
        if (!groups.contains(key)) {
            const int number = static_cast<int>(groups.size()) + 1;
            groups.insert(key, number);
            groupLines << "opticsGroup" + QByteArray::number(number) + ' ' + QByteArray::number(number) + ' ' + key;
        }
        groupOf[i] = groups.value(key);
    }
    QByteArray out("\n# version 30001\n\ndata_optics\n\nloop_\n"
                   "_rlnOpticsGroupName #1\n_rlnOpticsGroup #2\n_rlnMicrographPixelSize #3\n"
                   "_rlnMicrographOriginalPixelSize #4\n_rlnVoltage #5\n_rlnSphericalAberration #6\n"
                   "_rlnAmplitudeContrast #7\n");
    for (const QByteArray &line : groupLines)
        out += line + '\n';
    out += "\n\n# version 30001\n\ndata_micrographs\n\nloop_\n"
           "_rlnMicrographName #1\n_rlnOpticsGroup #2\n_rlnDefocusU #3\n_rlnDefocusV #4\n"
           "_rlnCtfAstigmatism #5\n_rlnDefocusAngle #6\n_rlnPhaseShift #7\n_rlnCtfFigureOfMerit #8\n"
           "_rlnCtfMaxResolution #9\n";
    if (tilt)
        out += "_rlnMicrographTiltAngle #10\n_rlnMicrographTiltAxisDirection #11\n";
    for (int i = 0; i < rows.size(); ++i) {
        const FitTableRow &r = rows[i];
        if (!r.defocus)
            continue;
        QByteArray name = names.value(i, r.micrograph).toUtf8();
        if (name.contains(' ') || name.contains('\t'))
            name = '"' + name + '"';
        const CryoEmDefocus &d = *r.defocus;
        out += name + ' ' + QByteArray::number(groupOf[i]) + ' ' + fixed(d.defocusU) + ' ' + fixed(d.defocusV) + ' '
            + fixed(d.defocusU - d.defocusV) + ' ' + fixed(d.angle) + ' ' + fixed(r.phaseShift.value_or(0)) + ' '
            + fixed(r.score.value_or(0)) + ' ' + fixed(r.resolution.value_or(999));
        if (tilt)
            out += ' ' + fixed(r.tiltAngle.value_or(0)) + ' ' + fixed(r.tiltAxis.value_or(0));
        out += '\n';
    }
    return out + '\n';
}

} // namespace orvalis
