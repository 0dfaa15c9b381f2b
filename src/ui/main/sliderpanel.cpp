#include "sliderpanel.h"

#include "ui/widgets/scrollbar.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace orvalis {
namespace {

QLabel *label(const char *name, const QString &text)
{
    auto *l = new QLabel(text);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

ScrollBar *slider(const char *name, int minimum, int maximum, int position, const QString &hint)
{
    auto *s = new ScrollBar;
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(minimum, maximum);
    s->setValue(position);
    s->setToolTip(hint);
    s->setFocusPolicy(Qt::StrongFocus);
    return s;
}

QLineEdit *edit(const char *name, const QString &text)
{
    auto *e = new QLineEdit(text);
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(54);
    return e;
}

QToolButton *jumpButton(const char *name, const QString &caption, const QString &hint)
{
    auto *b = new QToolButton;
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setAutoRaise(false); // a one-letter button must look like a button before it is hovered
    b->setFixedSize(20, 20);
    // The jump buttons stay out of the Tab chain: the sliders and fields are the panel's keyboard path.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

SliderPanel::SliderPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("paSliders"));
    setFixedWidth(250); // room for the convergence beside "Magnification"
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);

    m_bars[Defocus] = slider("ScrollBar1", -50, 200, 0, QStringLiteral("Adjust defocus"));
    m_bars[Astigmatism] = slider("ScrollBar2", 0, 200, 0, QStringLiteral("Adjust 2-fold astigmatism"));
    m_bars[Astigmatism3] = slider("ScrollBar3", 0, 10000, 0, QStringLiteral("Adjust 3-fold astigmatism"));
    m_bars[Magnification] = slider("ScrollBar4", 14, 39, 22, QStringLiteral("Change Magnification/Convergence"));
    m_fields[Defocus] = edit("edDefocus", QStringLiteral("-100"));
    m_fields[Astigmatism] = edit("edAstigm", QStringLiteral("200"));
    m_fields[Astigmatism3] = edit("edAstigm3", QStringLiteral("1"));
    m_fields[Magnification] = edit("edMagn", QStringLiteral("1"));
    m_fields[Magnification]->setFixedWidth(70);
    // The magnification is shown, never typed: only its slider sets it.
    m_fields[Magnification]->setReadOnly(true);
    m_jumps[Defocus] = jumpButton("SpeedButton1", QStringLiteral("S"), QStringLiteral("Scherzer"));
    m_jumps[Astigmatism] = jumpButton("SpeedButton2", QStringLiteral("0"), QStringLiteral("Zero"));
    m_jumps[Astigmatism3] = jumpButton("SpeedButton3", QStringLiteral("0"), QStringLiteral("Zero"));
    m_convergence = label("Label3", QStringLiteral("(Convergence: 0.1000 mrad)"));

    const struct {
        const char *titleName;
        const char *title;
        const char *unitName;
    } rows[] = {
        {"Label1", "Defocus:", "Label7"},
        {"Label4", "Astigmatism:", "Label8"},
        {"Label5", "3-fold Astigmatism", "Label9"},
    };
    for (int r = Defocus; r <= Astigmatism3; ++r) {
        grid->addWidget(label(rows[r].titleName, QString::fromLatin1(rows[r].title)), 2 * r, 0, 1, 4);
        grid->addWidget(m_bars[r], 2 * r + 1, 0);
        grid->addWidget(m_fields[r], 2 * r + 1, 1);
        grid->addWidget(label(rows[r].unitName, QStringLiteral("nm")), 2 * r + 1, 2);
        grid->addWidget(m_jumps[r], 2 * r + 1, 3);
    }
    auto *magnTitle = new QHBoxLayout;
    magnTitle->setSpacing(4);
    magnTitle->addWidget(label("Label2", QStringLiteral("Magnification")));
    QFont small = m_convergence->font();
    small.setPixelSize(10);
    m_convergence->setFont(small);
    magnTitle->addWidget(m_convergence, 1);
    grid->addLayout(magnTitle, 6, 0, 1, 4);
    grid->addWidget(m_bars[Magnification], 7, 0);
    grid->addWidget(m_fields[Magnification], 7, 1, 1, 3);
    grid->setColumnStretch(0, 1);

    for (int r = Defocus; r <= Magnification; ++r) {
        connect(m_bars[r], &QScrollBar::valueChanged, this, [this, r](int position) { emit changed(r, position); });
        connect(m_bars[r], &ScrollBar::scrolled, this, [this, r](bool end) { emit scrolled(r, end); });
        m_fields[r]->installEventFilter(this);
    }
    for (int r = Defocus; r <= Astigmatism3; ++r)
        connect(m_jumps[r], &QToolButton::clicked, this, [this, r] { emit jumped(r); });
}

SliderPanel::~SliderPanel()
{
    // The fields outlive this part of the panel while the base class deletes them.
    for (QLineEdit *field : m_fields)
        field->removeEventFilter(this);
}

void SliderPanel::setPosition(Row row, int position)
{
    m_bars[row]->setValue(position);
}

int SliderPanel::position(Row row) const
{
    return m_bars[row]->value();
}

void SliderPanel::setRange(Row row, int minimum, int maximum)
{
    m_bars[row]->setRange(minimum, maximum);
}

void SliderPanel::setMaximum(Row row, int maximum)
{
    m_bars[row]->setMaximum(maximum);
}

int SliderPanel::minimum(Row row) const
{
    return m_bars[row]->minimum();
}

int SliderPanel::maximum(Row row) const
{
    return m_bars[row]->maximum();
}

QString SliderPanel::fieldText(Row row) const
{
    return m_fields[row]->text();
}

void SliderPanel::setFieldText(Row row, const QString &text)
{
    m_fields[row]->setText(text);
}

void SliderPanel::setConvergenceText(const QString &text)
{
    m_convergence->setText(text);
}

void SliderPanel::setTabOrder()
{
    QWidget *const chain[] = {m_bars[0],   m_bars[1],   m_bars[2],   m_bars[3],
                              m_fields[0], m_fields[1], m_fields[2], m_fields[3]};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

bool SliderPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (int r = Defocus; r <= Magnification; ++r) {
                if (watched == m_fields[r]) {
                    emit entered(r);
                    return true;
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalis
