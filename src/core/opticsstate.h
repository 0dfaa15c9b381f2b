#pragma once
// The one set of numbers every curve, pattern and map is computed from: physics only. A session
// (CtfSession) owns the instance a window or the shell shows and changes it through its setters; core
// functions read it and never keep a copy.
#include <QString>

#include <optional>

namespace orvalis {

struct OpticsState {
    // The loaded instrument.
    QString Company;
    QString Model;
    double Voltage = 0;     // kV
    double Cs = 0;          // nm
    double Cc = 0;          // nm
    double dE = 0;          // eV
    double dvv = 0;         // fraction; a missing (0) value is replaced by 2.5e-7 on loading
    double dii = 0;         // fraction; a missing (0) value is replaced by 5e-7 on loading
    double Convergence = 0; // rad, the instrument's semi-angle at the load magnification, 518 k (alpha0)
    double Alpha = 0;       // rad, the semi-angle in use (follows the magnification)
    double C5 = 0;          // nm, fifth-order spherical aberration; 0 for an entry without it

    // Derived from the instrument on loading.
    double Wavelength = 0;       // nm, relativistic electron wavelength
    double FocalSpread = 0;      // nm
    double ChiDefocusFactor = 0; // nm, pi * lambda
    double ChiCsFactor = 0;      // nm^4, pi * Cs * lambda^3 / 2
    double Scherzer = 0;         // nm, negative (positive for a negative Cs)
    double ExtScherzer = 0;      // nm
    double PointResTheory = 0;   // nm
    double InfoLimitTheory = 0;  // nm

    // Aberrations and view.
    double Defocus = 0;   // nm, negative is underfocus
    double A2 = 0;        // nm, two-fold astigmatism, never negative
    double A3 = 0;        // nm, three-fold astigmatism, never negative
    double A2Azimuth = 0; // rad, of the two-fold astigmatism's most underfocus from the kx axis towards +ky
    double A3Azimuth = 0; // rad, turn of the three-fold astigmatism from its place along +ky
    double Direction = 0; // rad, direction of the 1D profile from the kx axis; positive points below

    // The specimen and the detector. Each term is off at 0, and with all of them off every curve,
    // pattern and map is computed with exactly the arithmetic of the plain phase.
    double AmplitudeContrast = 0; // fraction Q, 0 <= Q < 1: the CTF is sin(chi - asin Q - PhaseShift)
    double PhaseShift = 0;        // rad, of a phase plate
    double BFactor = 0;           // nm^2 (1 A^2 = 0.01 nm^2): the CTF and its envelopes damped by exp(-B k^2 / 4)
    double PixelSize = 0;         // nm at the specimen; 0 when no detector is set (no Nyquist frequency)
    double UpTo = 0;              // nm^-1, highest spatial frequency shown

    // Written by the latest 1D computation; none when that computation did not find it.
    std::optional<double> PointRes;  // nm, current point-to-point resolution
    std::optional<double> InfoLimit; // nm, current information limit

    int PointDensity = 0; // samples per 10 nm^-1 of the 1D curve
    int StepFactor = 0;   // 1 full sampling, 4 coarse: as the latest change asked (a slider dragged)

    bool PlotterMode = false;
    bool SecondCTF = false;
    bool ShowEnvelopes = false;
    bool Initialised = false;
};

} // namespace orvalis
