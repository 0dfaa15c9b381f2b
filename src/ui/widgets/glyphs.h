#pragma once
// The small pictures of buttons and tool buttons, drawn rather than shipped so that they follow the
// series colours and stay sharp at any screen density.
#include <QColor>
#include <QIcon>
#include <QPen>

namespace orvalis {

QIcon legendSwatch(QColor colour); // a line in a series colour
QIcon legendLine(const QPen &pen); // a curve's legend sample: a short line in its colour and dash pattern
QIcon patternGlyph();              // concentric rings: the 2D pattern
QIcon liveGlyph();                 // a circular arrow: live update
QIcon mapGlyph();                  // a grey ramp with a red line: the defocus map
QIcon savePatternGlyph();          // saving the 2D pattern: the save picture marked with the rings
QIcon saveMapGlyph();              // saving the defocus map: the save picture marked with the ramp
QIcon modeGlyph();                 // two curves: change of mode
QIcon warningGlyph();              // the fast-oscillation warning

} // namespace orvalis
