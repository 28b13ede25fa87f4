#include "ui/uWB.h"

#include "net/service_messages.h"
#include "skin/control_aligner.h"
#include "skin/guarded.h"
#include "skin/skin_message_box.h"
#include "ui/service_failure_text.h"
#include "ui/trim_controls.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "util/gbk.h"
#include "web/html_view.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QWindow>

namespace {

const QString kNoScore = QStringLiteral("- 请选择 -");

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(left, top, width, 17);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int left, int width)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 3, width, 25);
    return button;
}

} // namespace

TWBForm::TWBForm(TMainForm& mainForm) : QWidget(nullptr, Qt::Window), MainForm(mainForm)
{
    MainForm.WBForm = this;
    setObjectName(QStringLiteral("WBForm"));
    setWindowTitle(QStringLiteral("Lumo搜索浏览器"));
    resize(800, 450);

    pn1 = new QWidget(this);
    pn1->setObjectName(QStringLiteral("pn1"));
    TControlAligner::SetAlign(pn1, TAlign::alClient);

    auto* bar = new QFrame(pn1);
    bar->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    SkinPanel1 = bar;
    SkinPanel1->setObjectName(QStringLiteral("SkinPanel1"));
    SkinPanel1->resize(800, 33);
    TControlAligner::SetAlign(SkinPanel1, TAlign::alTop);
    pn3 = new QWidget(SkinPanel1);
    pn3->setObjectName(QStringLiteral("pn3"));
    pn3->resize(270, 33);
    TControlAligner::SetAlign(pn3, TAlign::alRight);
    pn2 = new QWidget(SkinPanel1);
    pn2->setObjectName(QStringLiteral("pn2"));
    TControlAligner::SetAlign(pn2, TAlign::alClient);

    lb3 = MakeLabel(pn2, "lb3", QStringLiteral("评价文件："), 8, 8, 60);
    cb_score = new QComboBox(pn2);
    cb_score->setObjectName(QStringLiteral("cb_score"));
    cb_score->setGeometry(73, 3, 120, 25);
    cb_score->setEditable(false);
    cb_score->setMaxVisibleItems(8);
    cb_score->addItems({kNoScore, QStringLiteral("10分满意"), QStringLiteral("9分满意"),
                        QStringLiteral("8分优秀"), QStringLiteral("7分一般"),
                        QStringLiteral("6分及格"), QStringLiteral("5分中等"),
                        QStringLiteral("4分中下"), QStringLiteral("3分差劲"),
                        QStringLiteral("2分不行"), QStringLiteral("1分不值")});
    cb_score->setCurrentIndex(0);
    btn_review = MakeButton(pn2, "btn_review", QStringLiteral("评分"), 201, 58);
    lb1 = MakeLabel(pn2, "lb1", QStringLiteral("文件评分、人气"), 265, 8, 220);
    lb2 = MakeLabel(pn2, "lb2", QStringLiteral("文件评分成功，感谢您的支持！"), 368, 8, 217);
    lb2->hide();
    btn_report = MakeButton(pn3, "btn_report", QStringLiteral("举报投诉"), 104, 75);
    btn_view = MakeButton(pn3, "btn_view", QStringLiteral("浏览器打开"), 186, 80);

    wb1 = new THtmlView(pn1);
    wb1->setObjectName(QStringLiteral("wb1"));
    wb_load = new THtmlView(pn1);
    wb_load->setObjectName(QStringLiteral("wb_load"));
    pn4 = new QWidget(pn1);
    pn4->setObjectName(QStringLiteral("pn4"));
    pn4->hide();
    WbNoAd = new THtmlView(pn4);
    WbNoAd->setObjectName(QStringLiteral("WbNoAd"));
    TControlAligner::SetAlign(WbNoAd, TAlign::alClient);

    HttpCli1 = new THttpCli(this);
    ConfigureServiceClient(*HttpCli1, QStringLiteral("HttpCli1"));
    HttpCli1->OnRequestDone = [this](THttpCli* sender, THttpRequest type, quint16 error) {
        HttpCli1RequestDone(sender, type, error);
    };

    wb1->OnDocumentComplete = [this](const QString&) { wb1DocumentComplete(); };
    wb1->OnNewWindow = [this](THtmlView*& target) { wb1NewWindow3(target); };
    WbNoAd->OnBeforeNavigate = [this](const QString& url, bool& cancel) {
        WbNoAdBeforeNavigate2(url, cancel);
    };
    connect(btn_review, &QPushButton::clicked, this, guarded(this, &TWBForm::btn_reviewClick));
    connect(btn_view, &QPushButton::clicked, this, guarded(this, &TWBForm::btn_viewClick));
    connect(btn_report, &QPushButton::clicked, this, guarded(this, &TWBForm::btn_reportClick));
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TWBForm::FocusWindowChanged);
    // Closing only hides the window, as its frame button does.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    FormCreate();
    // The user's last size and state; the main window places it on every
    // opening.
    if (!MainForm.Memory().PreviewGeometry.isEmpty())
        restoreGeometry(MainForm.Memory().PreviewGeometry);
}

TWBForm::~TWBForm()
{
    // No completion and no focus change may reach a window that is going away.
    HttpCli1->OnRequestDone = nullptr;
    disconnect(qApp, nullptr, this, nullptr);
}

void TWBForm::NavigatePage(const QString& url)
{
    m_pageUrl = url;
    wb1->Navigate(url);
}

void TWBForm::FormCreate()
{
    TControlAligner::SetAlign(wb1, TAlign::alClient);
    TControlAligner::SetAlign(wb_load, TAlign::alClient);
    // While both are shown the loading view lies on top.
    wb_load->raise();
    wb1->hide();
    // With the engine's start, not before: a session without a preview
    // never starts the engine.
    WbNoAd->NavigateOnEngineStart(QStringLiteral("about:blank"));
}

// The window counts as active while it is the application's active window.
// A null focus window means the application itself went to the back (or is
// between two of its windows); that changes nothing here, so coming back
// from another application does not count as an activation. Popups (the
// score list) belong to the window that opened them.
void TWBForm::FocusWindowChanged(QWindow* window)
{
    if (!window || window->type() == Qt::Popup || window->type() == Qt::ToolTip)
        return;
    const bool mine = window == windowHandle();
    if (mine && !m_active) {
        m_active = true;
        guarded([this] { FormActivate(); })();
    } else if (!mine && m_active) {
        m_active = false;
        FormDeactivate();
    }
}

void TWBForm::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_active) {
        m_active = false;
        FormDeactivate();
    }
}

void TWBForm::FormActivate()
{
    if (MainForm.view_url == last_view_url)
        return;

    wb_load->show();
    wb_load->raise();
    wb_load->NavigateFile(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.html")));

    lb1->setText(QStringLiteral("【文件价值指数：") + Gbk::toUnicode(MainForm.sel_value) +
                 QStringLiteral(" , 人气：") + Gbk::toUnicode(MainForm.sel_views) +
                 QStringLiteral("】"));

    lb2->hide();
    lb3->show();
    cb_score->show();
    btn_review->show();
    btn_review->setEnabled(true);
    btn_review->setText(QStringLiteral("评分"));

    btn_report->setEnabled(true);
    btn_report->setGeometry(104, btn_report->y(), 75, btn_report->height());
    btn_report->setText(QStringLiteral("举报投诉"));
}

void TWBForm::FormDeactivate()
{
    last_view_url = MainForm.view_url;
}

void TWBForm::wb1DocumentComplete()
{
    wb_load->hide();
    wb1->show();
    // Top-level scripts that open windows get true back and open nothing.
    wb1->ExecScript(QStringLiteral("window.open=function(){return true}"));
}

void TWBForm::wb1NewWindow3(THtmlView*& ppDisp)
{
    // Every new window the page asks for is carried out in the hidden sink.
    ppDisp = WbNoAd;
}

void TWBForm::WbNoAdBeforeNavigate2(const QString& URL, bool& Cancel)
{
    if (URL != QLatin1String("about:blank"))
        Cancel = true;
}

void TWBForm::btn_viewClick()
{
    MainForm.OpenSharePage();
}

void TWBForm::btn_reportClick()
{
    if (!MainForm.RpForm)
        return;
    MainForm.RpForm->exec();
    // Closing the dialog hands activation back to this window.
    if (isVisible())
        activateWindow();
}

void TWBForm::btn_reviewClick()
{
    const QString score = TrimControls(cb_score->currentText());
    if (score.isEmpty() || score == kNoScore) {
        MainForm.MsgDlg->ShowInfo(QStringLiteral("请选择分数进行点评"));
        return;
    }
    SendReview();
}

void TWBForm::SendReview()
{
    // A rating of an earlier hit may still be on its way (the button comes
    // back with the next hit). It keeps its buffers; this one waits.
    if (HttpCli1->State() != httpReady) {
        MainForm.MsgDlg->ShowInfo(QStringLiteral("上一次评分仍在提交，请稍后再试"));
        return;
    }
    const QString score = TrimControls(cb_score->currentText());
    btn_review->setEnabled(false);
    btn_review->setText(QStringLiteral("提交中..."));
    m_reviewViewUrl = MainForm.view_url;
    try {
        PostServiceMessage(*HttpCli1, ServiceEndpoint(MainForm.base_url),
                           ReviewMessage(MainForm.sel_file_id, Gbk::fromUnicode(score)),
                           kVerdictReplyLimit);
    } catch (...) {
        // Nothing went out: the rating can be tried again.
        btn_review->setText(QStringLiteral("评分"));
        btn_review->setEnabled(true);
        throw;
    }
}

void TWBForm::HttpCli1RequestDone(THttpCli*, THttpRequest, quint16 ErrCode)
{
    // This window has no status bar: the main window's tells what failed.
    MainForm.ReportServiceOutcome(
        ServiceFailureText(ErrCode, HttpCli1->StatusCode(), HttpCli1->URL()));
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCli1, ErrCode);
    // The reply to the rating of a hit no longer shown: the rating area
    // already belongs to the new hit.
    if (m_reviewViewUrl != MainForm.view_url || !reply)
        return;
    if (IsTrueReply(*reply)) {
        btn_review->hide();
        cb_score->hide();
        lb3->hide();
        lb2->show();
        lb2->move(16, lb2->y());
    } else {
        MainForm.MsgDlg->ShowInfo(QStringLiteral("评分系统出错，请联系我们"));
    }
}
