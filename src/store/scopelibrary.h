#pragma once
// The microscope library in the settings store: under SettingsKeyPath + "Default Scopes", one key
// per company, below it one key per model holding seven string values in instrument units.
#include "core/instrumentload.h"
#include "core/scopedata.h"
#include "store/settingskeys.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace orvalis {

// The name of the value that holds one of the seven ("Voltage", "Cs", "Cc", "dE", "Convergence",
// "dvv", "dii").
QString ScopeValueName(ScopeValue value);
// "C5": the optional eighth value, absent from an entry without it.
QString c5ValueName();

// One library entry as stored: the seven texts, unconverted, in instrument units.
struct ScopeData {
    QString Voltage;        // kV
    QString Cs;             // mm
    QString Cc;             // mm
    QString dE;             // eV
    QString dvv;            // ppm, high-tension ripple
    QString dii;            // ppm, objective lens current instability
    QString Convergence;    // mrad
    QString C5 = QString(); // mm, optional: empty for an entry without it (stored only when given); its
                            // initialiser lets the seven-value initialisations of before stand
};

struct ScopeModel {
    QString Model;
    ScopeData Data;
};

struct ScopeCompany {
    QString Company;
    QVector<ScopeModel> Models;
};

// Appends the companies in the store's order, each with its models. A value of a type other than
// string raises "Invalid data type for '%s'"; what was read before it stays in `library`.
void ReadScopeLibrary(QVector<ScopeCompany> &library);

// Creates or overwrites one entry, all seven values or none. A company or model name that is
// empty, holds a backslash or is longer than a key name may be is refused with OrvalisError (such
// an entry could never be listed again); a store that cannot be written raises
// "Cannot access registry".
void WriteScopeEntry(const QString &company, const QString &model, const ScopeData &data);

// Deletes one model, or a company with everything below it. The company stays when its last
// model goes. A name the library could never list is refused as WriteScopeEntry refuses it, and
// nothing is deleted.
void DeleteScopeEntry(const QString &company, const QString &model);
void DeleteScopeCompany(const QString &company);

// Start-up: fills `record` from the named entry unless the manufacturer is "Default" (or empty)
// or the entry is not in the library; returns whether it did. Company, Model and all seven values
// come from the entry. A value the entry lacks (missing or empty) takes the built-in instrument's,
// and `builtInValues` lists those as the user knows them ("HT Ripple 0.25 ppm"). A text that is no
// number raises "'%s' is not a valid floating point value" and leaves `record` as it was.
bool ReadSelectedScope(const QString &manufacturer, const QString &model, TScopeData &record,
                       QStringList *builtInValues = nullptr);

// The non-empty texts of `data`, converted to the record's units (mm -> nm, mrad -> rad,
// ppm -> fraction), replace the record's fields; all or none of them. A text that is no number throws
// OrvalisError naming its field (scopeValueFromText).
void ApplyScopeData(const ScopeData &data, TScopeData &record);
// The microscope an entry's seven texts describe, before it is stored: every text must be a number
// (an empty one is none) that checkInstrument takes. Throws OrvalisError naming the field otherwise.
TScopeData ScopeRecordFromData(const QString &company, const QString &model, const ScopeData &data);
// The record's values as library texts in instrument units.
ScopeData ScopeDataFromRecord(const TScopeData &record);

} // namespace orvalis
