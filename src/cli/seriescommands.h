#pragma once
// "orvalis-ctf fit-series": a tomographic tilt series fitted tilt by tilt at its known tilts
// (tiltseries.h), and what it writes: the table, IMOD's defocus file, CTFFIND's text with a row a
// tilt and the per-tilt CTF columns of RELION 5's tilt series STAR file.
#include "micrograph/tiltseries.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orvalis::cli {

// A fitted series as the outputs take it.
struct SeriesRecord {
    QString stack;          // as the user named it
    double pixelSizeNm = 0; // fitted with
    SeriesFit fit;
    CtfFitOptions options;
};

// Whether a tilt goes into the files other programs read: its own fit reliable, or filled.
bool seriesWritten(const TiltFit &tilt);

// The table on the standard output, a line a tilt: section (from 1), tilt_deg, defocus_u_A,
// defocus_v_A, angle_deg, defocus_A (the mean at the image's centre), score, resolution_A,
// significance, reliable (the tilt's own fit), filled (yes: the values are the series' trend's),
// doubts. Cells of a tilt without values are empty.
QByteArray seriesTable(const SeriesRecord &record);

// IMOD's defocus file as ctfplotter writes it with astigmatism (version 3, flags 1): the line
// "1 0 0.0 0.0 0.0 3", then a line a tilt: the view from 1 twice, its tilt angle twice, defocus 1 and 2
// in nm (positive underfocus: U and V) and the astigmatism's angle in degrees (of U), tab-separated.
QByteArray seriesImodDefocus(const SeriesRecord &record);

// RELION 5's tilt series STAR: one data block named after the stack, a row a tilt with
// _rlnMicrographName (N@stack, N from 1), _rlnTomoNominalStageTiltAngle, _rlnTomoNominalTiltAxisAngle
// and the CTF columns RELION's CTF estimation adds: _rlnDefocusU, _rlnDefocusV, _rlnCtfAstigmatism,
// _rlnDefocusAngle, _rlnCtfFigureOfMerit, _rlnCtfMaxResolution.
QByteArray seriesStar(const SeriesRecord &record);

// CTFFIND's text with a row a tilt (fitoutputs' writer; the micrograph number is the section from 1).
QByteArray seriesCtffindText(const SeriesRecord &record, const QString &version, const QString &date);

int runFitSeries(const QStringList &arguments);

} // namespace orvalis::cli
