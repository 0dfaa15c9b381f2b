#pragma once
// The pictures of the grey-level grids: the 2D pattern and the defocus map, as the window shows them
// and as both programs save them.
#include "core/ctfpattern.h"
#include "core/defocusmap.h"

#include <QImage>

namespace orvalis {

// Draws the pattern into `image` (2N x 2N, RGB32): black, then the computed points of the right half
// (every s-th column and row while sampling coarsely), and the left half as their mirror image.
void drawPatternImage(QImage &image, const PatternHalves &halves);

// A new 2N x 2N picture of the pattern.
QImage patternImage(const PatternHalves &halves);

// Draws the map's grey levels into `image` (W x W, RGB32), top row first.
void drawDefocusMapImage(QImage &image, const DefocusMapGrid &grid);

// A new W x W picture of the map.
QImage defocusMapImage(const DefocusMapGrid &grid);

} // namespace orvalis
