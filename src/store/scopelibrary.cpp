#include "store/scopelibrary.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "store/registry.h"

namespace orvalis {

namespace {

QString libraryKey()
{
    return settingsKey(DefaultScopesKeyName);
}

void checkName(const QString &name, const char *what)
{
    if (name.isEmpty() || name.contains(QLatin1Char('\\')) || name.size() > 255)
        throw OrvalisError(QStringLiteral("The %1 name '%2' is not stored: a name must not be empty, contain a "
                                          "backslash or be longer than 255 characters")
                               .arg(QLatin1String(what), name));
}

// Conversion factors from the stored instrument units into the record's.
constexpr double mmToNm = 1e6;
constexpr double mradToRad = 1e-3;
constexpr double ppmToFraction = 1e-6;

// The seven values of an entry, in the order they are written and read: the stored name, the text
// in ScopeData, the record's field and the factor from the one to the other, and the label and
// unit the dialogs show.
struct Quantity {
    const char *name;
    QString ScopeData::*text;
    double TScopeData::*field;
    double factor;
    const char *label;
    const char *unit;
};
const Quantity quantities[] = {
    {"Voltage", &ScopeData::Voltage, &TScopeData::Voltage, 1, "Voltage", "kV"},
    {"Cs", &ScopeData::Cs, &TScopeData::Cs, mmToNm, "Cs", "mm"},
    {"Cc", &ScopeData::Cc, &TScopeData::Cc, mmToNm, "Cc", "mm"},
    {"dE", &ScopeData::dE, &TScopeData::dE, 1, "Energy Spread", "eV"},
    {"Convergence", &ScopeData::Convergence, &TScopeData::Convergence, mradToRad, "Convergence", "mrad"},
    {"dvv", &ScopeData::dvv, &TScopeData::dvv, ppmToFraction, "HT Ripple", "ppm"},
    {"dii", &ScopeData::dii, &TScopeData::dii, ppmToFraction, "Obj Lens Instab.", "ppm"},
};

} // namespace

void ReadScopeLibrary(QVector<ScopeCompany> &library)
{
    Registry registry;
    // One consistent view, also while another copy of the program imports a list.
    Registry::Transaction snapshot(registry, false);
    if (!registry.OpenKey(libraryKey(), false))
        return;
    const QStringList companies = registry.GetKeyNames();
    registry.CloseKey();
    for (const QString &company : companies) {
        library.push_back(ScopeCompany{company, {}});
        const QString companyKey = libraryKey() + QLatin1Char('\\') + company;
        if (!registry.OpenKey(companyKey, false))
            continue;
        // The company's models with all their values in one read: a large library lists at once.
        const QVector<StoreDatabase::ChildValues> models = registry.GetSubKeysWithValues();
        for (const StoreDatabase::ChildValues &model : models) {
            ScopeData d;
            for (const Quantity &q : quantities)
                d.*q.text = Registry::StringOf(model.values, QString::fromLatin1(q.name));
            library.back().Models.push_back(ScopeModel{model.name, d});
        }
        registry.CloseKey();
    }
}

void WriteScopeEntry(const QString &company, const QString &model, const ScopeData &data)
{
    checkName(company, "company");
    checkName(model, "model");
    Registry registry;
    Registry::Transaction transaction(registry, true);
    if (!registry.OpenKey(libraryKey() + QLatin1Char('\\') + company + QLatin1Char('\\') + model, true))
        throw OrvalisError(QStringLiteral("Cannot access registry"));
    for (const Quantity &q : quantities)
        registry.WriteString(QString::fromLatin1(q.name), data.*q.text);
    registry.CloseKey();
    transaction.commit();
}

void DeleteScopeEntry(const QString &company, const QString &model)
{
    // An empty name would make the path that of the whole company (or library).
    checkName(company, "company");
    checkName(model, "model");
    Registry registry;
    registry.DeleteKey(libraryKey() + QLatin1Char('\\') + company + QLatin1Char('\\') + model);
}

void DeleteScopeCompany(const QString &company)
{
    checkName(company, "company");
    Registry registry;
    registry.DeleteKey(libraryKey() + QLatin1Char('\\') + company);
}

bool ReadSelectedScope(const QString &manufacturer, const QString &model, TScopeData &record,
                       QStringList *builtInValues)
{
    const QString company = manufacturer.isEmpty() ? QStringLiteral("Default") : manufacturer;
    if (company == QLatin1String("Default"))
        return false;
    Registry registry;
    if (!registry.OpenKey(libraryKey(), false) || !registry.OpenKey(company, false) || !registry.OpenKey(model, false))
        return false;
    // Converted before anything is stored, so a bad text leaves the record whole.
    TScopeData r = record;
    r.Company = company;
    r.Model = model;
    const TScopeData builtIn = defaultScope();
    QStringList lacking;
    for (const Quantity &q : quantities) {
        const QString text = registry.ReadString(QString::fromLatin1(q.name));
        if (text.isEmpty()) {
            r.*q.field = builtIn.*q.field;
            lacking << QStringLiteral("%1 %2 %3")
                           .arg(QLatin1String(q.label), formatGeneral(builtIn.*q.field / q.factor),
                                QLatin1String(q.unit));
        } else {
            r.*q.field = strToFloat(text) * q.factor;
        }
    }
    record = r;
    if (builtInValues)
        *builtInValues = lacking;
    return true;
}

void ApplyScopeData(const ScopeData &data, TScopeData &record)
{
    TScopeData r = record;
    for (const Quantity &q : quantities)
        if (!(data.*q.text).isEmpty())
            r.*q.field = strToFloat(data.*q.text) * q.factor;
    record = r;
}

ScopeData ScopeDataFromRecord(const TScopeData &record)
{
    ScopeData d;
    for (const Quantity &q : quantities)
        d.*q.text = formatGeneral(record.*q.field / q.factor);
    return d;
}

} // namespace orvalis
