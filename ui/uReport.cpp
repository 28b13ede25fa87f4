#include "ui/uReport.h"

#include "net/service_messages.h"
#include "skin/control_aligner.h"
#include "skin/guarded.h"
#include "skin/skin_message_box.h"
#include "ui/service_failure_text.h"
#include "ui/trim_controls.h"
#include "ui/uMain.h"
#include "ui/uWB.h"
#include "util/gbk.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

const QString kNoReason = QStringLiteral("- 选择预设原因 -");

} // namespace

TRpForm::TRpForm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    MainForm.RpForm = this;
    setObjectName(QStringLiteral("RpForm"));
    setWindowTitle(QStringLiteral("举报投诉文件"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(444, 261);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    SkinPanel1 = panel;
    SkinPanel1->setObjectName(QStringLiteral("SkinPanel1"));
    TControlAligner::SetAlign(SkinPanel1, TAlign::alClient);

    SkinTextLabel1 = new QLabel(
        QStringLiteral("如果你看到的文件，含有色情、暴力、反动或任何不健康的内容，或文件不能下载，"
                       "下载的文件有错误等，请在下面直接举报投诉，谢谢大家。"),
        SkinPanel1);
    SkinTextLabel1->setObjectName(QStringLiteral("SkinTextLabel1"));
    SkinTextLabel1->setWordWrap(true);
    SkinTextLabel1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SkinTextLabel1->setGeometry(17, 17, 408, 40);

    SkinStdLabel1 = new QLabel(QStringLiteral("举报原因："), SkinPanel1);
    SkinStdLabel1->setObjectName(QStringLiteral("SkinStdLabel1"));
    SkinStdLabel1->setGeometry(17, 67, 62, 17);

    cb_reason = new QComboBox(SkinPanel1);
    cb_reason->setObjectName(QStringLiteral("cb_reason"));
    cb_reason->setGeometry(84, 62, 169, 25);
    cb_reason->setEditable(false);
    cb_reason->setMaxVisibleItems(8);
    cb_reason->addItems({kNoReason, QStringLiteral("文件不能下载"), QStringLiteral("文件内容不符"),
                         QStringLiteral("政治敏感"), QStringLiteral("侵权文件"),
                         QStringLiteral("病毒文件"), QStringLiteral("淫秽色情"),
                         QStringLiteral("私服外挂")});
    cb_reason->setCurrentIndex(0);

    mm1 = new QPlainTextEdit(SkinPanel1);
    mm1->setObjectName(QStringLiteral("mm1"));
    mm1->setGeometry(17, 96, 408, 121);
    mm1->setLineWrapMode(QPlainTextEdit::NoWrap);
    mm1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mm1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mm1->setTabChangesFocus(true);

    btn_report = new QPushButton(QStringLiteral("提 交"), SkinPanel1);
    btn_report->setObjectName(QStringLiteral("btn_report"));
    btn_report->setGeometry(368, 224, 59, 25);
    btn_report->setAutoDefault(false);

    // The text box comes first in the tab order.
    setTabOrder(mm1, cb_reason);
    setTabOrder(cb_reason, btn_report);

    HttpCli1 = new THttpCli(this);
    ConfigureServiceClient(*HttpCli1, QStringLiteral("HttpCli1"));
    HttpCli1->OnRequestDone = [this](THttpCli* sender, THttpRequest type, quint16 error) {
        HttpCli1RequestDone(sender, type, error);
    };

    // Only the user's choice counts, not a change made by the program.
    connect(cb_reason, &QComboBox::activated, this, guarded(this, &TRpForm::cb_reasonChange));
    connect(btn_report, &QPushButton::clicked, this, guarded(this, &TRpForm::btn_reportClick));
}

TRpForm::~TRpForm()
{
    HttpCli1->OnRequestDone = nullptr;
}

void TRpForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TRpForm::FormShow()
{
    btn_report->setEnabled(true);
    btn_report->setText(QStringLiteral("提 交"));
    mm1->setFocus();
}

void TRpForm::cb_reasonChange()
{
    const QString reason = TrimControls(cb_reason->currentText());
    if (reason != kNoReason)
        mm1->setPlainText(cb_reason->currentText());
}

void TRpForm::btn_reportClick()
{
    // QPlainTextEdit holds line breaks as LF; the service gets CR LF.
    QString text = TrimControls(mm1->toPlainText());
    if (text.isEmpty()) {
        MainForm.MsgDlg->ShowInfo(QStringLiteral("请输入举报内容"));
        return;
    }
    // A report reopened while the earlier one is still on its way: that
    // one keeps its buffers, this one waits.
    if (HttpCli1->State() != httpReady) {
        MainForm.MsgDlg->ShowInfo(QStringLiteral("上一次举报仍在提交，请稍后再试"));
        return;
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    btn_report->setText(QStringLiteral("提交中..."));
    btn_report->setEnabled(false);
    m_reportViewUrl = MainForm.view_url;
    try {
        PostServiceMessage(*HttpCli1, ServiceEndpoint(MainForm.base_url),
                           ReportMessage(Gbk::fromUnicode(text), MainForm.sel_file_id),
                           kVerdictReplyLimit);
    } catch (...) {
        // Nothing went out: the report can be tried again.
        btn_report->setText(QStringLiteral("提 交"));
        btn_report->setEnabled(true);
        throw;
    }
}

void TRpForm::HttpCli1RequestDone(THttpCli*, THttpRequest, quint16 ErrCode)
{
    // The dialog has no status bar: the main window's tells what failed.
    MainForm.ReportServiceOutcome(
        ServiceFailureText(ErrCode, HttpCli1->StatusCode(), HttpCli1->URL()));
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCli1, ErrCode);
    if (!reply)
        return;
    if (!IsTrueReply(*reply)) {
        MainForm.MsgDlg->ShowInfo(QStringLiteral("举报提交出错，请联系我们"));
        return;
    }
    reject();
    mm1->clear();
    cb_reason->setCurrentIndex(0);
    // The thanks belong to the hit the report was sent for; the preview
    // may show another one by now.
    TWBForm* preview = MainForm.WBForm;
    if (preview && MainForm.view_url == m_reportViewUrl) {
        preview->btn_report->setEnabled(false);
        preview->btn_report->setGeometry(30, preview->btn_report->y(), 150,
                                         preview->btn_report->height());
        preview->btn_report->setText(QStringLiteral("举报成功，谢谢支持！"));
    }
}
