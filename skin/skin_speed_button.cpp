#include "skin/skin_speed_button.h"

#include "skin/guarded.h"

#include <QIcon>

TSkinSpeedButton::TSkinSpeedButton(QWidget* parent) : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(this, &QToolButton::clicked, this, guarded(this, &TSkinSpeedButton::Clicked));
    show();
}

TSkinSpeedButton::TSkinSpeedButton(QWidget* parent, const QString& caption, int width, int height,
                                   TAlign align, ClickHandler onClick)
    : TSkinSpeedButton(parent)
{
    SetCaption(caption);
    SetSize(width, height);
    SetOnClick(std::move(onClick));
    SetAlign(align);
}

void TSkinSpeedButton::SetCaption(const QString& caption)
{
    // Hot words are the service's text; "&&" draws a single "&" and gives
    // the button no Alt shortcut.
    m_caption = caption;
    setText(QString(caption).replace(QLatin1Char('&'), QLatin1String("&&")));
}

void TSkinSpeedButton::SetSize(int width, int height)
{
    resize(std::max(0, width), std::max(0, height));
    if (TControlAligner::Align(this) != TAlign::alNone && parentWidget())
        TControlAligner::Realign(parentWidget());
}

void TSkinSpeedButton::SetGlyph(const QIcon& glyph, const QSize& size)
{
    setIcon(glyph);
    setIconSize(size);
    setToolButtonStyle(m_caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

void TSkinSpeedButton::Clicked()
{
    if (m_onClick)
        m_onClick(this);
}
