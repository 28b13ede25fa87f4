#pragma once

#include "skin/control_aligner.h"

#include <QToolButton>

#include <functional>

class QIcon;
class QSize;

// A flat skinned button that takes no focus, as used in tool bars and the
// hot-word bar. Created at run time with a parent, a size, an alignment, a
// caption and a click handler; it shows itself at once. The click handler
// gets the button and runs guarded: an error escaping it is shown in the
// default error box.
class TSkinSpeedButton : public QToolButton
{
    Q_OBJECT

public:
    using ClickHandler = std::function<void(TSkinSpeedButton* sender)>;

    explicit TSkinSpeedButton(QWidget* parent);
    TSkinSpeedButton(QWidget* parent, const QString& caption, int width, int height, TAlign align,
                     ClickHandler onClick);

    // The caption is shown as it is: an "&" in it is no mnemonic.
    void SetCaption(const QString& caption);
    QString Caption() const { return m_caption; }
    void SetSize(int width, int height);
    void SetAlign(TAlign align) { TControlAligner::SetAlign(this, align); }
    // A picture of `size` beside (or, without caption, instead of) the text.
    void SetGlyph(const QIcon& glyph, const QSize& size);
    // Text shown when the mouse rests on the button.
    void SetHint(const QString& hint) { setToolTip(hint); }
    void SetOnClick(ClickHandler handler) { m_onClick = std::move(handler); }

private:
    void Clicked();

    QString m_caption;
    ClickHandler m_onClick;
};
