#include "fmbtnbar2dctf.h"

#include "chart/chart1series.h"
#include "ui/widgets/barbutton.h"
#include "ui/widgets/glyphs.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvalis {

TfmBtnBar2dCTF::TfmBtnBar2dCTF(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fmBtnBar2dCTF"));
    QVBoxLayout *column = makeBarFrame(this, "pa1DLegend");

    QVBoxLayout *show = addBarGroup(column, QStringLiteral("Show/Legend"));
    SpeedButton10 = makeBarButton(nullptr, "SpeedButton10", QStringLiteral("CTF"), QStringLiteral("CTF"),
                                  legendSwatch(seriesColour(S1Ctf)), BarButtonKind::Push);
    show->addWidget(SpeedButton10);
    QVBoxLayout *envelopes = addBarGroup(show, QStringLiteral("Envelopes"));
    btnTemporal = makeBarButton(nullptr, "btnTemporal", QStringLiteral("Temporal"),
                                QStringLiteral("Show Temporal Envelopes Toggle"),
                                legendSwatch(seriesColour(S2Temporal)), BarButtonKind::Toggle);
    btnSpatial = makeBarButton(nullptr, "btnSpatial", QStringLiteral("Spatial"),
                               QStringLiteral("Show Spatial Envelopes Toggle"), legendSwatch(seriesColour(S3Spatial)),
                               BarButtonKind::Toggle);
    btnCombined = makeBarButton(nullptr, "btnCombined", QStringLiteral("Combined"),
                                QStringLiteral("Show Combined Envelopes Toggle"),
                                legendSwatch(seriesColour(S4Combined)), BarButtonKind::Toggle);
    for (QToolButton *b : {btnTemporal, btnSpatial, btnCombined}) {
        b->setFixedWidth(104);
        envelopes->addWidget(b);
    }

    QVBoxLayout *twoD = addBarGroup(column, QStringLiteral("2D CTF"));
    btnShow2D = makeBarButton(nullptr, "btnShow2D", QStringLiteral("On/Off"), QStringLiteral("2D CTF On/Off Toggle"),
                              patternGlyph(), BarButtonKind::Toggle);
    btnUpdate2D = makeBarButton(nullptr, "btnUpdate2D", QStringLiteral("Live"),
                                QStringLiteral("2D CTF Live Update Toggle"), liveGlyph(), BarButtonKind::Toggle);
    twoD->addWidget(btnShow2D);
    twoD->addWidget(btnUpdate2D);
    // The micrograph's spectrum view: zoom, contrast and the model's rings, two to a row; each
    // button shows the View menu's command of the same name, greyed without a micrograph.
    const struct {
        const char *name;
        const char *caption;
        const char *hint;
        BarButtonKind kind;
        QToolButton *TfmBtnBar2dCTF::*slot;
    } spectrum[] = {
        {"btnSpectrumZoomIn", "+", "Zoom the spectrum in (+ or the wheel)", BarButtonKind::Push,
         &TfmBtnBar2dCTF::btnSpectrumZoomIn},
        {"btnSpectrumZoomOut", "\u2212", "Zoom the spectrum out (- or the wheel)", BarButtonKind::Push,
         &TfmBtnBar2dCTF::btnSpectrumZoomOut},
        {"btnSpectrumLog", "Log", "Logarithmic contrast of the measured spectrum", BarButtonKind::Toggle,
         &TfmBtnBar2dCTF::btnSpectrumLog},
        {"btnSpectrumRings", "Rings", "Draw the model's zeros over the measured spectrum", BarButtonKind::Toggle,
         &TfmBtnBar2dCTF::btnSpectrumRings},
    };
    QHBoxLayout *pair = nullptr;
    for (const auto &b : spectrum) {
        if (!pair) {
            pair = new QHBoxLayout;
            pair->setSpacing(2);
            twoD->addLayout(pair);
        }
        QToolButton *button = makeBarButton(nullptr, b.name, QString::fromUtf8(b.caption), QString::fromUtf8(b.hint),
                                            QIcon(), b.kind);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setFixedWidth(54);
        button->setEnabled(false);
        pair->addWidget(button);
        this->*b.slot = button;
        if (pair->count() == 2)
            pair = nullptr;
    }

    btnShow3D = addDefocusMapGroup(column);
    SpeedButton8 = addChangeModeGroup(column, "SpeedButton8", QStringLiteral("CTF Plotter"),
                                      QStringLiteral("Go to CTF Plotter Mode"));
}

} // namespace orvalis
