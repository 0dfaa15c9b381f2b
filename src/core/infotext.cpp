#include "infotext.h"

#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/units.h"

namespace orvalis {
namespace {

void appendBlock(QStringList &lines, int number, const TScopeData &r, const OpticsState &state)
{
    lines << QStringLiteral("------------ Microscope ") + QString::number(number)
          << QStringLiteral("Manufacturer: \t") + r.Company << QStringLiteral("Model: \t\t") + r.Model
          << QStringLiteral("Voltage: \t\t") + formatGeneral(r.Voltage) + QStringLiteral(" keV")
          << QStringLiteral("Cs:  \t\t") + csMillimetresText(r.Cs) + QStringLiteral(" mm");
    // Only an instrument with a C5 has the line: the blocks of the others keep their eleven lines.
    if (r.C5 != 0)
        lines << QStringLiteral("C5:  \t\t") + formatGeneral(nmToMm(r.C5)) + QStringLiteral(" mm");
    lines << QStringLiteral("Cc:  \t\t") + formatFixed(nmToMmByProduct(r.Cc), 1) + QStringLiteral(" mm")
          << QStringLiteral("Energy Spread: \t") + formatGeneral(r.dE) + QStringLiteral(" eV")
          << QStringLiteral("Convergence: \t") + formatFixed(radToMrad(r.Convergence), 2) + QStringLiteral(" mrad")
          << QStringLiteral("Focal Spread: \t") + formatFixed(state.FocalSpread, 2) + QStringLiteral(" nm")
          << QStringLiteral("Max Frequency: \t") + formatFixed(state.UpTo, 2) + QStringLiteral(" nm-1") << QString();
}

} // namespace

QStringList infoTextLines(const OpticsState &state, const TScopeData &record1, const TScopeData &record2)
{
    QStringList lines;
    appendBlock(lines, 1, record1, state);
    if (state.PlotterMode)
        appendBlock(lines, 2, record2, state);
    return lines;
}

} // namespace orvalis
