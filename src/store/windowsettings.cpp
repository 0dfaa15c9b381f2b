#include "store/windowsettings.h"

#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/settingskeys.h"

namespace orvalis {
namespace {

QString name(const char *latin1)
{
    return QString::fromLatin1(latin1);
}

QString indexed(const char *stem, int i)
{
    return QString::fromLatin1(stem) + QString::number(i);
}

// Reads value by value: one that is absent stays absent; one that cannot be read stays absent and
// its error text is kept for the user.
class Reader {
public:
    Reader(Registry &registry, QStringList &problems) : m_registry(registry), m_problems(problems) {}

    template <class T, class Read> void read(std::optional<T> &into, const QString &value, Read readValue)
    {
        if (!m_registry.ValueExists(value))
            return;
        try {
            into = readValue(value);
        } catch (const OrvalisError &e) {
            m_problems << e.text();
        }
    }
    void string(std::optional<QString> &into, const QString &value)
    {
        read(into, value, [this](const QString &n) { return m_registry.ReadString(n); });
    }
    void integer(std::optional<int> &into, const QString &value)
    {
        read(into, value, [this](const QString &n) { return m_registry.ReadInteger(n); });
    }
    void flag(std::optional<bool> &into, const QString &value)
    {
        read(into, value, [this](const QString &n) { return m_registry.ReadBool(n); });
    }
    void onOff(std::optional<bool> &into, const QString &value)
    {
        read(into, value, [this](const QString &n) { return m_registry.ReadInteger(n) == 1; });
    }
    void real(std::optional<double> &into, const QString &value)
    {
        read(into, value, [this](const QString &n) { return m_registry.ReadFloat(n); });
    }
    // A view choice the program always writes: missing once the key exists is a failure too.
    void requiredOnOff(std::optional<bool> &into, const QString &value)
    {
        try {
            into = m_registry.ReadInteger(value) == 1;
        } catch (const OrvalisError &e) {
            m_problems << e.text();
        }
    }

private:
    Registry &m_registry;
    QStringList &m_problems;
};

void readDefault(Reader &r, WindowSettings &s)
{
    r.string(s.SaveDir, name("SaveDir"));
    r.string(s.ScopeManuf, name("Scope Manuf"));
    r.string(s.ScopeModel, name("Scope Model"));
    r.real(s.UpTo, name("UpTo"));
    r.flag(s.Monochrome, name("Monochrome"));
    r.integer(s.Underfocus, name("Underfocus"));
    r.integer(s.Overfocus, name("Overfocus"));
    r.integer(s.a2max, name("a2max"));
    r.integer(s.a3max, name("a3max"));
    r.integer(s.Uses, name("Uses"));
}

void readPosition(Reader &r, WindowSettings &s)
{
    r.integer(s.Top, name("Top"));
    r.integer(s.Left, name("Left"));
    r.integer(s.Width, name("Width"));
    r.integer(s.Height, name("Height"));
    r.integer(s.WindowState, name("Window state"));
    for (int i = 0; i < 5; ++i)
        r.integer(s.Splitter[i], indexed("Splitter", i + 1));
}

void readCoolBar(Registry &registry, Reader &r, WindowSettings &s)
{
    // Bands are named by their index; any index may be stored, so the names are what is listed.
    for (const QString &value : registry.GetValueNames()) {
        if (!value.startsWith(QLatin1String("Control"), Qt::CaseInsensitive))
            continue;
        bool number = false;
        const int i = value.mid(7).toInt(&number);
        if (!number || i < 0 || indexed("Control", i).compare(value, Qt::CaseInsensitive) != 0)
            continue;
        CoolBand band;
        r.string(band.Control, value);
        if (!band.Control)
            continue;
        r.integer(band.ControlWidth, indexed("Control Width", i));
        r.flag(band.Break, indexed("Break", i));
        r.integer(band.Width, indexed("Width", i));
        s.Bands.insert(i, band);
    }
}

void readButtonBar(Reader &r, WindowSettings &s)
{
    r.onOff(s.Show2d, name("Show2d"));
    r.onOff(s.Show3D, name("Show3D"));
    const struct {
        std::optional<bool> *into;
        const char *value;
    } required[] = {
        {&s.PlotMode, "Plot Mode"}, {&s.Update2D, "Update2D"},   {&s.Combined, "Combined"},
        {&s.Spatial, "Spatial"},    {&s.Temporal, "Temporal"},   {&s.Envelopes, "Envelopes"},
        {&s.Intensity, "Intensity"}, {&s.Symmetr, "Symmetr"},    {&s.Toolbar, "Toolbar"},
        {&s.Headers, "Headers"},
    };
    for (const auto &v : required)
        r.requiredOnOff(*v.into, name(v.value));
}

// Opens or creates one sub-key and writes its group in one transaction.
template <class Write> void writeGroup(Registry &registry, const QString &subKey, Write write)
{
    Registry::Transaction transaction(registry, true);
    if (!registry.OpenKey(settingsKey(subKey), true))
        throw OrvalisError(QStringLiteral("Cannot access registry"));
    write();
    registry.CloseKey();
    transaction.commit();
}

} // namespace

WindowSettings ReadWindowSettings()
{
    WindowSettings s;
    Registry registry;
    Registry::Transaction snapshot(registry, false);
    Reader r(registry, s.Problems);
    if (registry.OpenKey(settingsKey(PositionKeyName), false)) {
        readPosition(r, s);
        if (registry.OpenKey(settingsKey(CoolBarKeyName), false))
            readCoolBar(registry, r, s);
    }
    if (registry.OpenKey(settingsKey(DefaultKeyName), false))
        readDefault(r, s);
    if (registry.OpenKey(settingsKey(ButtonBarKeyName), false))
        readButtonBar(r, s);
    registry.CloseKey();
    return s;
}

void WriteWindowSettings(const WindowSettings &s)
{
    Registry registry;
    const auto string = [&registry](const char *value, const std::optional<QString> &v) {
        if (v)
            registry.WriteString(name(value), *v);
    };
    const auto integer = [&registry](const QString &value, const std::optional<int> &v) {
        if (v)
            registry.WriteInteger(value, *v);
    };
    const auto flag = [&registry](const QString &value, const std::optional<bool> &v) {
        if (v)
            registry.WriteBool(value, *v);
    };
    const auto real = [&registry](const char *value, const std::optional<double> &v) {
        if (v)
            registry.WriteFloat(name(value), *v);
    };

    writeGroup(registry, DefaultKeyName, [&] {
        string("SaveDir", s.SaveDir);
        string("Scope Manuf", s.ScopeManuf);
        string("Scope Model", s.ScopeModel);
        real("UpTo", s.UpTo);
        real("dvv", s.dvv);
        real("dii", s.dii);
        flag(name("Monochrome"), s.Monochrome);
        integer(name("Underfocus"), s.Underfocus);
        integer(name("Overfocus"), s.Overfocus);
        integer(name("a2max"), s.a2max);
        integer(name("a3max"), s.a3max);
        integer(name("Uses"), s.Uses);
    });
    writeGroup(registry, PositionKeyName, [&] {
        integer(name("Window state"), s.WindowState);
        integer(name("Top"), s.Top);
        integer(name("Left"), s.Left);
        integer(name("Width"), s.Width);
        integer(name("Height"), s.Height);
        for (int i = 0; i < 5; ++i)
            integer(indexed("Splitter", i + 1), s.Splitter[i]);
    });
    writeGroup(registry, CoolBarKeyName, [&] {
        for (auto band = s.Bands.cbegin(); band != s.Bands.cend(); ++band) {
            const int i = band.key();
            if (band->Control)
                registry.WriteString(indexed("Control", i), *band->Control);
            integer(indexed("Control Width", i), band->ControlWidth);
            flag(indexed("Break", i), band->Break);
            integer(indexed("Width", i), band->Width);
        }
    });
    writeGroup(registry, ButtonBarKeyName, [&] {
        // The order in which the values are first created is the order they are listed in.
        const std::pair<const char *, const std::optional<bool> *> values[] = {
            {"Show2d", &s.Show2d},       {"Update2D", &s.Update2D},   {"Combined", &s.Combined},
            {"Spatial", &s.Spatial},     {"Temporal", &s.Temporal},   {"Show3D", &s.Show3D},
            {"Envelopes", &s.Envelopes}, {"Intensity", &s.Intensity}, {"Symmetr", &s.Symmetr},
            {"Plot Mode", &s.PlotMode},  {"Toolbar", &s.Toolbar},     {"Headers", &s.Headers},
        };
        for (const auto &v : values)
            flag(name(v.first), *v.second);
    });
}

} // namespace orvalis
