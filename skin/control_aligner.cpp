#include "skin/control_aligner.h"

#include <QEvent>
#include <QRect>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace {

const char kAlignProperty[] = "lumoAlign";
const char kOrderProperty[] = "lumoAlignOrder";
const char kAlignerName[] = "lumo_control_aligner";

} // namespace

TControlAligner::TControlAligner(QWidget* parent) : QObject(parent)
{
    setObjectName(QLatin1String(kAlignerName));
    parent->installEventFilter(this);
}

void TControlAligner::SetAlign(QWidget* control, TAlign align)
{
    QWidget* parent = control->parentWidget();
    static qint64 order = 0;
    control->setProperty(kAlignProperty, static_cast<int>(align));
    control->setProperty(kOrderProperty, ++order);
    if (!parent)
        return;
    if (!parent->findChild<TControlAligner*>(QLatin1String(kAlignerName),
                                             Qt::FindDirectChildrenOnly))
        new TControlAligner(parent);
    Realign(parent);
}

TAlign TControlAligner::Align(const QWidget* control)
{
    const QVariant value = control->property(kAlignProperty);
    return value.isValid() ? static_cast<TAlign>(value.toInt()) : TAlign::alNone;
}

void TControlAligner::Realign(QWidget* parent)
{
    std::vector<QWidget*> controls;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        // Only controls hidden on purpose step aside; a child that was
        // merely never shown yet still takes its place.
        const bool hidden =
            widget && widget->testAttribute(Qt::WA_WState_ExplicitShowHide) && widget->isHidden();
        if (widget && !widget->isWindow() && !hidden && Align(widget) != TAlign::alNone)
            controls.push_back(widget);
    }
    // Latest first: it takes the outer edge of its side.
    std::stable_sort(controls.begin(), controls.end(), [](QWidget* a, QWidget* b) {
        return a->property(kOrderProperty).toLongLong() > b->property(kOrderProperty).toLongLong();
    });

    QRect rest = parent->contentsRect();
    auto place = [&](TAlign align) {
        for (QWidget* w : controls) {
            if (Align(w) != align)
                continue;
            switch (align) {
            case TAlign::alTop:
                w->setGeometry(rest.left(), rest.top(), rest.width(), w->height());
                rest.setTop(rest.top() + w->height());
                break;
            case TAlign::alBottom:
                w->setGeometry(rest.left(), rest.bottom() + 1 - w->height(), rest.width(),
                               w->height());
                rest.setBottom(rest.bottom() - w->height());
                break;
            case TAlign::alLeft:
                w->setGeometry(rest.left(), rest.top(), w->width(), std::max(0, rest.height()));
                rest.setLeft(rest.left() + w->width());
                break;
            case TAlign::alRight:
                w->setGeometry(rest.right() + 1 - w->width(), rest.top(), w->width(),
                               std::max(0, rest.height()));
                rest.setRight(rest.right() - w->width());
                break;
            case TAlign::alClient:
                w->setGeometry(rest.left(), rest.top(), std::max(0, rest.width()),
                               std::max(0, rest.height()));
                break;
            case TAlign::alNone:
                break;
            }
        }
    };
    for (TAlign align :
         {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient})
        place(align);
}

bool TControlAligner::eventFilter(QObject* watched, QEvent* event)
{
    auto* parent = qobject_cast<QWidget*>(watched);
    if (parent && watched == this->parent()) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::ChildRemoved:
        case QEvent::LayoutRequest:
            Realign(parent);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
