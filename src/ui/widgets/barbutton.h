#pragma once
// The flat buttons of the two button bars: a glyph, a caption, a hint and, for toggles, a pressed
// state that the button keeps until it is clicked again.
#include <QIcon>
#include <QString>

class QBoxLayout;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace orvalis {

enum class BarButtonKind { Push, Toggle };

QToolButton *makeBarButton(QWidget *parent, const char *name, const QString &caption, const QString &hint,
                           const QIcon &glyph, BarButtonKind kind);

// The frame of a bar: a fixed-width borderless panel named `panelName` filling `bar`; returns its column.
QVBoxLayout *makeBarFrame(QWidget *bar, const char *panelName);

// The "Defocus Map" group with its "On/Off" button, filling the middle of a bar.
QToolButton *addDefocusMapGroup(QBoxLayout *column);

// The "Change Mode" group at the bottom of a bar with its one push button.
QToolButton *addChangeModeGroup(QBoxLayout *column, const char *name, const QString &caption, const QString &hint);

// A captioned group in a bar's column (or inside another group); returns the group's own column.
QVBoxLayout *addBarGroup(QBoxLayout *column, const QString &caption, int stretch = 0);

} // namespace orvalis
