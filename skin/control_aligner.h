#pragma once

#include <QObject>

class QWidget;

enum class TAlign
{
    alNone,
    alTop,
    alBottom,
    alLeft,
    alRight,
    alClient
};

// Edge alignment of child controls, the way a classic form designer lays
// out panels: top and bottom controls take the full width, left and right
// ones the remaining height, a client control the rest. A control aligned
// later enters at the outer edge of its side and pushes the earlier ones
// inwards. Controls keep their own width (left/right) or height (top/bottom);
// nothing is squeezed, so controls that do not fit are cut off at the far
// edge of the parent. Controls hidden with hide() take no space (call
// Realign after hiding or showing one).
//
// The aligner attaches itself to the parent on the first SetAlign and
// re-aligns when the parent is resized or a child goes away. Do not mix it
// with a QLayout on the same parent.
class TControlAligner : public QObject
{
    Q_OBJECT

public:
    static void SetAlign(QWidget* control, TAlign align);
    static TAlign Align(const QWidget* control);
    // Lays out the aligned children of `parent` now.
    static void Realign(QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TControlAligner(QWidget* parent);
};
