#include "scopelibrary.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "store/registry.h"

namespace orvalis {

const QString SettingsKeyPath = QStringLiteral("\\Software\\Vantrel\\Orvalis\\");

namespace {

QString libraryKey()
{
    return SettingsKeyPath + QStringLiteral("Default Scopes");
}

QString entryKey(const QString &company, const QString &model)
{
    return libraryKey() + QLatin1Char('\\') + company + QLatin1Char('\\') + model;
}

void checkName(const QString &what, const QString &name)
{
    if (name.isEmpty())
        throw OrvalisError(QStringLiteral("The %1 name is empty; the microscope was not stored.").arg(what));
    if (name.contains(QLatin1Char('\\')))
        throw OrvalisError(QStringLiteral("The %1 name \"%2\" contains a backslash, which cannot be part of a "
                                          "name; the microscope was not stored.")
                               .arg(what, name));
}

} // namespace

void ReadScopeLibrary(QVector<ScopeCompany> &library)
{
    Registry reg;
    Registry::Transaction reading(reg, false); // one consistent view, and cached lookups
    if (!reg.OpenKey(libraryKey(), false))
        return;
    const QStringList companies = reg.GetKeyNames();
    for (const QString &company : companies) {
        library.append(ScopeCompany{company, {}});
        const QString companyKey = libraryKey() + QLatin1Char('\\') + company;
        if (!reg.OpenKey(companyKey, false))
            continue;
        // The company's models with their values in one read: a large library lists at once.
        const QVector<StoreDatabase::ChildValues> models = reg.GetSubKeysWithValues();
        for (const StoreDatabase::ChildValues &model : models) {
            const auto text = [&model](const char *name) {
                return Registry::StringOf(model.values, QString::fromLatin1(name));
            };
            ScopeData d;
            d.Voltage = text("Voltage");
            d.Cs = text("Cs");
            d.Cc = text("Cc");
            d.dE = text("dE");
            d.dvv = text("dvv");
            d.dii = text("dii");
            d.Convergence = text("Convergence");
            library.last().models.append(ScopeModel{model.name, d});
        }
    }
    reading.commit();
}

void WriteScopeEntry(const QString &company, const QString &model, const ScopeData &data)
{
    checkName(QStringLiteral("company"), company);
    checkName(QStringLiteral("model"), model);
    Registry reg;
    Registry::Transaction writing(reg, true); // all seven values or none
    if (!reg.OpenKey(entryKey(company, model), true))
        return;
    reg.WriteString(QStringLiteral("Voltage"), data.Voltage);
    reg.WriteString(QStringLiteral("Cs"), data.Cs);
    reg.WriteString(QStringLiteral("Cc"), data.Cc);
    reg.WriteString(QStringLiteral("dE"), data.dE);
    reg.WriteString(QStringLiteral("Convergence"), data.Convergence);
    reg.WriteString(QStringLiteral("dvv"), data.dvv);
    reg.WriteString(QStringLiteral("dii"), data.dii);
    reg.CloseKey();
    writing.commit();
}

void DeleteScopeEntry(const QString &company, const QString &model)
{
    Registry reg;
    reg.DeleteKey(entryKey(company, model));
}

void DeleteScopeCompany(const QString &company)
{
    Registry reg;
    reg.DeleteKey(libraryKey() + QLatin1Char('\\') + company);
}

TScopeData scopeRecordOf(const QString &company, const QString &model, const ScopeData &data)
{
    TScopeData s;
    s.Company = company;
    s.Model = model;
    s.Voltage = strToFloat(data.Voltage);
    s.Cs = strToFloat(data.Cs) * 1000000;
    s.Cc = strToFloat(data.Cc) * 1000000;
    s.dE = strToFloat(data.dE);
    s.Convergence = strToFloat(data.Convergence) * 0.001;
    s.dvv = data.dvv.isEmpty() ? 0 : strToFloat(data.dvv) * 0.000001;
    s.dii = data.dii.isEmpty() ? 0 : strToFloat(data.dii) * 0.000001;
    return s;
}

bool ReadSelectedScope(const QString &manufacturer, const QString &model, TScopeData &record)
{
    const QString company = manufacturer.isEmpty() ? QStringLiteral("Default") : manufacturer;
    if (company == QLatin1String("Default"))
        return false;
    Registry reg;
    if (!reg.OpenKey(libraryKey(), false) || !reg.OpenKey(libraryKey() + QLatin1Char('\\') + company, false)
        || !reg.OpenKey(entryKey(company, model), false))
        return false;
    ScopeData d;
    d.Voltage = reg.ReadString(QStringLiteral("Voltage"));
    d.Cs = reg.ReadString(QStringLiteral("Cs"));
    d.Cc = reg.ReadString(QStringLiteral("Cc"));
    d.dE = reg.ReadString(QStringLiteral("dE"));
    d.Convergence = reg.ReadString(QStringLiteral("Convergence"));
    TScopeData s = scopeRecordOf(company, model, d); // dvv and dii are not read: 0 stands for the defaults
    s.A3 = record.A3;
    s.Defocus = record.Defocus;
    record = s;
    return true;
}

} // namespace orvalis
