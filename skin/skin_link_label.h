#pragma once

#include <QLabel>

// A skinned link: underlined text with a hand cursor, highlighted while the
// mouse is over it; a left click emits clicked().
class TSkinLinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TSkinLinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
