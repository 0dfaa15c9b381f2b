#pragma once
// The microscope library: under the settings key, one key per company, one per model below it, and
// in each model key seven texts describing the instrument, stored as typed.
#include "core/scopedata.h"

#include <QString>
#include <QVector>

namespace orvalis {

// The program's settings key below HKEY_CURRENT_USER; every key the program opens starts with it.
extern const QString SettingsKeyPath; // "\Software\Vantrel\Orvalis\"

// One library entry as stored: numbers as text, in instrument units (kV, mm, mm, eV, ppm, ppm, mrad).
struct ScopeData {
    QString Voltage;
    QString Cs;
    QString Cc;
    QString dE;
    QString dvv;
    QString dii;
    QString Convergence;
};

struct ScopeModel {
    QString name;
    ScopeData data;
};

struct ScopeCompany {
    QString name;
    QVector<ScopeModel> models;
};

// Appends the companies in registry order, each with its models. A value of another type than text
// throws "Invalid data type for '<name>'", and what was read before it stays in `library`.
void ReadScopeLibrary(QVector<ScopeCompany> &library);

// Creates or overwrites one entry. A company or model name that is empty or holds a backslash would
// make an entry the library can never list again: it is refused with an OrvalisError naming it, and
// nothing is written. The seven texts are written as they are.
void WriteScopeEntry(const QString &company, const QString &model, const ScopeData &data);

void DeleteScopeEntry(const QString &company, const QString &model);
void DeleteScopeCompany(const QString &company);

// The record of an entry in the program's units (nm, rad, fractions); a text that is not a number
// throws "'<text>' is not a valid floating point value".
TScopeData scopeRecordOf(const QString &company, const QString &model, const ScopeData &data);

// Fills `record` from the named entry (Voltage, Cs, Cc, dE and Convergence; dvv and dii stay 0, which
// loading replaces by the defaults) and returns true. False, leaving `record` alone, when the
// manufacturer is empty or "Default" or when the library, company or model key is missing.
bool ReadSelectedScope(const QString &manufacturer, const QString &model, TScopeData &record);

} // namespace orvalis
