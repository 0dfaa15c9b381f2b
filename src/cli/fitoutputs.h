#pragma once
// What "orvalis-ctf fit" writes: its own table (TSV or JSON), a STAR file in RELION's layout and
// CTFFIND4's text file per micrograph, so that the pipelines that read either take its results.
#include "micrograph/ctffit.h"
#include "micrograph/patchfit.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

namespace orvalis::cli {

// One micrograph's fit, or why it has none.
struct FitRecord {
    QString file;           // as the user named it
    double pixelSizeNm = 0; // the pixel size fitted with
    CtfFitResult result;
    bool failed = false; // the file could not be read or fitted; error says why
    QString error;
    // With --patches: the local defocus, or why there is none (a micrograph too small for patches,
    // one without a reliable fit to start them from).
    std::optional<LocalDefocus> local;
    QString localProblem;
    // With --diagnostics: the spectrum fitted, until its pictures are written.
    std::shared_ptr<const PowerSpectrum> spectrum;
};

// The settings every record was fitted with, for the outputs that repeat them.
struct FitSettings {
    CtfFitOptions options;
    QString version; // the program's
    QString date;    // "yyyy-MM-dd hh:mm:ss", when the run began
};

// The table on the standard output: a header line, then one line per record that was fitted (the
// failed ones are reported on their own): the cryo-EM values (Å, degrees), the score, the resolution
// (Å) and this program's Defocus, A2 (nm) and azimuth, and last the doubts (fitDoubtKeys, comma
// separated, or "none": a line's last cell is never empty, for readers that strip lines). A record without a fit above
// noise gives its score and significance and leaves the values empty; one with doubts gives its values, "no" for
// reliable, and its doubts.
//
// With the tilt or the thickness asked for (`asked`), the specimen's columns follow the phase shift:
// tilt_deg and tilt_axis_deg (degrees, the convention of tiltDefocusOffset), thickness_A (Å); a
// cell is empty where the value is not reported (a tilt the band cannot see, a thin specimen: the
// reason goes to the standard error). Without them the table is as it always was.
QByteArray fitTable(const QVector<FitRecord> &records, const CtfFitOptions &asked = CtfFitOptions());
// The same as a JSON array of objects, the values of a fit below noise null; "doubts" lists the
// doubts' keys and "message" says why a fit is not reliable. With the tilt or the thickness asked
// for, "tiltDeg" and "tiltAxisDeg", "thicknessA" (null where not reported) and "specimenNote" (why
// one is not, when so).
QByteArray fitJson(const QVector<FitRecord> &records, const CtfFitOptions &asked = CtfFitOptions());

// RELION's STAR layout: a data_optics block (one optics group per pixel size) and a data_micrographs
// loop of the reliable fits (CtfFitResult::reliable: none with doubts). With the tilt asked for,
// RELION's _rlnMicrographTiltAngle and _rlnMicrographTiltAxisDirection hold it (0 where none is
// reported); RELION has no label for a specimen's thickness, which the file leaves out.
QByteArray fitStar(const QVector<FitRecord> &records, const FitSettings &settings);

// CTFFIND4's text output for one reliable fit: its comment header and the line of seven columns;
// with the tilt or the thickness asked for, CTFFIND5's ten: the tilt axis, the tilt angle (degrees)
// and the thickness (Å) added, 0 where one is not reported, as CTFFIND5 writes them.
QByteArray ctffindText(const FitRecord &record, const FitSettings &settings);
// The same with a row for each record that has values, numbered by its place from 1 (a tilt
// series' sections), and `comment` as a comment line after the header when not empty.
QByteArray ctffindText(const QVector<FitRecord> &records, const FitSettings &settings,
                       const QByteArray &comment = QByteArray());

// --patches: the local defocus, one line a patch, row after row from the top: the patch's centre in
// pixels from the image's top-left pixel (column, row), defocus U and V (Å), the angle of U
// (degrees), the score, and whether the patch's fit is significant ("yes"/"no"). A patch that is not
// has its score and empty values.
QByteArray patchTable(const LocalDefocus &local);

// Where --patches FILE puts a micrograph's table: FILE itself for a lone micrograph; with several,
// FILE's name with "_" and the micrograph's base name before its extension (patches.tsv and
// mic001.mrc: patches_mic001.tsv), beside FILE.
QString patchesPath(const QString &given, const QString &micrograph, bool several);

// Writes a record's pictures into a folder; throws OrvalisError naming a file it cannot write. The
// shell's drawing program sets it (the pictures need the toolkit's painting); none elsewhere.
using DiagnosticsWriter =
    std::function<void(const QString &dir, const FitRecord &record, const CtfFitOptions &options)>;
void setDiagnosticsWriter(DiagnosticsWriter writer);
const DiagnosticsWriter &diagnosticsWriter();

} // namespace orvalis::cli
