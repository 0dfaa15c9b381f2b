#include "barbutton.h"

#include "ui/widgets/glyphs.h"

#include <QGroupBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvalis {

QToolButton *makeBarButton(QWidget *parent, const char *name, const QString &caption, const QString &hint,
                           const QIcon &glyph, BarButtonKind kind)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setIcon(glyph);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    b->setCheckable(kind == BarButtonKind::Toggle);
    b->setFixedWidth(110);
    return b;
}

QVBoxLayout *makeBarFrame(QWidget *bar, const char *panelName)
{
    bar->setFixedWidth(131);
    auto *panel = new QWidget(bar);
    panel->setObjectName(QString::fromLatin1(panelName));
    auto *outer = new QVBoxLayout(bar);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(4);
    return column;
}

QVBoxLayout *addBarGroup(QBoxLayout *column, const QString &caption, int stretch)
{
    auto *group = new QGroupBox(caption);
    auto *inner = new QVBoxLayout(group);
    inner->setContentsMargins(4, 4, 4, 4);
    inner->setSpacing(1);
    column->addWidget(group, stretch);
    return inner;
}

} // namespace orvalis

namespace orvalis {

QToolButton *addDefocusMapGroup(QBoxLayout *column)
{
    QVBoxLayout *map = addBarGroup(column, QStringLiteral("Defocus Map"), 1);
    QToolButton *button = makeBarButton(nullptr, "btnShow3D", QStringLiteral("On/Off"),
                                        QStringLiteral("Show Defocus Map Toggle"), mapGlyph(), BarButtonKind::Toggle);
    map->addWidget(button);
    map->addStretch(1);
    return button;
}

QToolButton *addChangeModeGroup(QBoxLayout *column, const char *name, const QString &caption, const QString &hint)
{
    QVBoxLayout *mode = addBarGroup(column, QStringLiteral("Change Mode"));
    QToolButton *button = makeBarButton(nullptr, name, caption, hint, modeGlyph(), BarButtonKind::Push);
    mode->addWidget(button);
    return button;
}

} // namespace orvalis
