#include "store/windowsettings.h"

#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/orvaliserror.h"
#include "core/specimenterms.h"
#include "store/registry.h"
#include "store/settingskeys.h"

#include <QVector>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

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
    Reader(Registry &registry, WindowSettings &settings) : m_registry(registry), m_settings(settings) {}

    // The sub-key whose values are read next.
    void inKey(const QString &subKey) { m_subKey = subKey; }

    template <class T, class Read> void read(std::optional<T> &into, const QString &value, Read readValue)
    {
        if (!m_registry.ValueExists(value))
            return;
        try {
            into = readValue(value);
        } catch (const OrvalisError &e) {
            unreadable(value, e);
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
            unreadable(value, e);
        }
    }

private:
    void unreadable(const QString &value, const OrvalisError &e)
    {
        m_settings.Problems << e.text();
        m_settings.Unreadable[m_subKey] << value;
    }

    Registry &m_registry;
    WindowSettings &m_settings;
    QString m_subKey;
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
    r.real(s.AmplitudeContrast, name("Amplitude Contrast"));
    r.real(s.PhaseShift, name("Phase Shift"));
    r.real(s.BFactor, name("B-Factor"));
    r.real(s.PixelSize, name("Pixel Size"));
    r.flag(s.FineDefocus, name("Fine Defocus"));
    r.integer(s.A3Convention, name("A3 Convention"));
    r.integer(s.ResolutionUnit, name("Resolution Unit"));
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
        {&s.PlotMode, "Plot Mode"}, {&s.Update2D, "Update2D"},   {&s.Combined, "Combined"},   {&s.Spatial, "Spatial"},
        {&s.Temporal, "Temporal"},  {&s.Envelopes, "Envelopes"}, {&s.Intensity, "Intensity"}, {&s.Symmetr, "Symmetr"},
        {&s.Toolbar, "Toolbar"},    {&s.Headers, "Headers"},
    };
    for (const auto &v : required)
        r.requiredOnOff(*v.into, name(v.value));
    r.onOff(s.RelionSign, name("RELION Sign"));
    r.onOff(s.Sampled2D, name("Sampled 2D"));
}

void put(Registry &r, const QString &value, const QString &v)
{
    r.WriteString(value, v);
}
void put(Registry &r, const QString &value, int v)
{
    r.WriteInteger(value, v);
}
void put(Registry &r, const QString &value, bool v)
{
    r.WriteBool(value, v);
}
void put(Registry &r, const QString &value, double v)
{
    r.WriteFloat(value, v);
}

// The present values of one sub-key, written in the order they were added.
class Group {
public:
    explicit Group(QString subKey) : m_subKey(std::move(subKey)) {}
    template <class T> Group &add(const QString &value, const std::optional<T> &v)
    {
        if (v)
            m_writes.push_back([value, x = *v](Registry &r) { put(r, value, x); });
        return *this;
    }
    template <class T> Group &add(const char *value, const std::optional<T> &v)
    {
        return add(QString::fromLatin1(value), v);
    }
    // A value stored only while it differs from its default: absent here, it goes from the store.
    template <class T> Group &addOrRemove(const char *value, const std::optional<T> &v)
    {
        if (!v)
            m_removals << QString::fromLatin1(value);
        return add(value, v);
    }
    // One transaction: the group is written whole or not at all. A group with nothing to write
    // does not create its key. The values that could not be read go first; what is written again
    // takes their place.
    void write(Registry &registry, const QStringList &unreadable) const
    {
        const bool writes = !m_writes.isEmpty() || !unreadable.isEmpty();
        if (!writes && m_removals.isEmpty())
            return;
        Registry::Transaction transaction(registry, true);
        if (!registry.OpenKey(settingsKey(m_subKey), writes)) {
            if (writes)
                throw OrvalisError(QStringLiteral("Cannot access registry"));
            return; // nothing stored to remove
        }
        for (const QString &value : unreadable + m_removals)
            if (registry.ValueExists(value))
                registry.DeleteValue(value);
        for (const auto &w : m_writes)
            w(registry);
        registry.CloseKey();
        transaction.commit();
    }

    const QString &subKey() const { return m_subKey; }

private:
    QString m_subKey;
    QVector<std::function<void(Registry &)>> m_writes;
    QStringList m_removals;
};

} // namespace

WindowSettings ReadWindowSettings()
{
    WindowSettings s;
    Registry registry;
    Registry::Transaction snapshot(registry, false);
    Reader r(registry, s);
    if (registry.OpenKey(settingsKey(PositionKeyName), false)) {
        r.inKey(PositionKeyName);
        readPosition(r, s);
        if (registry.OpenKey(settingsKey(CoolBarKeyName), false)) {
            r.inKey(CoolBarKeyName);
            readCoolBar(registry, r, s);
        }
    }
    if (registry.OpenKey(settingsKey(DefaultKeyName), false)) {
        r.inKey(DefaultKeyName);
        readDefault(r, s);
    }
    if (registry.OpenKey(settingsKey(ButtonBarKeyName), false)) {
        r.inKey(ButtonBarKeyName);
        readButtonBar(r, s);
    }
    registry.CloseKey();
    return s;
}

QStringList FitToAcceptedRanges(WindowSettings &s)
{
    QStringList changed;
    const auto note = [&changed](const char *value, const QString &stored, const QString &used) {
        changed << QStringLiteral("'%1' (%2): %3 is used").arg(QLatin1String(value), stored, used);
    };
    const auto fit = [&note](std::optional<int> &value, const char *valueName, int lowest, int highest) {
        if (value && (*value < lowest || *value > highest)) {
            const int used = std::clamp(*value, lowest, highest);
            note(valueName, QString::number(*value), QString::number(used));
            value = used;
        }
    };
    if (s.UpTo && !(*s.UpTo > 0 && *s.UpTo <= MaxUpTo)) {
        // Every chart and pattern divides by the range: one that is no positive number is as good as none.
        const double used = std::isfinite(*s.UpTo) && *s.UpTo > MaxUpTo ? MaxUpTo : 10.0;
        note("UpTo", formatGeneral(*s.UpTo), formatGeneral(used));
        s.UpTo = used;
    }
    fit(s.Underfocus, "Underfocus", -MaxDefocus, MaxDefocus);
    fit(s.Overfocus, "Overfocus", -MaxDefocus, MaxDefocus);
    fit(s.a2max, "a2max", 0, MaxAstigmatism);
    fit(s.a3max, "a3max", 0, MaxAstigmatism);
    fit(s.Uses, "Uses", 0, std::numeric_limits<int>::max());
    // A convention this version does not know is its default, none stored.
    const auto known = [&note](std::optional<int> &value, const char *valueName, int highest) {
        if (value && (*value < 0 || *value > highest)) {
            note(valueName, QString::number(*value), QStringLiteral("0"));
            value.reset();
        }
    };
    known(s.A3Convention, "A3 Convention", 1);
    known(s.ResolutionUnit, "Resolution Unit", 2);
    const struct {
        std::optional<double> *value;
        const char *valueName;
        SpecimenField field;
    } specimen[] = {
        {&s.AmplitudeContrast, "Amplitude Contrast", SpecimenField::AmplitudeContrast},
        {&s.PhaseShift, "Phase Shift", SpecimenField::PhaseShift},
        {&s.BFactor, "B-Factor", SpecimenField::BFactor},
        {&s.PixelSize, "Pixel Size", SpecimenField::PixelSize},
    };
    for (const auto &t : specimen) {
        if (*t.value && !specimenRule(t.field, **t.value).isEmpty()) {
            note(t.valueName, formatGeneral(**t.value), QStringLiteral("0"));
            t.value->reset(); // none: the term is left out
        }
    }
    // Tenths of a nanometre cannot count up to the ends of a wider range.
    if (s.FineDefocus.value_or(false)) {
        const auto beyond = [](const std::optional<int> &end) {
            return end && (*end < -MaxFineDefocus || *end > MaxFineDefocus);
        };
        if (beyond(s.Underfocus) || beyond(s.Overfocus)) {
            note("Fine Defocus", QStringLiteral("1"), QStringLiteral("0"));
            s.FineDefocus.reset();
        }
    }
    return changed;
}

void WriteWindowSettings(const WindowSettings &s)
{
    Group main(DefaultKeyName);
    main.add("SaveDir", s.SaveDir).add("Scope Manuf", s.ScopeManuf).add("Scope Model", s.ScopeModel);
    main.add("UpTo", s.UpTo).add("dvv", s.dvv).add("dii", s.dii).add("Monochrome", s.Monochrome);
    main.add("Underfocus", s.Underfocus).add("Overfocus", s.Overfocus).add("a2max", s.a2max).add("a3max", s.a3max);
    main.add("Uses", s.Uses);
    main.addOrRemove("Amplitude Contrast", s.AmplitudeContrast).addOrRemove("Phase Shift", s.PhaseShift);
    main.addOrRemove("B-Factor", s.BFactor).addOrRemove("Pixel Size", s.PixelSize);
    main.addOrRemove("Fine Defocus", s.FineDefocus);
    main.addOrRemove("A3 Convention", s.A3Convention).addOrRemove("Resolution Unit", s.ResolutionUnit);

    Group position(PositionKeyName);
    position.add("Window state", s.WindowState).add("Top", s.Top).add("Left", s.Left);
    position.add("Width", s.Width).add("Height", s.Height);
    for (int i = 0; i < 5; ++i)
        position.add(indexed("Splitter", i + 1), s.Splitter[i]);

    Group coolBar(CoolBarKeyName);
    for (auto band = s.Bands.cbegin(); band != s.Bands.cend(); ++band) {
        const int i = band.key();
        coolBar.add(indexed("Control", i), band->Control).add(indexed("Control Width", i), band->ControlWidth);
        coolBar.add(indexed("Break", i), band->Break).add(indexed("Width", i), band->Width);
    }

    // The order in which the values are first created is the order they are listed in.
    Group buttonBar(ButtonBarKeyName);
    buttonBar.add("Show2d", s.Show2d).add("Update2D", s.Update2D).add("Combined", s.Combined);
    buttonBar.add("Spatial", s.Spatial).add("Temporal", s.Temporal).add("Show3D", s.Show3D);
    buttonBar.add("Envelopes", s.Envelopes).add("Intensity", s.Intensity).add("Symmetr", s.Symmetr);
    buttonBar.add("Plot Mode", s.PlotMode).add("Toolbar", s.Toolbar).add("Headers", s.Headers);
    buttonBar.addOrRemove("RELION Sign", s.RelionSign).addOrRemove("Sampled 2D", s.Sampled2D);

    Registry registry;
    for (const Group *group : {&main, &position, &coolBar, &buttonBar})
        group->write(registry, s.Unreadable.value(group->subKey()));
}

} // namespace orvalis
