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

// Each of the seven values: its name in the store and the entry's text that holds it.
struct LibraryValue {
    const char *name;
    QString ScopeData::*text;
};

const LibraryValue &libraryValue(ScopeValue value)
{
    static const LibraryValue values[] = {
        {"Voltage", &ScopeData::Voltage},
        {"Cs", &ScopeData::Cs},
        {"Cc", &ScopeData::Cc},
        {"dE", &ScopeData::dE},
        {"Convergence", &ScopeData::Convergence},
        {"dvv", &ScopeData::dvv},
        {"dii", &ScopeData::dii},
    };
    return values[static_cast<int>(value)];
}

QString ScopeData::*textOf(ScopeValue value)
{
    return libraryValue(value).text;
}

void checkName(const QString &name, const char *what)
{
    if (name.isEmpty() || name.contains(QLatin1Char('\\')) || name.size() > 255)
        throw OrvalisError(QStringLiteral("The %1 name '%2' is not stored: a name must not be empty, contain a "
                                          "backslash or be longer than 255 characters")
                               .arg(QLatin1String(what), inputExcerpt(name)));
}

} // namespace

QString c5ValueName()
{
    return QStringLiteral("C5");
}

QString ScopeValueName(ScopeValue value)
{
    return QString::fromLatin1(libraryValue(value).name);
}

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
            for (ScopeValue v : AllScopeValues)
                d.*textOf(v) = Registry::StringOf(model.values, ScopeValueName(v));
            d.C5 = Registry::StringOf(model.values, c5ValueName());
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
    for (ScopeValue v : AllScopeValues) // in the order of the files
        registry.WriteString(ScopeValueName(v), data.*textOf(v));
    // An entry without C5 is written as before it existed; one that loses it loses the value.
    if (!data.C5.isEmpty())
        registry.WriteString(c5ValueName(), data.C5);
    else if (registry.ValueExists(c5ValueName()))
        registry.DeleteValue(c5ValueName());
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
    const QString company = manufacturer.isEmpty() ? defaultManufacturer() : manufacturer;
    if (company == defaultManufacturer())
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
    for (ScopeValue v : AllScopeValues) {
        const QString text = registry.ReadString(ScopeValueName(v));
        if (text.isEmpty()) {
            r.*scopeValueField(v) = builtIn.*scopeValueField(v);
            lacking << scopeValueWithUnit(v, builtIn.*scopeValueField(v));
        } else {
            r.*scopeValueField(v) = scopeValueFromText(v, text);
        }
    }
    r.C5 = c5FromText(registry.ReadString(c5ValueName()));
    record = r;
    if (builtInValues)
        *builtInValues = lacking;
    return true;
}

void ApplyScopeData(const ScopeData &data, TScopeData &record)
{
    TScopeData r = record;
    for (ScopeValue v : AllScopeValues)
        if (!(data.*textOf(v)).isEmpty())
            r.*scopeValueField(v) = scopeValueFromText(v, data.*textOf(v));
    if (!data.C5.isEmpty())
        r.C5 = c5FromText(data.C5);
    record = r;
}

TScopeData ScopeRecordFromData(const QString &company, const QString &model, const ScopeData &data)
{
    TScopeData r;
    r.Company = company;
    r.Model = model;
    for (ScopeValue v : AllScopeValues)
        r.*scopeValueField(v) = scopeValueFromText(v, data.*textOf(v));
    r.C5 = c5FromText(data.C5);
    checkInstrument(r);
    return r;
}

ScopeData ScopeDataFromRecord(const TScopeData &record)
{
    ScopeData d;
    for (ScopeValue v : AllScopeValues)
        d.*textOf(v) = scopeValueText(v, record.*scopeValueField(v));
    d.C5 = c5Text(record.C5);
    return d;
}

} // namespace orvalis
