#pragma once
// One microscope in memory, copied whole. Units are the program's internal ones.
#include "core/units.h"

#include <QString>

namespace orvalis {

struct TScopeData {
    QString Company;
    QString Model;
    double Voltage = 0;     // kV, accelerating voltage
    double Cs = 0;          // nm, spherical aberration constant (1 mm = 1e6 nm)
    double Cc = 0;          // nm, chromatic aberration constant
    double dE = 0;          // eV, energy spread
    double Convergence = 0; // rad, illumination semi-angle at the magnification slider's load position (518 k)
    double A3 = 0;          // nm, three-fold astigmatism handed to the optics state on loading
    double Defocus = 0;     // nm, the defocus last used with this record (negative is underfocus)
    double dvv = 0;         // fraction, high-tension ripple dV/V; 0 stands for a missing value
    double dii = 0;         // fraction, objective lens current instability dI/I; 0 stands for missing
    double C5 = 0;          // nm, fifth-order spherical aberration; 0 for an entry without it
};

// The built-in instrument used when no library entry is selected.
TScopeData defaultScope();

// "Default": the built-in instrument's company, and the stored manufacturer that selects it.
QString defaultManufacturer();

} // namespace orvalis
