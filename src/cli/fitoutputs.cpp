#include "cli/fitoutputs.h"

#include "core/units.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <cmath>

namespace orvalis::cli {

namespace {

QByteArray fixed(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

// Where the rings never agreed with a reliable fit, the fit holds to the band's low end at best:
// the programs that read the resolution take a number.
double resolutionOrBand(const CtfFitValues &v, const CtfFitOptions &o)
{
    return v.resolution > 0 ? v.resolution : o.lowResolution;
}

// The files other programs take as results hold only fits without doubts.
bool reliable(const FitRecord &r)
{
    return !r.failed && r.result.reliable();
}

// The specimen's cells after the phase shift, for what was asked: empty where it is not reported.
QByteArrayList specimenCells(const CtfFitOptions &asked, const CtfFitResult &f)
{
    QByteArrayList cells;
    const CtfFitValues v = f.values.value_or(CtfFitValues{});
    if (asked.fitTilt)
        cells << (v.tilt ? fixed(v.tilt->angle, 2) : QByteArray()) << (v.tilt ? fixed(v.tilt->axis, 2) : QByteArray());
    if (asked.fitThickness)
        cells << (v.thickness ? fixed(*v.thickness, 1) : QByteArray());
    return cells;
}

// Which of the specimen's values a CTFFIND-style or STAR output carries: 0 where one is not reported.
double tiltAngle(const CtfFitValues &v)
{
    return v.tilt ? v.tilt->angle : 0.0;
}
double tiltAxis(const CtfFitValues &v)
{
    return v.tilt ? v.tilt->axis : 0.0;
}

} // namespace

QByteArray fitTable(const QVector<FitRecord> &records, const CtfFitOptions &asked)
{
    QByteArray out("micrograph\tdefocus_u_A\tdefocus_v_A\tangle_deg\tphase_shift_deg\t");
    if (asked.fitTilt)
        out += "tilt_deg\ttilt_axis_deg\t";
    if (asked.fitThickness)
        out += "thickness_A\t";
    out += "score\tresolution_A\tsignificance\treliable\tdefocus_nm\ta2_nm\tazimuth_deg\tpixel_A\ttile\tdoubts\n";
    for (const FitRecord &r : records) {
        if (r.failed)
            continue;
        const CtfFitResult &f = r.result;
        QByteArrayList cells{r.file.toUtf8()};
        if (f.values) {
            const CtfFitValues &v = *f.values;
            cells << fixed(v.cryoEm.defocusU, 2) << fixed(v.cryoEm.defocusV, 2) << fixed(v.cryoEm.angle, 2)
                  << fixed(v.phaseShift, 2);
            cells << specimenCells(asked, f);
            cells << fixed(f.score, 6) << (v.resolution > 0 ? fixed(nmToAngstrom(v.resolution), 2) : QByteArray())
                  << fixed(f.significance, 1) << (f.reliable() ? "yes" : "no") << fixed(v.program.Defocus, 2)
                  << fixed(v.program.A2, 2) << fixed(v.program.azimuth, 2);
        } else {
            cells << ""
                  << ""
                  << ""
                  << "";
            cells << specimenCells(asked, f);
            cells << fixed(f.score, 6) << "" << fixed(f.significance, 1) << "no"
                  << ""
                  << ""
                  << "";
        }
        cells << fixed(nmToAngstrom(r.pixelSizeNm), 4) << QByteArray::number(f.tileSize)
              << (f.doubts ? fitDoubtKeys(f.doubts).join(QLatin1Char(',')).toUtf8() : QByteArray("none"));
        out += cells.join('\t') + '\n';
    }
    return out;
}

QByteArray fitJson(const QVector<FitRecord> &records, const CtfFitOptions &asked)
{
    QJsonArray array;
    for (const FitRecord &r : records) {
        if (r.failed)
            continue;
        const CtfFitResult &f = r.result;
        QJsonObject o;
        o.insert(QStringLiteral("micrograph"), r.file);
        o.insert(QStringLiteral("reliable"), f.reliable());
        o.insert(QStringLiteral("doubts"), QJsonArray::fromStringList(fitDoubtKeys(f.doubts)));
        o.insert(QStringLiteral("score"), f.score);
        o.insert(QStringLiteral("significance"), f.significance);
        o.insert(QStringLiteral("pixelSizeA"), nmToAngstrom(r.pixelSizeNm));
        o.insert(QStringLiteral("tile"), f.tileSize);
        const auto put = [&o, &f](const char *name, double value) {
            o.insert(QString::fromLatin1(name), f.values ? QJsonValue(value) : QJsonValue());
        };
        const CtfFitValues v = f.values.value_or(CtfFitValues{});
        put("defocusUA", v.cryoEm.defocusU);
        put("defocusVA", v.cryoEm.defocusV);
        put("angleDeg", v.cryoEm.angle);
        put("phaseShiftDeg", v.phaseShift);
        if (asked.fitTilt) {
            o.insert(QStringLiteral("tiltDeg"), v.tilt ? QJsonValue(v.tilt->angle) : QJsonValue());
            o.insert(QStringLiteral("tiltAxisDeg"), v.tilt ? QJsonValue(v.tilt->axis) : QJsonValue());
        }
        if (asked.fitThickness)
            o.insert(QStringLiteral("thicknessA"), v.thickness ? QJsonValue(*v.thickness) : QJsonValue());
        if (!f.specimenNote.isEmpty())
            o.insert(QStringLiteral("specimenNote"), f.specimenNote);
        o.insert(QStringLiteral("resolutionA"),
                 f.values && v.resolution > 0 ? QJsonValue(nmToAngstrom(v.resolution)) : QJsonValue());
        put("defocusNm", v.program.Defocus);
        put("a2Nm", v.program.A2);
        put("azimuthDeg", v.program.azimuth);
        if (!f.values)
            o.insert(QStringLiteral("message"), f.message);
        else if (f.doubts)
            o.insert(QStringLiteral("message"), fitDoubtText(f, shellFitLimitNames()));
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray fitStar(const QVector<FitRecord> &records, const FitSettings &settings)
{
    const CtfFitOptions &o = settings.options;
    const CtfModel instrument(o.instrument, o.amplitudeContrast);
    // One optics group per pixel size, numbered in the order the micrographs bring them.
    QMap<QByteArray, int> groups;
    QByteArrayList groupOrder;
    for (const FitRecord &r : records)
        if (reliable(r)) {
            const QByteArray pixel = fixed(nmToAngstrom(r.pixelSizeNm), 6);
            if (!groups.contains(pixel)) {
                groups.insert(pixel, static_cast<int>(groups.size()) + 1);
                groupOrder << pixel;
            }
        }
    QByteArray out("\n# version 30001\n\ndata_optics\n\nloop_\n"
                   "_rlnOpticsGroupName #1\n_rlnOpticsGroup #2\n_rlnMicrographPixelSize #3\n"
                   "_rlnMicrographOriginalPixelSize #4\n_rlnVoltage #5\n_rlnSphericalAberration #6\n"
                   "_rlnAmplitudeContrast #7\n");
    for (const QByteArray &pixel : groupOrder) {
        const QByteArray number = QByteArray::number(groups.value(pixel));
        out += "opticsGroup" + number + ' ' + number + ' ' + pixel + ' ' + pixel + ' ' + fixed(instrument.voltage(), 6)
            + ' ' + fixed(instrument.csMm(), 6) + ' ' + fixed(instrument.amplitudeContrast(), 6) + '\n';
    }
    out += "\n\n# version 30001\n\ndata_micrographs\n\nloop_\n"
           "_rlnMicrographName #1\n_rlnOpticsGroup #2\n_rlnDefocusU #3\n_rlnDefocusV #4\n"
           "_rlnCtfAstigmatism #5\n_rlnDefocusAngle #6\n_rlnPhaseShift #7\n_rlnCtfFigureOfMerit #8\n"
           "_rlnCtfMaxResolution #9\n";
    // RELION's labels for a micrograph's tilt; it has none for a specimen's thickness.
    if (o.fitTilt)
        out += "_rlnMicrographTiltAngle #10\n_rlnMicrographTiltAxisDirection #11\n";
    for (const FitRecord &r : records) {
        if (!reliable(r))
            continue;
        const CtfFitValues &v = *r.result.values;
        QByteArray name = r.file.toUtf8();
        // STAR splits on white space: a name holding some is quoted.
        if (name.contains(' ') || name.contains('\t'))
            name = '"' + name + '"';
        out += name + ' ' + QByteArray::number(groups.value(fixed(nmToAngstrom(r.pixelSizeNm), 6))) + ' '
            + fixed(v.cryoEm.defocusU, 6) + ' ' + fixed(v.cryoEm.defocusV, 6) + ' '
            + fixed(v.cryoEm.defocusU - v.cryoEm.defocusV, 6) + ' ' + fixed(v.cryoEm.angle, 6) + ' '
            + fixed(v.phaseShift, 6) + ' ' + fixed(r.result.score, 6) + ' '
            + fixed(nmToAngstrom(resolutionOrBand(v, o)), 6);
        if (o.fitTilt)
            out += ' ' + fixed(tiltAngle(v), 6) + ' ' + fixed(tiltAxis(v), 6);
        out += '\n';
    }
    return out + '\n';
}

QByteArray ctffindText(const FitRecord &record, const FitSettings &settings)
{
    return ctffindText(QVector<FitRecord>{record}, settings);
}

QByteArray ctffindText(const QVector<FitRecord> &records, const FitSettings &settings, const QByteArray &comment)
{
    const CtfFitOptions &o = settings.options;
    if (records.isEmpty())
        return {};
    const FitRecord &first = records.front();
    const CtfModel model(o.instrument, o.amplitudeContrast);
    QByteArray out;
    out += "# Output from orvalis-ctf fit version " + settings.version.toUtf8() + ", run on " + settings.date.toUtf8()
        + '\n';
    out += "# Input file: " + QFileInfo(first.file).absoluteFilePath().toUtf8()
        + " ; Number of micrographs: " + QByteArray::number(records.size()) + '\n';
    out += "# Pixel size: " + fixed(nmToAngstrom(first.pixelSizeNm), 3) + " Angstroms ; acceleration voltage: "
        + fixed(model.voltage(), 1) + " keV ; spherical aberration: " + fixed(model.csMm(), 2)
        + " mm ; amplitude contrast: " + fixed(model.amplitudeContrast(), 2) + '\n';
    out += "# Box size: " + QByteArray::number(first.result.tileSize)
        + " pixels ; min. res.: " + fixed(nmToAngstrom(o.lowResolution), 1) + " Angstroms ; max. res.: "
        + fixed(nmToAngstrom(o.highResolution), 1) + " Angstroms ; min. def.: " + fixed(nmToAngstrom(-o.defocusTo), 1)
        + " Angstroms; max. def. " + fixed(nmToAngstrom(-o.defocusFrom), 1) + " Angstroms\n";
    out += "# Columns: #1 - micrograph number; #2 - defocus 1 [Angstroms]; #3 - defocus 2; #4 - azimuth of "
           "astigmatism; #5 - additional phase shift [radians]; #6 - cross correlation; #7 - spacing (in "
           "Angstroms) up to which CTF rings were fit successfully";
    // CTFFIND5's three columns more, written whenever the tilt or the thickness was asked for.
    const bool specimen = o.fitTilt || o.fitThickness;
    if (specimen)
        out += "; #8 - Estimated tilt axis angle; #9 - Estimated tilt angle ; #10 Estimated sample thickness (in "
               "Angstroms)";
    out += '\n';
    if (!comment.isEmpty())
        out += "# " + comment + '\n';
    for (int i = 0; i < records.size(); ++i) {
        const FitRecord &record = records[i];
        if (!record.result.values)
            continue;
        const CtfFitValues &v = *record.result.values;
        const CtfModel fitted = fittedModel(o, v);
        out += fixed(i + 1, 6) + ' ' + fixed(v.cryoEm.defocusU, 6) + ' ' + fixed(v.cryoEm.defocusV, 6) + ' '
            + fixed(v.cryoEm.angle, 6) + ' ' + fixed(fitted.phaseShiftRadians(), 6) + ' '
            + fixed(record.result.score, 6) + ' ' + fixed(nmToAngstrom(resolutionOrBand(v, o)), 6);
        if (specimen)
            out += ' ' + fixed(tiltAxis(v), 6) + ' ' + fixed(tiltAngle(v), 6) + ' ' + fixed(v.thickness.value_or(0), 6);
        out += '\n';
    }
    return out;
}

QByteArray patchTable(const LocalDefocus &local)
{
    QByteArray out("x_px\ty_px\tdefocus_u_A\tdefocus_v_A\tangle_deg\tscore\tsignificant\n");
    for (const DefocusPatch &p : local.patches) {
        QByteArrayList cells{fixed(p.x, 1), fixed(p.y, 1)};
        if (p.values)
            cells << fixed(p.values->cryoEm.defocusU, 2) << fixed(p.values->cryoEm.defocusV, 2)
                  << fixed(p.values->cryoEm.angle, 2);
        else
            cells << QByteArray() << QByteArray() << QByteArray();
        cells << fixed(p.score, 6) << (p.significant() ? "yes" : "no");
        out += cells.join('\t') + '\n';
    }
    return out;
}

QString patchesPath(const QString &given, const QString &micrograph, bool several)
{
    if (!several)
        return given;
    const QFileInfo file(given);
    const QString name = QFileInfo(micrograph).completeBaseName();
    const QString suffix = file.suffix();
    const QString base = suffix.isEmpty() ? file.fileName() : file.completeBaseName();
    return file.dir().filePath(
        QStringLiteral("%1_%2.%3").arg(base, name, suffix.isEmpty() ? QStringLiteral("tsv") : suffix));
}

namespace {
DiagnosticsWriter &writerSlot()
{
    static DiagnosticsWriter writer;
    return writer;
}
} // namespace

void setDiagnosticsWriter(DiagnosticsWriter writer)
{
    writerSlot() = std::move(writer);
}

const DiagnosticsWriter &diagnosticsWriter()
{
    return writerSlot();
}

} // namespace orvalis::cli
