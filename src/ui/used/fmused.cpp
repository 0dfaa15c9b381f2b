#include "fmused.h"

#include "core/usagetexts.h"
#include "ui/about/aboutbox.h"
#include "ui/widgets/dialogplacement.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis {

TfmUsed::TfmUsed(int useCount, TAboutBox *aboutBox, QWidget *parent) : QDialog(parent), m_aboutBox(aboutBox)
{
    FormCreate(useCount);
    openCentredOnMainWindow(this);
}

void TfmUsed::FormCreate(int useCount)
{
    setObjectName(QStringLiteral("fmUsed"));
    setWindowTitle(QStringLiteral("Do you like it?"));
    setModal(true);

    auto *Bevel1 = new QFrame;
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setMinimumSize(297, 161);
    Label1 = new QLabel(usedTimesText(useCount));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont bigger = Label1->font();
    bigger.setBold(true);
    Label1->setFont(bigger);
    Label2 = new QLabel(QStringLiteral("If it helps you at the microscope, the author would be glad of a short note "
                                       "telling what you use it for and what you miss in it."));
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);
    auto *bevel = new QVBoxLayout(Bevel1);
    bevel->setContentsMargins(12, 12, 12, 12);
    bevel->addStretch(1);
    bevel->addWidget(Label1);
    bevel->addSpacing(10);
    bevel->addWidget(Label2);
    bevel->addStretch(1);

    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(8, 8, 8, 8);
    top->addWidget(Bevel1, 1);
    top->addWidget(OKBtn, 0, Qt::AlignHCenter);
    resize(sizeHint().expandedTo(QSize(313, 214)));
}

void TfmUsed::done(int result)
{
    // The dialog finishes closing only when the About box has been closed.
    if (m_aboutBox)
        m_aboutBox->exec();
    QDialog::done(result);
}

} // namespace orvalis
