#pragma once
// The curves a micrograph adds to the 1D chart, stated once for every picture that draws them (the
// window's chart, a fit's diagnostics plot): their order, object names, the names a user reads in the
// legend, the menu and the readout, and their pens. Their colours are the Okabe-Ito palette's, chosen
// apart from the envelopes' (teal, green, orange) and the CTF's navy: black for what was measured,
// reddish purple for the model (its envelope dashed in the same hue) and blue for the agreement with
// its resolution marker, dashed apart from the navy CTF. Told apart by colour-blind eyes too; in
// monochrome by their dash patterns.
#include <QColor>
#include <QPen>
#include <QString>
#include <QVector>

#include <iterator>

namespace orvalis {

enum class MicrographCurve { Average, Model, Envelope, Agreement, HeldTo };

struct MicrographCurveLook {
    MicrographCurve curve;
    const char *objectName; // the chart series' objectName
    const char *name;       // what the legend, the View menu and the readout call it (UTF-8)
    const char *action;     // the View menu item's objectName
    QRgb colour;
    Qt::PenStyle style;            // in colour
    qreal width;                   // px
    QVector<qreal> monochromeDash; // in monochrome, black; empty: solid
};

inline const MicrographCurveLook micrographCurves[] = {
    {MicrographCurve::Average,
     "MicrographAverage",
     "Spectrum",
     "ShowMicrographAverage1",
     0xFF000000,
     Qt::SolidLine,
     1,
     {}},
    {MicrographCurve::Model,
     "MicrographModel",
     "Model CTF\u00B2",
     "ShowMicrographModel1",
     0xFFCC79A7,
     Qt::SolidLine,
     2,
     {6, 2, 1, 2, 1, 2}},
    {MicrographCurve::Envelope,
     "MicrographEnvelope",
     "Model envelope",
     "ShowMicrographEnvelope1",
     0xFFCC79A7,
     Qt::DashLine,
     1,
     {8, 4}},
    {MicrographCurve::Agreement,
     "MicrographAgreement",
     "Agreement",
     "ShowMicrographAgreement1",
     0xFF0072B2,
     Qt::SolidLine,
     2,
     {1, 2}},
    {MicrographCurve::HeldTo,
     "MicrographAgreedUpTo",
     "Fit holds to",
     "ShowMicrographAgreedUpTo1",
     0xFF0072B2,
     Qt::DashDotLine,
     1,
     {4, 2, 1, 2}},
};
inline constexpr int micrographCurveCount = 5;
static_assert(std::size(micrographCurves) == micrographCurveCount, "one row per micrograph curve");

inline const MicrographCurveLook &micrographCurveLook(MicrographCurve curve)
{
    return micrographCurves[static_cast<int>(curve)];
}

inline QString micrographCurveName(MicrographCurve curve)
{
    return QString::fromUtf8(micrographCurveLook(curve).name);
}

inline QPen micrographCurvePen(MicrographCurve curve, bool monochrome)
{
    const MicrographCurveLook &look = micrographCurveLook(curve);
    if (!monochrome)
        return QPen(QBrush(QColor::fromRgb(look.colour)), look.width, look.style);
    // The measured spectrum keeps a solid line, grey beside the black CTF.
    QPen pen(QBrush(look.monochromeDash.isEmpty() ? QColor(0x70, 0x70, 0x70) : QColor(Qt::black)), look.width,
             Qt::SolidLine);
    if (!look.monochromeDash.isEmpty())
        pen.setDashPattern(look.monochromeDash);
    return pen;
}

} // namespace orvalis
