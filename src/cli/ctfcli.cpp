#include "cli/ctfcli.h"
#include "cli/micrographcommands.h"
#include "cli/seriescommands.h"

#include "core/buildinfo.h"
#include "core/curvetable.h"
#include "core/infotext.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/orvaliserror.h"
#include "core/scopedata.h"
#include "core/specimenterms.h"
#include "core/units.h"
#include "store/regexport.h"
#include "store/regfiles.h"
#include "store/regimporter.h"
#include "store/scopelibrary.h"
#include "store/storedatabase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSize>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

namespace orvalis::cli {
namespace {

const QString programName = QStringLiteral("orvalis-ctf");

// One line: the messages of the lower layers may come in several.
QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(": "));
    text.replace(QLatin1Char('\n'), QStringLiteral(": "));
    return text;
}

const char mainHelp[] = R"(Usage: orvalis-ctf COMMAND [options]

The contrast transfer function of a transmission electron microscope, computed as the Orvalis window
computes it, without a window.

Commands:
  curve      print the 1D curves as a table (the columns Save 1D writes)
  info       print the derived values: wavelength, focal spread, Scherzer defoci, resolution
  pattern    save the 2D pattern (--out F.bmp or F.png)
  map        save the defocus map (--out F.bmp, F.png or F.txt)
  chart      save the 1D chart (--out F.png, F.svg, F.pdf, F.emf or F.wmf); pattern, map and chart
             with --figure: a figure for a paper (F.png, F.tif, F.svg or F.pdf; see COMMAND --help)
  library    list, show, import or export the microscope library
  spectrum   save a micrograph's power spectrum (--out F.mrc, F.tif or F.png)
  average    print the rotational average of a micrograph's power spectrum
  fit        fit the CTF to micrographs: defocus, astigmatism, phase shift (TSV, JSON, STAR, CTFFIND text;
             --diagnostics DIR: each fit's pictures)
  fit-series fit the CTF to every tilt of a tomographic tilt series at its known tilt (IMOD defocus
             file, CTFFIND text, RELION 5 STAR)

Options:
  -h, --help  this text; "orvalis-ctf COMMAND --help" shows a command's options
  --version   the version

Exit status: 0 done, 1 a file or stream could not be read or written, 2 the command line was refused,
3 (fit, average, fit-series) a micrograph or tilt gave no reliable fit, 130 or 143 (fit, fit-series)
interrupted by SIGINT or SIGTERM.
)";

struct Opt {
    const char *name;
    const char *valueName; // nullptr for a switch
    const char *description;
};

const Opt stateOptions[] = {
    {"scope", "COMPANY/MODEL", "the instrument: an entry of the microscope library"},
    {"kv", "KV", "accelerating voltage, kV (replaces the instrument's)"},
    {"cs", "MM", "spherical aberration constant, mm"},
    {"cc", "MM", "chromatic aberration constant, mm"},
    {"energy-spread", "EV", "energy spread, eV"},
    {"ripple", "PPM", "high-tension ripple dV/V, ppm"},
    {"instability", "PPM", "objective lens current instability dI/I, ppm"},
    {"convergence", "MRAD", "the instrument's illumination convergence semi-angle, mrad"},
    {"defocus", "NM", "defocus, nm, negative for underfocus (default: the extended Scherzer defocus)"},
    {"a2", "NM", "two-fold astigmatism, nm (default 0)"},
    {"a3", "NM", "three-fold astigmatism, nm (default 0)"},
    {"c5", "MM", "fifth-order spherical aberration, mm (default: the instrument's; 0 for an entry without it)"},
    {"a2-azimuth", "DEG",
     "azimuth of the two-fold astigmatism (its most underfocus) from the kx axis, degrees (default 0)"},
    {"a3-azimuth", "DEG", "azimuth of the three-fold astigmatism, degrees (default 0)"},
    {"amplitude-contrast", "Q", "amplitude contrast fraction, 0 to below 1 (default 0)"},
    {"phase-shift", "DEG", "phase shift of a phase plate, degrees (default 0)"},
    {"b-factor", "A2", "B-factor, Å² (default 0)"},
    {"pixel-size", "A", "the detector's pixel size at the specimen, Å (default 0: no detector)"},
    {"direction", "DEG", "direction of the 1D profile from the kx axis, degrees (default 0)"},
    {"magnification-position", "P",
     "position 14 .. 39 of the magnification slider (default 35: the instrument's "
     "convergence)"},
    {"alpha", "MRAD", "convergence semi-angle in use, mrad, instead of a magnification position"},
    {"upto", "K", "highest spatial frequency shown, nm^-1, 0 .. 1000 (default 10)"},
    {"samples", "full|coarse", "full sampling (default), or the coarse sampling of a slider being dragged"},
    {"envelopes", "LIST", "the envelopes drawn: any of temporal,spatial,combined, or none (default all three)"},
    {"intensity", nullptr, "squared curves"},
    {"symmetric", nullptr, "the envelopes mirrored below the axis too (not with --intensity)"},
    {"relion-sign", nullptr, "the CTF with RELION's sign, -sin(chi), in the curves and the map's table"},
    {"plotter", "COMPANY/MODEL", "plotter mode, this library entry (or \"default\") as the second instrument"},
    {"defocus2", "NM", "defocus of the second CTF, nm (default: the first one's)"},
    {"plotter-envelopes", nullptr, "plotter mode draws the combined envelopes of both CTFs"},
    {"store", "PATH", "the settings store to read the library from (default: the per-user one)"},
};

void addOptions(QCommandLineParser &parser, const Opt *begin, const Opt *end)
{
    for (const Opt *o = begin; o != end; ++o) {
        QCommandLineOption option(QString::fromLatin1(o->name), QString::fromUtf8(o->description));
        if (o->valueName)
            option.setValueName(QString::fromLatin1(o->valueName));
        parser.addOption(option);
    }
}

// COMPANY/MODEL, split at the first slash; companies hold no slash in the library's dialogs either.
std::pair<QString, QString> entryName(const QString &text)
{
    const int slash = text.indexOf(QLatin1Char('/'));
    if (slash <= 0 || slash == text.size() - 1)
        return {};
    return {text.left(slash), text.mid(slash + 1)};
}

// The library entry an option names, as the setup dialog hands it to the window.
TScopeData libraryScope(const QCommandLineParser &parser, const QString &option)
{
    const auto [company, model] = entryName(parser.value(option));
    if (company.isEmpty())
        usageFailure(QStringLiteral("%1: give the microscope as COMPANY/MODEL").arg(optionAndValue(parser, option)));
    QVector<ScopeCompany> library;
    try {
        ReadScopeLibrary(library);
    } catch (const OrvalisError &e) {
        ioFailure(QStringLiteral("the library cannot be read: %1").arg(oneLine(e.text())));
    }
    for (const ScopeCompany &c : library) {
        if (c.Company.compare(company, Qt::CaseInsensitive) != 0)
            continue;
        for (const ScopeModel &m : c.Models) {
            if (m.Model.compare(model, Qt::CaseInsensitive) != 0)
                continue;
            try {
                return ScopeRecordFromData(c.Company, m.Model, m.Data);
            } catch (const OrvalisError &e) {
                usageFailure(QStringLiteral("%1: %2").arg(optionAndValue(parser, option), oneLine(e.text())));
            }
        }
    }
    usageFailure(QStringLiteral("%1: no such microscope in the library (orvalis-ctf library list shows them)")
                     .arg(optionAndValue(parser, option)));
}

// A value typed for one of the instrument's seven, in its library unit.
void applyInstrumentValue(const QCommandLineParser &parser, const char *option, ScopeValue value, TScopeData &scope)
{
    const QString name = QString::fromLatin1(option);
    if (!parser.isSet(name))
        return;
    numberOption(parser, name); // refuses what is no number, naming the option
    // The text as typed, converted as the library's texts are.
    double recordValue = 0;
    try {
        recordValue = scopeValueFromText(value, parser.value(name).trimmed());
    } catch (const OrvalisError &e) {
        usageFailure(QStringLiteral("%1: %2").arg(optionAndValue(parser, name), oneLine(e.text())));
    }
    const QString rule = scopeValueRule(value, recordValue);
    if (!rule.isEmpty())
        usageFailure(QStringLiteral("%1: %2").arg(optionAndValue(parser, name), rule));
    // A ripple or instability of 0 stands for a missing value, which loading replaces by the
    // built-in one: the user who types 0 gets what the window would show for it.
    scope.*scopeValueField(value) = recordValue;
}

TScopeData instrumentOf(const QCommandLineParser &parser)
{
    TScopeData scope = parser.isSet(QStringLiteral("scope")) ? libraryScope(parser, QStringLiteral("scope"))
                                                             : defaultScope();
    const std::pair<const char *, ScopeValue> typed[] = {{"kv", ScopeValue::Voltage},
                                                         {"cs", ScopeValue::Cs},
                                                         {"cc", ScopeValue::Cc},
                                                         {"energy-spread", ScopeValue::dE},
                                                         {"ripple", ScopeValue::dvv},
                                                         {"instability", ScopeValue::dii},
                                                         {"convergence", ScopeValue::Convergence}};
    for (const auto &[option, value] : typed)
        applyInstrumentValue(parser, option, value, scope);
    if (parser.isSet(QStringLiteral("c5"))) {
        numberOption(parser, QStringLiteral("c5")); // refuses what is no number, naming the option
        try {
            scope.C5 = c5FromText(parser.value(QStringLiteral("c5")).trimmed());
        } catch (const OrvalisError &e) {
            usageFailure(QStringLiteral("%1: %2").arg(optionAndValue(parser, QStringLiteral("c5")), oneLine(e.text())));
        }
    }
    scope.A3 = 0;
    return scope;
}

double boundedOption(const QCommandLineParser &parser, const QString &name, double minimum, double maximum,
                     const QString &unit)
{
    const double v = numberOption(parser, name);
    if (v < minimum || v > maximum)
        usageFailure(QStringLiteral("%1: it must be from %2 to %3%4")
                         .arg(optionAndValue(parser, name), formatGeneral(minimum), formatGeneral(maximum), unit));
    return v;
}

// A defocus beyond the slider's range widens it, as typing it into the window's field does; the
// map spans the range.
void takeIntoRange(CtfSession &session, double defocus)
{
    const OptionRanges ranges = session.ranges();
    const double position = -defocus;
    const int minimum = position < ranges.defocusMin ? static_cast<int>(std::floor(position)) : ranges.defocusMin;
    const int maximum = position > ranges.defocusMax ? static_cast<int>(std::ceil(position)) : ranges.defocusMax;
    session.setDefocusRange(minimum, maximum);
}

void loadOrFail(CtfSession &session, const TScopeData &scope, const QString &options)
{
    QString error;
    if (!session.loadInstrument(scope, &error))
        usageFailure(QStringLiteral("%1: %2").arg(options, oneLine(error)));
}

ViewChoices viewOf(const QCommandLineParser &parser, ViewChoices v)
{
    if (parser.isSet(QStringLiteral("envelopes"))) {
        v.temporal = v.spatial = v.combined = false;
        const QString list = parser.value(QStringLiteral("envelopes"));
        if (list != QLatin1String("none")) {
            for (const QString &item : list.split(QLatin1Char(','))) {
                if (item == QLatin1String("temporal"))
                    v.temporal = true;
                else if (item == QLatin1String("spatial"))
                    v.spatial = true;
                else if (item == QLatin1String("combined"))
                    v.combined = true;
                else
                    usageFailure(QStringLiteral("%1: \"%2\" is none of temporal, spatial, combined (or none alone)")
                                     .arg(optionAndValue(parser, QStringLiteral("envelopes")), item));
            }
        }
    }
    v.intensity = parser.isSet(QStringLiteral("intensity"));
    v.symmetric = parser.isSet(QStringLiteral("symmetric"));
    v.relionSign = parser.isSet(QStringLiteral("relion-sign"));
    v.showEnvelopes = parser.isSet(QStringLiteral("plotter-envelopes"));
    return v;
}

QByteArray treeText(const CtfSession &session)
{
    const ScopeTreeTexts texts = session.treeTexts();
    QByteArray out;
    const QString groups[] = {texts.microscope, texts.resolution, texts.defocus};
    const QStringList *lines[] = {&texts.microscopeChildren, &texts.resolutionChildren, &texts.defocusChildren};
    for (int g = 0; g < 3; ++g) {
        out += groups[g].toUtf8() + '\n';
        for (const QString &line : *lines[g])
            out += "  " + line.toUtf8() + '\n';
    }
    return out;
}

// ---- curve --------------------------------------------------------------------------------------

int runCurve(const QStringList &arguments)
{
    QCommandLineParser parser;
    addStateOptions(parser);
    const Opt own[] = {{"format", "tsv|csv|json", "tsv (default: the columns of Save 1D, tab-separated), csv or json"},
                       {"crlf", nullptr, "end lines with CR LF, as Save 1D writes them (tsv and csv)"}};
    addOptions(parser, std::begin(own), std::end(own));
    parseCommand(parser, QStringLiteral("curve"),
                 QStringLiteral("Prints the 1D curves of the state: the frequency k (nm^-1) and one column per curve "
                                "drawn, with a header line naming them."),
                 arguments);
    const QString format = parser.isSet(QStringLiteral("format")) ? parser.value(QStringLiteral("format"))
                                                                  : QStringLiteral("tsv");
    if (format != QLatin1String("tsv") && format != QLatin1String("csv") && format != QLatin1String("json"))
        usageFailure(
            QStringLiteral("%1: it must be tsv, csv or json").arg(optionAndValue(parser, QStringLiteral("format"))));
    CtfSession session;
    loadState(parser, session);
    QByteArray table = curveTable(session);
    if (format == QLatin1String("json")) {
        // One array per column, in the table's order and with its digits (JSON numbers take its
        // exponent form); the titles hold no character JSON would escape.
        const QList<QByteArray> lines = table.split('\n');
        const QList<QByteArray> names = lines.first().trimmed().split('\t');
        QVector<QByteArray> values(names.size());
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> cells = lines[i].trimmed().split('\t');
            if (cells.first().isEmpty())
                continue;
            for (int c = 0; c < cells.size() && c < names.size(); ++c)
                values[c] += (values[c].isEmpty() ? "" : ",") + cells[c];
        }
        QByteArray json("{");
        for (int c = 0; c < names.size(); ++c)
            json += (c ? ",\"" : "\"") + names[c] + "\":[" + values[c] + ']';
        writeOut(json + "}\n");
        return ExitOk;
    }
    if (format == QLatin1String("csv"))
        table.replace('\t', ',');
    if (!parser.isSet(QStringLiteral("crlf")))
        table.replace("\r\n", "\n");
    writeOut(table);
    return ExitOk;
}

// ---- info ---------------------------------------------------------------------------------------

int runInfo(const QStringList &arguments)
{
    QCommandLineParser parser;
    addStateOptions(parser);
    const Opt own[] = {{"json", nullptr, "one JSON object: each name with its value and unit"},
                       {"tree", nullptr, "the texts of the window's information tree instead"}};
    addOptions(parser, std::begin(own), std::end(own));
    parseCommand(parser, QStringLiteral("info"),
                 QStringLiteral("Prints the values derived from the state, one \"name<TAB>value<TAB>unit\" line "
                                "each: the theoretical values of the instrument and the current ones of the "
                                "1D curve."),
                 arguments);
    CtfSession session;
    loadState(parser, session);
    if (parser.isSet(QStringLiteral("tree"))) {
        writeOut(treeText(session));
        return ExitOk;
    }
    const OpticsState &s = session.state();
    // A current limit the curve does not reach within its range is none.
    const struct {
        const char *name;
        std::optional<double> value;
        const char *unit;
    } rows[] = {
        {"wavelength", s.Wavelength, "nm"},
        {"focal-spread", s.FocalSpread, "nm"},
        {"scherzer", s.Scherzer, "nm"},
        {"extended-scherzer", s.ExtScherzer, "nm"},
        {"point-resolution-theoretical", s.PointResTheory, "nm"},
        {"point-resolution", s.PointRes, "nm"},
        {"information-limit-theoretical", s.InfoLimitTheory, "nm"},
        {"information-limit", s.InfoLimit, "nm"},
        {"convergence", radToMrad(s.Alpha), "mrad"},
    };
    if (parser.isSet(QStringLiteral("json"))) {
        QJsonObject all;
        for (const auto &row : rows)
            all.insert(QString::fromLatin1(row.name),
                       QJsonObject{{QStringLiteral("value"), row.value ? QJsonValue(*row.value) : QJsonValue()},
                                   {QStringLiteral("unit"), QString::fromLatin1(row.unit)}});
        writeOut(QJsonDocument(all).toJson(QJsonDocument::Indented));
        return ExitOk;
    }
    QByteArray out;
    for (const auto &row : rows)
        out += QByteArray(row.name) + '\t' + (row.value ? formatGeneral(*row.value).toLatin1() : QByteArray("none"))
            + '\t' + row.unit + '\n';
    writeOut(out);
    return ExitOk;
}

// ---- library ------------------------------------------------------------------------------------

int runLibrary(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Opt own[] = {{"store", "PATH", "the settings store to use (default: the per-user one, the window's)"}};
    addOptions(parser, std::begin(own), std::end(own));
    parser.addPositionalArgument(QStringLiteral("action"),
                                 QStringLiteral("list | show COMPANY/MODEL | import FILE.reg | export FILE.reg"));
    parseCommand(parser, QStringLiteral("library"),
                 QStringLiteral("The microscope library of the settings store the window uses.\n"
                                "  list                  every entry as COMPANY/MODEL, one a line\n"
                                "  show COMPANY/MODEL    its seven values, \"name<TAB>value<TAB>unit\" each\n"
                                "  import FILE.reg       adds the file's entries and settings (as Restore)\n"
                                "  export FILE.reg       writes the whole settings key (as Backup)"),
                 arguments, QStringLiteral("list|show|import|export [ARGUMENT]"));
    const QStringList words = parser.positionalArguments();
    const QString action = words.value(0);
    const int wanted = action == QLatin1String("list") ? 1 : 2;
    if (action.isEmpty()
        || (action != QLatin1String("list") && action != QLatin1String("show") && action != QLatin1String("import")
            && action != QLatin1String("export")))
        usageFailure(QStringLiteral("library %1: give list, show, import or export").arg(quoted(action)));
    if (words.size() != wanted)
        usageFailure(
            QStringLiteral("library %1: %2")
                .arg(action, wanted == 1 ? QStringLiteral("takes no argument") : QStringLiteral("takes one argument")));
    chooseStore(parser);
    try {
        if (action == QLatin1String("list") || action == QLatin1String("show")) {
            QVector<ScopeCompany> library;
            ReadScopeLibrary(library);
            QByteArray out;
            if (action == QLatin1String("list")) {
                for (const ScopeCompany &c : library)
                    for (const ScopeModel &m : c.Models)
                        out += (c.Company + QLatin1Char('/') + m.Model).toUtf8() + '\n';
                writeOut(out);
                return ExitOk;
            }
            const auto [company, model] = entryName(words[1]);
            for (const ScopeCompany &c : library) {
                for (const ScopeModel &m : c.Models) {
                    if (c.Company.compare(company, Qt::CaseInsensitive) != 0
                        || m.Model.compare(model, Qt::CaseInsensitive) != 0)
                        continue;
                    const std::pair<const char *, const QString *> values[] = {
                        {"Voltage\t%1\tkV", &m.Data.Voltage},
                        {"Cs\t%1\tmm", &m.Data.Cs},
                        {"Cc\t%1\tmm", &m.Data.Cc},
                        {"dE\t%1\teV", &m.Data.dE},
                        {"Convergence\t%1\tmrad", &m.Data.Convergence},
                        {"dvv\t%1\tppm", &m.Data.dvv},
                        {"dii\t%1\tppm", &m.Data.dii}};
                    for (const auto &[line, value] : values)
                        out += QString::fromLatin1(line).arg(*value).toUtf8() + '\n';
                    writeOut(out);
                    return ExitOk;
                }
            }
            usageFailure(QStringLiteral("library show %1: no such microscope in the library").arg(quoted(words[1])));
        }
        if (action == QLatin1String("import")) {
            if (!QFileInfo(words[1]).isFile())
                ioFailure(QStringLiteral("cannot read %1: %2")
                              .arg(quoted(words[1]),
                                   QFileInfo::exists(words[1]) ? QStringLiteral("Not a regular file")
                                                               : QStringLiteral("No such file or directory")));
            RegImporter::importFile(words[1]);
            return ExitOk;
        }
        ExportKeyToRegFile(HKEY_CURRENT_USER, BackupKeyPath(), words[1]);
    } catch (const OrvalisError &e) {
        ioFailure(oneLine(e.text()));
    }
    return ExitOk;
}

} // namespace

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString optionAndValue(const QCommandLineParser &parser, const QString &name)
{
    return QStringLiteral("--%1 %2").arg(name, quoted(parser.value(name)));
}

[[noreturn]] void usageFailure(const QString &message)
{
    throw Failure{ExitUsage, message};
}

[[noreturn]] void ioFailure(const QString &message)
{
    throw Failure{ExitIo, message};
}

bool isPictureCommand(const QString &name)
{
    return name == QLatin1String("pattern") || name == QLatin1String("map") || name == QLatin1String("chart");
}

bool needsPictures(const QStringList &arguments)
{
    if (isPictureCommand(arguments.value(0)))
        return true;
    if (arguments.value(0) != QLatin1String("fit"))
        return false;
    for (const QString &a : arguments.mid(1)) {
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--diagnostics") || a.startsWith(QLatin1String("--diagnostics=")))
            return true;
    }
    return false;
}

void addStateOptions(QCommandLineParser &parser)
{
    addOptions(parser, std::begin(stateOptions), std::end(stateOptions));
}

double numberOption(const QCommandLineParser &parser, const QString &name)
{
    bool ok = false;
    const QString text = parser.value(name);
    const double v = text.trimmed().isEmpty() ? 0.0 : text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        usageFailure(QStringLiteral("%1: not a number").arg(optionAndValue(parser, name)));
    return v;
}

QSize sizeOption(const QCommandLineParser &parser, const QString &name, int minimum, int maximum, bool square)
{
    const QString text = parser.value(name);
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okW = false, okH = false;
    const int w = parts.value(0).toInt(&okW);
    const int h = parts.size() == 2 ? parts[1].toInt(&okH) : w;
    if (parts.size() == 1)
        okH = okW;
    if (parts.size() > 2 || !okW || !okH || (!square && parts.size() != 2))
        usageFailure(QStringLiteral("%1: give the size as %2")
                         .arg(optionAndValue(parser, name),
                              square ? QStringLiteral("W (pixels)") : QStringLiteral("WxH (pixels)")));
    if (square && w != h)
        usageFailure(QStringLiteral("%1: the picture is square; give one width").arg(optionAndValue(parser, name)));
    if (w < minimum || w > maximum || h < minimum || h > maximum)
        usageFailure(QStringLiteral("%1: it must be from %2 to %3 pixels")
                         .arg(optionAndValue(parser, name))
                         .arg(minimum)
                         .arg(maximum));
    return QSize(w, h);
}

void chooseStore(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("store"))) {
        const QString path = parser.value(QStringLiteral("store"));
        if (path.isEmpty())
            usageFailure(QStringLiteral("--store \"\": give the path of a store"));
        StoreDatabase::setDefaultPath(QFileInfo(path).absoluteFilePath());
    }
}

void loadState(const QCommandLineParser &parser, CtfSession &session)
{
    chooseStore(parser);
    if (parser.isSet(QStringLiteral("alpha")) && parser.isSet(QStringLiteral("magnification-position")))
        usageFailure(QStringLiteral("--alpha and --magnification-position: give one of them"));
    if (parser.isSet(QStringLiteral("samples"))) {
        const QString s = parser.value(QStringLiteral("samples"));
        if (s != QLatin1String("full") && s != QLatin1String("coarse"))
            usageFailure(
                QStringLiteral("%1: it must be full or coarse").arg(optionAndValue(parser, QStringLiteral("samples"))));
    }
    const bool coarse = parser.value(QStringLiteral("samples")) == QLatin1String("coarse");
    const bool plotter = parser.isSet(QStringLiteral("plotter"));
    for (const char *option : {"defocus2", "plotter-envelopes"})
        if (parser.isSet(QString::fromLatin1(option)) && !plotter)
            usageFailure(QStringLiteral("--%1: only with --plotter").arg(QString::fromLatin1(option)));

    // The range comes before the instrument, as the settings do at start-up.
    if (parser.isSet(QStringLiteral("upto"))) {
        const double upTo = numberOption(parser, QStringLiteral("upto"));
        try {
            checkUpTo(upTo);
        } catch (const OrvalisError &e) {
            usageFailure(
                QStringLiteral("%1: %2").arg(optionAndValue(parser, QStringLiteral("upto")), oneLine(e.text())));
        }
        session.setUpTo(upTo);
    }
    session.setViewChoices(viewOf(parser, session.viewChoices()));

    const TScopeData first = instrumentOf(parser);
    session.ScopeRecord1 = first;
    {
        // The record was checked value by value; what the formulas refuse as a whole is told here.
        OpticsState trial = session.state();
        try {
            orvalis::loadInstrument(trial, first);
        } catch (const OrvalisError &e) {
            usageFailure(QStringLiteral("the instrument cannot be used: %1").arg(oneLine(e.text())));
        }
    }
    session.beginRun();

    double defocus = session.state().Defocus;
    if (parser.isSet(QStringLiteral("defocus")))
        defocus = boundedOption(parser, QStringLiteral("defocus"), -MaxDefocus, MaxDefocus, QStringLiteral(" nm"));

    if (plotter) {
        const QString second = parser.value(QStringLiteral("plotter"));
        const TScopeData scope2 = second.compare(QLatin1String("default"), Qt::CaseInsensitive) == 0
            ? defaultScope()
            : libraryScope(parser, QStringLiteral("plotter"));
        const double defocus2 = parser.isSet(QStringLiteral("defocus2"))
            ? boundedOption(parser, QStringLiteral("defocus2"), -MaxDefocus, MaxDefocus, QStringLiteral(" nm"))
            : defocus;
        session.setPlotterMode(true);
        // The second CTF first, then the first one's instrument again: the state ends as the first
        // CTF's, the one the window's buttons make active at last.
        session.setSecondActive(true);
        session.ScopeRecord2 = scope2;
        loadOrFail(session, scope2, optionAndValue(parser, QStringLiteral("plotter")));
        takeIntoRange(session, defocus2);
        session.setDefocus(defocus2, coarse);
        session.computeCurves();
        session.setSecondActive(false);
        loadOrFail(session, session.ScopeRecord1, QStringLiteral("the first instrument"));
    }

    takeIntoRange(session, defocus);
    session.setDefocus(defocus, coarse);
    if (parser.isSet(QStringLiteral("a2")))
        session.setA2(
            boundedOption(parser, QStringLiteral("a2"), -MaxAstigmatism, MaxAstigmatism, QStringLiteral(" nm")),
            coarse);
    if (parser.isSet(QStringLiteral("a3")))
        session.setA3(
            boundedOption(parser, QStringLiteral("a3"), -MaxAstigmatism, MaxAstigmatism, QStringLiteral(" nm")),
            coarse);
    if (parser.isSet(QStringLiteral("magnification-position"))) {
        const double p = boundedOption(parser, QStringLiteral("magnification-position"), 14, 39, QString());
        if (p != std::floor(p))
            usageFailure(QStringLiteral("%1: a whole number")
                             .arg(optionAndValue(parser, QStringLiteral("magnification-position"))));
        session.setMagnificationPosition(static_cast<int>(p), coarse);
    }
    if (parser.isSet(QStringLiteral("alpha")))
        session.setAlpha(
            mradToRadByDivision(boundedOption(parser, QStringLiteral("alpha"), -1000, 1000, QStringLiteral(" mrad"))));
    if (parser.isSet(QStringLiteral("direction")))
        session.setDirection(degreesToRadians(numberOption(parser, QStringLiteral("direction"))));
    for (const auto &[option, set] :
         {std::pair{"a2-azimuth", &CtfSession::setA2Azimuth}, std::pair{"a3-azimuth", &CtfSession::setA3Azimuth}})
        if (parser.isSet(QString::fromLatin1(option)))
            (session.*set)(degreesToRadians(
                boundedOption(parser, QString::fromLatin1(option), -360, 360, QStringLiteral(" deg"))));
    SpecimenDetector specimen = specimenOf(session.state());
    const std::pair<const char *, SpecimenField> specimenOptions[] = {
        {"amplitude-contrast", SpecimenField::AmplitudeContrast},
        {"phase-shift", SpecimenField::PhaseShift},
        {"b-factor", SpecimenField::BFactor},
        {"pixel-size", SpecimenField::PixelSize}};
    for (const auto &[option, field] : specimenOptions) {
        const QString name = QString::fromLatin1(option);
        if (!parser.isSet(name))
            continue;
        const double value = numberOption(parser, name);
        const QString rule = specimenRule(field, value);
        if (!rule.isEmpty())
            usageFailure(QStringLiteral("%1: %2").arg(optionAndValue(parser, name), rule));
        setSpecimenValue(specimen, field, value);
    }
    session.setSpecimen(specimen);
    // The sampling is the one the aberrations were set with; the curve is drawn with it.
    session.computeCurves();
}

QByteArray curveTable(const CtfSession &session)
{
    return curveTableText(session.curveSeries(curveSeriesTitles()));
}

void writeOut(const QByteArray &bytes)
{
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout)
            != static_cast<size_t>(bytes.size())
        || std::fflush(stdout) != 0)
        ioFailure(
            QStringLiteral("cannot write the standard output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void parseCommand(QCommandLineParser &parser, const QString &command, const QString &description,
                  const QStringList &arguments, const QString &positional)
{
    parser.setApplicationDescription(description);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("this text"));
    parser.addOption(help);
    if (!parser.parse(QStringList{programName} + arguments))
        usageFailure(QStringLiteral("%1: %2").arg(command, oneLine(parser.errorText())));
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // The usage line names the command and what follows it.
        const int end = text.indexOf(QLatin1Char('\n'));
        text.replace(0, end,
                     QStringLiteral("Usage: %1 %2 [options]%3")
                         .arg(programName, command, positional.isEmpty() ? QString() : QLatin1Char(' ') + positional));
        writeOut(text.toUtf8());
        throw Failure{ExitOk, QString()};
    }
    if (positional.isEmpty() && !parser.positionalArguments().isEmpty())
        usageFailure(
            QStringLiteral("%1: unexpected argument %2").arg(command, quoted(parser.positionalArguments().first())));
}

void printFailure(const Failure &failure)
{
    if (failure.message.isEmpty())
        return;
    // One line whatever the lower layers' message holds: scripts read the standard error line by line.
    const QByteArray line = (programName + QStringLiteral(": ") + oneLine(failure.message)).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

int runProgram(const QStringList &arguments, const PictureRunner &pictures)
{
    try {
        const QString command = arguments.value(0);
        const QStringList rest = arguments.mid(1);
        if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
            writeOut(QByteArray(mainHelp));
            return ExitOk;
        }
        if (command == QLatin1String("--version")) {
            writeOut(QByteArray("orvalis-ctf ") + buildinfo::Version + '\n');
            return ExitOk;
        }
        if (command.isEmpty())
            usageFailure(QStringLiteral(
                "give a command: curve, info, pattern, map, chart, library, spectrum, average, fit or fit-series "
                "(see --help)"));
        if (command == QLatin1String("curve"))
            return runCurve(rest);
        if (command == QLatin1String("info"))
            return runInfo(rest);
        if (command == QLatin1String("library"))
            return runLibrary(rest);
        if (isMicrographCommand(command))
            return runMicrographCommand(command, rest);
        if (command == QLatin1String("fit-series"))
            return runFitSeries(rest);
        if (isPictureCommand(command) && pictures)
            return pictures(command, rest);
        usageFailure(
            QStringLiteral(
                "%1: no such command; there are curve, info, pattern, map, chart, library, spectrum, average, fit and "
                "fit-series")
                .arg(quoted(command)));
    } catch (const Failure &failure) {
        printFailure(failure);
        return failure.status;
    } catch (const OrvalisError &e) {
        // What the lower layers refuse beyond the checks above is the store's or a file's trouble.
        printFailure({ExitIo, oneLine(e.text())});
        return ExitIo;
    } catch (const std::exception &e) {
        printFailure({ExitIo, QString::fromLocal8Bit(e.what())});
        return ExitIo;
    }
}

} // namespace orvalis::cli
