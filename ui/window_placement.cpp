#include "ui/window_placement.h"

#include <algorithm>

QRect FitIntoArea(QRect frame, const QRect& area)
{
    if (!area.isValid())
        return frame;
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    const int left = std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width());
    const int top = std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height());
    frame.moveTopLeft(QPoint(left, top));
    return frame;
}
