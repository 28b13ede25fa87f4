#pragma once

#include <QRect>

// `frame` moved, and shrunk where it is larger, so that it lies wholly
// inside `area` (a screen's available area). A frame that fits keeps its
// place.
QRect FitIntoArea(QRect frame, const QRect& area);
