#include "fmbtnbar1dctf.h"

#include "chart/chart1series.h"
#include "ui/widgets/barbutton.h"
#include "ui/widgets/glyphs.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace orvalis {

TfmBtnBar1dCTF::TfmBtnBar1dCTF(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fmBtnBar1dCTF"));
    QVBoxLayout *column = makeBarFrame(this, "pa1DLegendPlot");

    QVBoxLayout *show = addBarGroup(column, QStringLiteral("Show/Legend"));
    btn1stCTF = makeBarButton(nullptr, "btn1stCTF", QStringLiteral("1st CTF"), QStringLiteral("Switch To 1st CTF"),
                              legendSwatch(seriesColour(S1Ctf)), BarButtonKind::Toggle);
    btn2ndCTF = makeBarButton(nullptr, "btn2ndCTF", QStringLiteral("2nd CTF"), QStringLiteral("Switch To 2nd CTF"),
                              legendSwatch(seriesColour(S8Ctf2)), BarButtonKind::Toggle);
    btnEnvelopes = makeBarButton(nullptr, "btnEnvelopes", QStringLiteral("Envelopes"),
                                 QStringLiteral("Show Envelopes Toggle"), legendSwatch(seriesColour(S4Combined)),
                                 BarButtonKind::Toggle);
    btn1stCTF->setChecked(true); // the window's actions make the two an exclusive pair
    for (QToolButton *b : {btn1stCTF, btn2ndCTF, btnEnvelopes})
        show->addWidget(b);

    btnShow3D = addDefocusMapGroup(column);
    btnOrvalis = addChangeModeGroup(column, "btnOrvalis", QStringLiteral("Orvalis"),
                                    QStringLiteral("Go to Orvalis Mode"));
}

} // namespace orvalis
