#include "skin/skin_link_label.h"

#include <QMouseEvent>

TSkinLinkLabel::TSkinLinkLabel(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    // Hover styling in the skin needs hover events.
    setAttribute(Qt::WA_Hover);
    // Only the underline is set here: family and size keep following the skin.
    QFont underlined;
    underlined.setUnderline(true);
    setFont(underlined);
}

void TSkinLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
