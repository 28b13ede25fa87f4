#pragma once

#include <QIcon>

// The picture of the refresh button ("换一换"): a circular arrow designed
// on a 16 x 16 grid and drawn at whatever pixel size the screen asks for,
// so it stays sharp at any device pixel ratio.
QIcon RefreshGlyph();
