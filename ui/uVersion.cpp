#include "ui/uVersion.h"

#include "skin/guarded.h"
#include "ui/uMain.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

TVerFrm::TVerFrm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    MainForm.VerFrm = this;
    setObjectName(QStringLiteral("VerFrm"));
    setWindowTitle(QStringLiteral("关于软件"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(505, 342);

    VerM1 = new QPlainTextEdit(this);
    VerM1->setObjectName(QStringLiteral("VerM1"));
    VerM1->setReadOnly(true);
    VerM1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    VerM1->verticalScrollBar()->setObjectName(QStringLiteral("VerSB1"));
    // One empty line until a file is loaded.
    VerM1->setPlainText(QString());

    SkinPanel3 = new QFrame(this);
    SkinPanel3->setObjectName(QStringLiteral("SkinPanel3"));
    SkinPanel3->setFrameShape(QFrame::StyledPanel);
    SkinPanel3->setFixedHeight(30);
    VerText = new QLabel(SkinPanel3);
    VerText->setObjectName(QStringLiteral("VerText"));
    VerText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SkinButton1 = new QPushButton(QStringLiteral("关 闭"), SkinPanel3);
    SkinButton1->setObjectName(QStringLiteral("SkinButton1"));
    SkinButton1->setFixedWidth(75);

    auto* bar = new QHBoxLayout(SkinPanel3);
    bar->setContentsMargins(8, 2, 3, 2);
    bar->addWidget(VerText, 1);
    bar->addWidget(SkinButton1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(VerM1, 1);
    column->addWidget(SkinPanel3);

    connect(SkinButton1, &QPushButton::clicked, this, guarded(this, &TVerFrm::SkinButton1Click));
}

void TVerFrm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TVerFrm::FormShow()
{
    // A line feed and a carriage return first, then the version line.
    VerText->setText(QStringLiteral("\n\r程序版本：v") + MainForm.app_version +
                     QStringLiteral("  Build ") + MainForm.app_build);
}

void TVerFrm::SkinButton1Click()
{
    close();
}
