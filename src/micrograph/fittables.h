#pragma once
// The fit tables other programs and our own shell write, read back: RELION's STAR files (a
// data_micrographs loop with its data_optics, as `orvalis-ctf fit --star` and RELION's CTF job
// write them), CTFFIND4's and CTFFIND5's text output (its "# Columns:" header and a line a
// micrograph, as CTFFIND and `fit --ctffind-txt` write it), and `orvalis-ctf fit`'s own table (tab
// separated) and JSON array. Every row keeps the values its file gives and says nothing of those
// it does not (std::optional), so that fits of different programs stand side by side.
//
// A file that cannot be read, or whose content is not what its header promises, is one
// OrvalisError naming the file and, where one line is at fault, the line.
#include "core/cryoemdefocus.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

namespace orvalis {

// What a fit was computed with, as the files give it.
struct TableOptics {
    double voltage = 0;           // kV
    double cs = 0;                // mm
    double amplitudeContrast = 0; // fraction
};

struct FitTableRow {
    QString micrograph; // as the file names it: absolute, or relative to somewhere the file implies
    int line = 0;       // where in the file (from 1)
    int number = 0;     // CTFFIND's micrograph number within a stack of several; 0 otherwise
    // None where the file holds the micrograph without a fit above noise (our table's empty cells).
    std::optional<CryoEmDefocus> defocus;
    std::optional<double> phaseShift;  // degrees
    std::optional<double> tiltAngle;   // degrees
    std::optional<double> tiltAxis;    // degrees
    std::optional<double> thickness;   // Å
    std::optional<double> score;       // cross-correlation (CTFFIND), figure of merit (RELION), our score
    std::optional<double> resolution;  // Å: the fit holds to it (CTFFIND's "spacing up to which rings were fit")
    std::optional<bool> reliable;      // only our own tables judge it
    double pixelSize = 0;              // Å, 0 where the file gives none
    std::optional<TableOptics> optics; // where the file gives them
};

enum class FitTableFormat { Star, CtffindText, OurTable, OurJson };

struct FitTable {
    QString path;
    FitTableFormat format = FitTableFormat::Star;
    // Who wrote it, when the file says ("CTFFIND 4.1.14", "orvalis-ctf 0.9"); "orvalis-ctf" for our
    // table and JSON, which carry no version; empty for a STAR file, which does not say.
    QString program;
    // CTFFIND's "# Input file:" (a stack's or a micrograph's), empty for the others.
    QString inputFile;
    QVector<FitTableRow> rows;
};

// What kind of fit table `head` (a file's first bytes) begins, or none when it is no fit table
// (a folder holds other text files too).
std::optional<FitTableFormat> fitTableFormatOf(const QByteArray &head);

// Reads `path` as the format its content shows. Throws OrvalisError "<file>: ..." or
// "<file>, line N: ...".
FitTable readFitTable(const QString &path);
// The same from bytes; `path` names the file in messages.
FitTable parseFitTable(const QByteArray &bytes, const QString &path);

// RELION's micrographs STAR layout, as `orvalis-ctf fit --star` writes it: a data_optics loop
// (one group for each pixel size and optics) and a data_micrographs loop of the rows with a fit,
// each under the name given in `names` (same order as `rows`; quoted when it holds white space).
// Values a row does not have are written as RELION's neutral ones (0 phase shift, 0 tilt), and a
// figure of merit or resolution it lacks as 0 and 999 (RELION's "unknown"); rows without optics or pixel size
// take `fallbackOptics` and `fallbackPixel` (Å).
QByteArray fitRowsStar(const QVector<FitTableRow> &rows, const QStringList &names, const TableOptics &fallbackOptics,
                       double fallbackPixel);

} // namespace orvalis
