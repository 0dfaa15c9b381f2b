#include "statuspanels.h"

#include "core/curvereadout.h"
#include "ui/widgets/glyphs.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>
#include <initializer_list>

namespace orvalis {
namespace {

QLabel *label(const char *name, const QString &text, QWidget *parent = nullptr)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// The width a label needs for the widest of the texts it can show, with its frame and a little air.
int widest(const QWidget *w, std::initializer_list<QString> texts)
{
    int width = 0;
    for (const QString &text : texts)
        width = std::max(width, w->fontMetrics().horizontalAdvance(text));
    return width + 8;
}

} // namespace

StatusPanels::StatusPanels(QWidget *parent) : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    m_mode = label("StatusPanel0", QStringLiteral("Orvalis"));
    m_mode->setFixedWidth(100);
    m_warningPanel = new QWidget;
    m_warningPanel->setObjectName(QStringLiteral("StatusPanel1"));
    m_warningPanel->setFixedWidth(100);
    m_frequency = label("StatusPanel2", QString());
    m_curve = label("StatusPanel3", QString());
    auto *panel4 = new QFrame;
    panel4->setObjectName(QStringLiteral("StatusPanel4"));
    m_frequency->setFixedWidth(100);
    m_curve->setFixedWidth(200);
    panel4->setFixedWidth(50);
    for (QWidget *p : {static_cast<QWidget *>(m_mode), m_warningPanel, static_cast<QWidget *>(m_frequency),
                       static_cast<QWidget *>(m_curve), static_cast<QWidget *>(panel4)})
        row->addWidget(p);
    // Takes the room the panels leave, never more: a long readout is cut at the window's edge (its
    // tooltip has it whole) rather than widening the window.
    m_micrograph = label("StatusPanel5", QString());
    m_micrograph->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_micrograph->hide();
    row->addWidget(m_micrograph, 100);
    row->addStretch(1);

    m_warning = new QFrame(m_warningPanel);
    m_warning->setObjectName(QStringLiteral("Panel1"));
    m_warning->setToolTip(QStringLiteral("Strange patterns may appear in the 2D CTF "));
    m_warning->setCursor(Qt::PointingHandCursor);
    auto *warning = new QHBoxLayout(m_warning);
    warning->setContentsMargins(2, 0, 2, 0);
    warning->setSpacing(2);
    QLabel *glyph = label("Image2", QString(), m_warning);
    glyph->setPixmap(warningGlyph().pixmap(16, 16));
    glyph->setToolTip(m_warning->toolTip());
    auto *caption = label("Panel1Caption", QStringLiteral("Fast Oscillations!"), m_warning);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    caption->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    warning->addWidget(glyph);
    warning->addWidget(caption, 1);
    m_warning->installEventFilter(this);
    m_warning->hide();
    // Only now: the panel's events reach the filter, which places the warning over it.
    m_warningPanel->installEventFilter(this); // keeps the warning over the panel, whatever its size
}

StatusPanels::~StatusPanels()
{
    // The panels outlive this part of the object while the base class deletes them; their events must
    // not reach a filter that is half destroyed.
    m_warningPanel->removeEventFilter(this);
    m_warning->removeEventFilter(this);
}

void StatusPanels::setModeText(const QString &text)
{
    m_mode->setText(text);
}

void StatusPanels::showMode(bool plotter)
{
    setModeText(plotter ? QStringLiteral("CTF Plotter") : QStringLiteral("Orvalis"));
}

void StatusPanels::setFastOscillation(bool shown)
{
    m_warning->setVisible(shown);
}

bool StatusPanels::fastOscillationShown() const
{
    return !m_warning->isHidden();
}

void StatusPanels::showPointer(const QString &frequency, const QString &curve)
{
    m_frequency->setText(frequency);
    m_curve->setText(curve);
}

void StatusPanels::showMicrographPointer(const QString &curves)
{
    m_micrograph->setText(curves);
    m_micrograph->setToolTip(curves);
    m_micrograph->setVisible(!curves.isEmpty());
}

void StatusPanels::clearPointer()
{
    m_frequency->clear();
    m_curve->clear();
    showMicrographPointer(QString());
}

void StatusPanels::fitToScreen(bool dense)
{
    m_warningPanel->setFixedWidth(dense ? 128 : 104);
    m_warningPanel->setFixedWidth(std::max(m_warningPanel->width(), m_warning->sizeHint().width()));
    const int frequency = widest(m_frequency, {pointerFrequencyText(0.001), pointerFrequencyText(99.99)});
    m_frequency->setFixedWidth(std::max(100, frequency));
    const int curve = widest(m_curve, {pointerCurveText(QStringLiteral("CTF 2"), {-0.888, 0.888})});
    m_curve->setFixedWidth(std::max(200, curve));
}

bool StatusPanels::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_warningPanel && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        m_warning->setGeometry(m_warningPanel->rect());
    } else if (watched == m_warning && event->type() == QEvent::MouseButtonRelease) {
        emit warningClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalis
