#include "fmoptions.h"

#include "core/orvaliserror.h"
#include "ui/widgets/dialogplacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis {
namespace {

QLabel *namedLabel(const char *name, const QString &text)
{
    auto *l = new QLabel(text);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLineEdit *field(const char *name)
{
    auto *e = new QLineEdit;
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(70);
    return e;
}

} // namespace

TfmOptions::TfmOptions(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    openCentredOnMainWindow(this);
    setModal(true);

    auto *GroupBox1 = new QGroupBox(QStringLiteral("Color/Monochrome"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    chk1DCTFMono = new QCheckBox(QStringLiteral("Monochrome 1D CTF"));
    chk1DCTFMono->setObjectName(QStringLiteral("chk1DCTFMono"));
    auto *mono = new QVBoxLayout(GroupBox1);
    mono->addWidget(chk1DCTFMono);
    mono->addStretch(1);

    auto *GroupBox2 = new QGroupBox(QStringLiteral("Defaults"));
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto *grid = new QGridLayout(GroupBox2);
    grid->setVerticalSpacing(2);
    edDefocusMax = field("edDefocusMax");
    edDefocusMin = field("edDefocusMin");
    edUpTo = field("edUpTo");
    ed2ast = field("ed2ast");
    ed3ast = field("ed3ast");
    const struct {
        const char *label, *caption, *factoryLabel, *factory;
        QLineEdit *edit;
    } rows[] = {
        {"Label1", "Max Overfocus (nm, positive):", "Label6", "(50)", edDefocusMax},
        {"Label2", "Max Underfocus (nm, negative):", "Label7", "(-200)", edDefocusMin},
        {"Label3", "Max Frequency (nm-1):", "Label8", "(10)", edUpTo},
        {"Label4", "Max 2-fold Astigmatism (nm):", "Label9", "(200)", ed2ast},
        {"Label5", "Max 3-fold Astigmatism (nm):", "Label10", "(10000)", ed3ast},
    };
    int row = 0;
    for (const auto &r : rows) {
        QLabel *caption = namedLabel(r.label, QString::fromLatin1(r.caption));
        caption->setBuddy(r.edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(r.edit, row, 1);
        grid->addWidget(namedLabel(r.factoryLabel, QString::fromLatin1(r.factory)), row, 2);
        ++row;
    }
    chkFineDefocus = new QCheckBox(QStringLiteral("Fine defocus (steps of 0.1 nm)"));
    chkFineDefocus->setObjectName(QStringLiteral("chkFineDefocus"));
    chkFineDefocus->setToolTip(QStringLiteral("For corrected instruments, whose optimum defocus lies at a few nm: "
                                              "the defocus slider moves by 0.1 nm and its field takes one decimal"));
    grid->addWidget(chkFineDefocus, row, 0, 1, 3);

    // How corrected instruments' users think of their values; the values kept stay the program's.
    auto *GroupBox3 = new QGroupBox(QStringLiteral("Corrected Instruments"));
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    auto *conventions = new QGridLayout(GroupBox3);
    conventions->setVerticalSpacing(2);
    cbA3Convention = new QComboBox;
    cbA3Convention->setObjectName(QStringLiteral("cbA3Convention"));
    cbA3Convention->addItem(QStringLiteral("This program's A3"), static_cast<int>(A3Convention::Program));
    cbA3Convention->addItem(QStringLiteral("The corrector's A2 (= A3 / 2\u03C0)"),
                            static_cast<int>(A3Convention::Corrector));
    cbA3Convention->setToolTip(QStringLiteral("The 3-fold astigmatism field takes and shows the value chosen; "
                                              "the program keeps its A3 either way"));
    cbResolutionUnit = new QComboBox;
    cbResolutionUnit->setObjectName(QStringLiteral("cbResolutionUnit"));
    cbResolutionUnit->addItem(QStringLiteral("nm, two decimals"), static_cast<int>(ResolutionUnit::Nm));
    cbResolutionUnit->addItem(QStringLiteral("nm, three decimals"), static_cast<int>(ResolutionUnit::NmFine));
    cbResolutionUnit->addItem(QStringLiteral("pm"), static_cast<int>(ResolutionUnit::Pm));
    const std::pair<const char *, QComboBox *> choices[] = {{"3-fold astigmatism typed as:", cbA3Convention},
                                                            {"Resolutions in:", cbResolutionUnit}};
    int line = 0;
    for (const auto &[text, box] : choices) {
        auto *caption = new QLabel(QString::fromUtf8(text));
        caption->setBuddy(box);
        conventions->addWidget(caption, line, 0);
        conventions->addWidget(box, line, 1);
        ++line;
    }

    OKBtn = new QPushButton(QStringLiteral("OK"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch(1);
    auto *left = new QVBoxLayout;
    left->addWidget(GroupBox1);
    left->addWidget(GroupBox2, 1);
    left->addWidget(GroupBox3);
    auto *top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(buttons);

    setTabOrder(chk1DCTFMono, edDefocusMax);
    setTabOrder(edDefocusMax, edDefocusMin);
    setTabOrder(edDefocusMin, edUpTo);
    setTabOrder(edUpTo, ed2ast);
    setTabOrder(ed2ast, ed3ast);
    setTabOrder(ed3ast, chkFineDefocus);
    setTabOrder(chkFineDefocus, cbA3Convention);
    setTabOrder(cbA3Convention, cbResolutionUnit);
    setTabOrder(cbResolutionUnit, OKBtn);
    setTabOrder(OKBtn, CancelBtn);

    connect(chk1DCTFMono, &QCheckBox::toggled, this, &TfmOptions::chk1DCTFMonoClick);
    resize(sizeHint().expandedTo(QSize(384, 191)));
}

bool TfmOptions::isMonochrome() const
{
    return chk1DCTFMono->isChecked();
}

void TfmOptions::setMonochrome(bool on)
{
    chk1DCTFMono->setChecked(on);
}

void TfmOptions::showEvent(QShowEvent *event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TfmOptions::FormActivate()
{
    m_rememberedMonochrome = chk1DCTFMono->isChecked();
    m_reloadNeeded = false;
    const OptionTexts texts = optionTexts(m_ranges);
    // setText also marks each field as not modified.
    edDefocusMax->setText(texts.overfocus);
    edDefocusMin->setText(texts.underfocus);
    edUpTo->setText(texts.upTo);
    ed2ast->setText(texts.a2Max);
    ed3ast->setText(texts.a3Max);
    chkFineDefocus->setChecked(m_ranges.fineDefocus);
    cbA3Convention->setCurrentIndex(cbA3Convention->findData(static_cast<int>(m_conventions.a3)));
    cbResolutionUnit->setCurrentIndex(cbResolutionUnit->findData(static_cast<int>(m_conventions.resolution)));
    edDefocusMax->setFocus();
}

void TfmOptions::chk1DCTFMonoClick()
{
    emit monochromeChanged(chk1DCTFMono->isChecked());
}

void TfmOptions::done(int result)
{
    if (result == QDialog::Accepted) {
        applyFields();
    } else if (chk1DCTFMono->isChecked() != m_rememberedMonochrome) {
        chk1DCTFMono->setChecked(m_rememberedMonochrome); // the chart takes back its colours
    }
    QDialog::done(result);
}

void TfmOptions::applyFields()
{
    // Choices, never refused: taken whatever the fields below say.
    m_conventions.a3 = static_cast<A3Convention>(cbA3Convention->currentData().toInt());
    m_conventions.resolution = static_cast<ResolutionUnit>(cbResolutionUnit->currentData().toInt());
    m_ranges.fineDefocus = chkFineDefocus->isChecked(); // the defocus fields' limit depends on it
    try {
        applyOptionTexts(m_ranges,
                         {edDefocusMax->text(), edDefocusMin->text(), edUpTo->text(), ed2ast->text(), ed3ast->text()});
    } catch (const OrvalisError &e) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvalis"), QStringLiteral("Sorry,\n") + e.text(),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("OptionsError"));
        box.exec();
        return;
    }
    for (const QLineEdit *e : {edDefocusMax, edDefocusMin, edUpTo, ed2ast, ed3ast})
        m_reloadNeeded = m_reloadNeeded || e->isModified();
}

} // namespace orvalis
