#include "ui/exportfigure/exportfiguredialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>

#include <cmath>

namespace orvalis {
namespace {

template <class W> W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

ExportFigureDialog::ExportFigureDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportFigureDialog"));
    setWindowTitle(QStringLiteral("Export Figure"));
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

    m_subject = named(new QComboBox, "cbSubject");
    m_subject->addItems({QStringLiteral("1D chart"), QStringLiteral("2D pattern"), QStringLiteral("Defocus map")});
    form->addRow(QStringLiteral("&Figure of:"), m_subject);

    m_width = named(new QDoubleSpinBox, "edWidth");
    m_height = named(new QDoubleSpinBox, "edHeight");
    for (QDoubleSpinBox *side : {m_width, m_height}) {
        side->setDecimals(1);
        side->setKeyboardTracking(false);
    }
    m_units = named(new QComboBox, "cbUnits");
    m_units->addItems({QStringLiteral("mm"), QStringLiteral("pixels")});
    auto *size = new QHBoxLayout;
    size->addWidget(m_width, 1);
    size->addWidget(new QLabel(QStringLiteral("\u00D7")));
    size->addWidget(m_height, 1);
    size->addWidget(m_units);
    form->addRow(QStringLiteral("&Size:"), size);
    qobject_cast<QLabel *>(form->labelForField(size))->setBuddy(m_width);

    m_dpi = named(new QSpinBox, "edDpi");
    m_dpi->setRange(50, 2400);
    m_dpi->setSuffix(QStringLiteral(" dpi"));
    m_pixels = named(new QLabel, "lbPixels");
    auto *resolution = new QHBoxLayout;
    resolution->addWidget(m_dpi);
    resolution->addWidget(m_pixels, 1);
    form->addRow(QStringLiteral("&Resolution:"), resolution);
    qobject_cast<QLabel *>(form->labelForField(resolution))->setBuddy(m_dpi);

    m_font = named(new QFontComboBox, "cbFont");
    m_fontSize = named(new QDoubleSpinBox, "edFontSize");
    m_fontSize->setRange(4, 72);
    m_fontSize->setDecimals(1);
    m_fontSize->setSuffix(QStringLiteral(" pt"));
    auto *font = new QHBoxLayout;
    font->addWidget(m_font, 1);
    font->addWidget(m_fontSize);
    form->addRow(QStringLiteral("F&ont:"), font);
    qobject_cast<QLabel *>(form->labelForField(font))->setBuddy(m_font);

    m_background = named(new QComboBox, "cbBackground");
    m_background->addItems({QStringLiteral("White"), QStringLiteral("Transparent")});
    form->addRow(QStringLiteral("&Background:"), m_background);
    m_colours = named(new QComboBox, "cbColours");
    m_colours->addItems({QStringLiteral("Colour"), QStringLiteral("Monochrome (dash patterns)")});
    form->addRow(QStringLiteral("&Curves:"), m_colours);
    m_legend = named(new QComboBox, "cbLegend");
    m_legend->addItems({QStringLiteral("Outside, above the data"), QStringLiteral("Top left"),
                        QStringLiteral("Top right"), QStringLiteral("Bottom left"), QStringLiteral("Bottom right"),
                        QStringLiteral("None")});
    form->addRow(QStringLiteral("&Legend:"), m_legend);
    m_grid = named(new QCheckBox(QStringLiteral("&Grid lines at the ticks")), "chGrid");
    form->addRow(QString(), m_grid);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Save)->setText(QStringLiteral("&Save..."));
    buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("btSave"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *note = new QLabel(QStringLiteral("PDF and SVG keep lines and text as vectors; PNG and TIFF record the "
                                           "resolution."));
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(m_units, &QComboBox::currentIndexChanged, this, &ExportFigureDialog::unitsChanged);
    for (QDoubleSpinBox *side : {m_width, m_height})
        connect(side, &QDoubleSpinBox::valueChanged, this, &ExportFigureDialog::showPixels);
    connect(m_dpi, &QSpinBox::valueChanged, this, &ExportFigureDialog::showPixels);
    setStyle(FigureStyle());
}

void ExportFigureDialog::setStyle(const FigureStyle &style)
{
    const bool pixels = style.widthPx > 0 && style.heightPx > 0;
    m_dpi->setValue(style.dpi);
    {
        const QSignalBlocker block(m_units);
        m_units->setCurrentIndex(pixels ? 1 : 0);
    }
    unitsChanged();
    m_width->setValue(pixels ? style.widthPx : style.widthMm);
    m_height->setValue(pixels ? style.heightPx : style.heightMm);
    m_font->setCurrentFont(QFont(style.fontFamily));
    m_fontSize->setValue(style.fontPt);
    m_background->setCurrentIndex(style.transparent ? 1 : 0);
    m_colours->setCurrentIndex(style.monochrome ? 1 : 0);
    m_legend->setCurrentIndex(static_cast<int>(style.legend));
    m_grid->setChecked(style.grid);
    showPixels();
}

FigureStyle ExportFigureDialog::style() const
{
    FigureStyle s;
    s.dpi = m_dpi->value();
    if (m_units->currentIndex() == 1) {
        s.widthPx = static_cast<int>(std::lround(m_width->value()));
        s.heightPx = static_cast<int>(std::lround(m_height->value()));
    } else {
        s.widthMm = m_width->value();
        s.heightMm = m_height->value();
    }
    s.fontFamily = m_font->currentFont().family();
    s.fontPt = m_fontSize->value();
    s.transparent = m_background->currentIndex() == 1;
    s.monochrome = m_colours->currentIndex() == 1;
    s.legend = static_cast<FigureLegend>(m_legend->currentIndex());
    s.grid = m_grid->isChecked();
    return s;
}

void ExportFigureDialog::setSubject(Subject subject)
{
    m_subject->setCurrentIndex(static_cast<int>(subject));
}

ExportFigureDialog::Subject ExportFigureDialog::subject() const
{
    return static_cast<Subject>(m_subject->currentIndex());
}

void ExportFigureDialog::setSubjectAvailable(Subject subject, bool available)
{
    if (auto *model = qobject_cast<QStandardItemModel *>(m_subject->model()))
        if (QStandardItem *item = model->item(static_cast<int>(subject)))
            item->setEnabled(available);
    if (!available && this->subject() == subject)
        setSubject(Subject::Chart);
}

// The numbers keep the size: a change of units converts them at the resolution.
void ExportFigureDialog::unitsChanged()
{
    const bool pixels = m_units->currentIndex() == 1;
    const double perMm = m_dpi->value() / 25.4;
    const double w = m_width->value(), h = m_height->value();
    for (QDoubleSpinBox *side : {m_width, m_height}) {
        const QSignalBlocker block(side);
        side->setDecimals(pixels ? 0 : 1);
        side->setRange(pixels ? 50 : 10, pixels ? 20000 : 1000);
        side->setSuffix(pixels ? QStringLiteral(" px") : QStringLiteral(" mm"));
    }
    if (w > 0 && h > 0) {
        const QSignalBlocker bw(m_width), bh(m_height);
        m_width->setValue(pixels ? w * perMm : w / perMm);
        m_height->setValue(pixels ? h * perMm : h / perMm);
    }
    showPixels();
}

void ExportFigureDialog::showPixels()
{
    const FigureStyle s = style();
    const QSize px = s.rasterSize();
    const QSizeF mm = s.sizeMm();
    const QString problem = figureStyleProblem(s);
    m_pixels->setText(problem.isEmpty() ? (
                          m_units->currentIndex() == 1
                              ? QStringLiteral("%1 \u00D7 %2 mm").arg(mm.width(), 0, 'f', 1).arg(mm.height(), 0, 'f', 1)
                              : QStringLiteral("%1 \u00D7 %2 pixels").arg(px.width()).arg(px.height()))
                                        : problem.section(QStringLiteral(": "), 1));
    if (auto *save = findChild<QPushButton *>(QStringLiteral("btSave")))
        save->setEnabled(problem.isEmpty());
}

} // namespace orvalis
