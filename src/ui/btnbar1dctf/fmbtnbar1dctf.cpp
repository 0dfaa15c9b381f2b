#include "fmbtnbar1dctf.h"

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
                              legendSwatch(QColor(0x00, 0x00, 0x80)), BarButtonKind::Toggle);
    btn2ndCTF = makeBarButton(nullptr, "btn2ndCTF", QStringLiteral("2nd CTF"), QStringLiteral("Switch To 2nd CTF"),
                              legendSwatch(QColor(0x00, 0x00, 0xFF)), BarButtonKind::Toggle);
    btnEnvelopes = makeBarButton(nullptr, "btnEnvelopes", QStringLiteral("Envelopes"),
                                 QStringLiteral("Show Envelopes Toggle"), legendSwatch(QColor(0xFF, 0x80, 0x40)),
                                 BarButtonKind::Toggle);
    btn1stCTF->setChecked(true); // the window's actions make the two an exclusive pair
    for (QToolButton *b : {btn1stCTF, btn2ndCTF, btnEnvelopes})
        show->addWidget(b);

    btnShow3D = addDefocusMapGroup(column);
    btnOrvalis = addChangeModeGroup(column, "btnOrvalis", QStringLiteral("Orvalis"),
                                    QStringLiteral("Go to Orvalis Mode"));
}

} // namespace orvalis
