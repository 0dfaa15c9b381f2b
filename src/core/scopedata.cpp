#include "scopedata.h"

namespace orvalis {

TScopeData defaultScope()
{
    TScopeData s;
    s.Company = defaultManufacturer();
    s.Model = QStringLiteral("Use SetUp Menu to change");
    s.Voltage = 200;
    s.Cs = 1.2e6;
    s.Cc = 1.2e6;
    s.dE = 0.6;
    s.Convergence = 3e-4;
    s.dvv = 2.5e-7;
    s.dii = 5e-7;
    return s;
}

QString defaultManufacturer()
{
    return QStringLiteral("Default");
}

} // namespace orvalis
