#include "ui/uMain.h"

#include "json/uJson.h"
#include "net/service_messages.h"
#include "platform/file_icons.h"
#include "platform/shell_open.h"
#include "skin/control_aligner.h"
#include "skin/guarded.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "skin/skin_speed_button.h"
#include "ui/result_list_model.h"
#include "ui/trim_controls.h"
#include "ui/uWB.h"
#include "util/gbk.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kIdleCaption = QStringLiteral("Lumo搜索");
const QString kBusyCaption = QStringLiteral("搜索中...");

// Only the last words of a reply can be seen: each new button enters at the
// left edge and the bar does not scroll. Words beyond this many would be cut
// off anyway, so a runaway reply cannot flood the window with buttons.
constexpr int kMaxHotWords = 200;

// A decimal integer with an optional sign, nothing else.
bool ParseFileSize(const QString& text, qint64& size)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == u'-' || c == u'+')))
            return false;
    }
    bool ok = false;
    size = text.toLongLong(&ok, 10);
    return ok;
}

// The picture of the refresh button: a circular arrow, 16 x 16.
QPixmap RefreshGlyph()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour(0x2f, 0x7d, 0xc8);
    p.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(9.5, 0.5);
    head.lineTo(14.5, 3.5);
    head.lineTo(9.5, 7.0);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
    return pixmap;
}

} // namespace

TMainForm::TMainForm(const TAppPaths& paths, QWidget* parent) : QMainWindow(parent), m_paths(paths)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Lumo网盘文件搜索"));
    SkinData1 = new TSkinData(this);
    SkinData1->setObjectName(QStringLiteral("SkinData1"));
    MsgDlg = new TSkinMessageBox(this);

    CreateControls();
    FormCreate();
}

TMainForm::~TMainForm()
{
    // The clients' completion handlers reach into this window.
    HttpCli1->OnRequestDone = nullptr;
    HttpCliCmd->OnRequestDone = nullptr;
}

void TMainForm::ShowStatusText(const QString& text)
{
    statusBar()->showMessage(text);
}

void TMainForm::CreateControls()
{
    QMenuBar* menu = menuBar();
    menu->setObjectName(QStringLiteral("SkinMainMenuBar1"));
    menu->setFixedHeight(22);
    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("SkinStatusBar1"));
    status->setFixedHeight(18);
    status->setSizeGripEnabled(false);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Top bar: keyword box and search button on the left, the hot-word
    // strip pn5 at the right.
    pn_top = new QWidget(client);
    pn_top->setObjectName(QStringLiteral("pn_top"));
    pn_top->setFixedHeight(37);
    column->addWidget(pn_top);

    ed_word = new QLineEdit(pn_top);
    ed_word->setObjectName(QStringLiteral("ed_word"));
    QFont wordFont(QStringLiteral("Tahoma"));
    wordFont.setPixelSize(14);
    ed_word->setFont(wordFont);
    ed_word->setGeometry(6, 7, 208, 23);

    btn_search = new QPushButton(kIdleCaption, pn_top);
    btn_search->setObjectName(QStringLiteral("btn_search"));
    btn_search->setGeometry(219, 6, 75, 25);
    // Skins pad buttons for wider captions; this one must fit in 75 pixels.
    btn_search->setStyleSheet(
        QStringLiteral("QPushButton { padding-left: 2px; padding-right: 2px; }"));

    pn5 = new QWidget(pn_top);
    pn5->setObjectName(QStringLiteral("pn5"));
    pn5->resize(438, 37);

    SkinPanel8 = new QWidget(pn5);
    SkinPanel8->setObjectName(QStringLiteral("SkinPanel8"));
    SkinPanel8->resize(40, 37);
    TControlAligner::SetAlign(SkinPanel8, TAlign::alLeft);
    SkinStdLabel1 = new QLabel(QStringLiteral("动态："), SkinPanel8);
    SkinStdLabel1->setObjectName(QStringLiteral("SkinStdLabel1"));
    SkinStdLabel1->setGeometry(0, 8, 40, 21);

    SkinPanel7 = new QWidget(pn5);
    SkinPanel7->setObjectName(QStringLiteral("SkinPanel7"));
    SkinPanel7->resize(35, 37);
    TControlAligner::SetAlign(SkinPanel7, TAlign::alRight);
    SkinSpeedButton1 = new TSkinSpeedButton(SkinPanel7);
    SkinSpeedButton1->setObjectName(QStringLiteral("SkinSpeedButton1"));
    SkinSpeedButton1->SetSize(35, 37);
    SkinSpeedButton1->SetGlyph(RefreshGlyph());
    SkinSpeedButton1->SetHint(QStringLiteral("换一换"));
    SkinSpeedButton1->SetOnClick([this](TSkinSpeedButton*) { SkinSpeedButton1Click(); });

    pn4 = new QWidget(pn5);
    pn4->setObjectName(QStringLiteral("pn4"));
    TControlAligner::SetAlign(pn4, TAlign::alClient);
    TControlAligner::SetAlign(pn5, TAlign::alRight);

    // The result list: report style, read-only, whole rows, one at a time.
    lv1 = new QTreeView(client);
    lv1->setObjectName(QStringLiteral("lv1"));
    QFont listFont(QStringLiteral("Tahoma"));
    listFont.setPixelSize(13);
    lv1->setFont(listFont);
    lv1->setRootIsDecorated(false);
    lv1->setItemsExpandable(false);
    lv1->setUniformRowHeights(true);
    lv1->setAllColumnsShowFocus(true);
    lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv1->setSelectionMode(QAbstractItemView::SingleSelection);
    lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv1->setExpandsOnDoubleClick(false);
    lv1->setIconSize(QSize(16, 16));
    lv1->setContextMenuPolicy(Qt::CustomContextMenu);
    lv1_rows = new TResultListModel(lv1);
    lv1->setModel(lv1_rows);
    lv1->header()->setStretchLastSection(false);
    for (int c = 0; c < TResultListModel::kColumnCount; ++c)
        lv1->setColumnWidth(c, TResultListModel::ColumnWidth(c));
    lv1_bar = lv1->verticalScrollBar();
    lv1_bar->setObjectName(QStringLiteral("lv1_bar"));
    lv1->viewport()->installEventFilter(this);
    column->addWidget(lv1, 1);

    pm1 = new QMenu(lv1);
    pm1->setObjectName(QStringLiteral("pm1"));
    N3 = pm1->addAction(QStringLiteral("结果预览"));
    N3->setObjectName(QStringLiteral("N3"));
    N4 = pm1->addAction(QStringLiteral("浏览器打开"));
    N4->setObjectName(QStringLiteral("N4"));

    HttpCli1 = new THttpCli(this);
    ConfigureServiceClient(*HttpCli1, QStringLiteral("HttpCli1"));
    HttpCli1->OnRequestDone = [this](THttpCli* sender, THttpRequest type, quint16 error) {
        HttpCli1RequestDone(sender, type, error);
    };
    HttpCliCmd = new THttpCli(this);
    ConfigureServiceClient(*HttpCliCmd, QStringLiteral("HttpCliCmd"));
    HttpCliCmd->OnRequestDone = [this](THttpCli* sender, THttpRequest type, quint16 error) {
        HttpCliCmdRequestDone(sender, type, error);
    };

    tmr1 = new QTimer(this);
    tmr1->setObjectName(QStringLiteral("tmr1"));
    tmr1->setInterval(30000);
    tmr2 = new QTimer(this);
    tmr2->setObjectName(QStringLiteral("tmr2"));
    tmr2->setInterval(5000);
    tmr3 = new QTimer(this);
    tmr3->setObjectName(QStringLiteral("tmr3"));
    tmr3->setInterval(20000);

    connect(btn_search, &QPushButton::clicked, this, guarded(this, &TMainForm::btn_searchClick));
    connect(ed_word, &QLineEdit::returnPressed, this, guarded(this, &TMainForm::ed_wordKeyPress));
    connect(lv1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pm1->popup(lv1->viewport()->mapToGlobal(pos)); });
    connect(N3, &QAction::triggered, this, guarded(this, &TMainForm::N3Click));
    connect(N4, &QAction::triggered, this, guarded(this, &TMainForm::N4Click));
    connect(tmr1, &QTimer::timeout, this, guarded(this, &TMainForm::tmr1Timer));
    connect(tmr2, &QTimer::timeout, this, guarded(this, &TMainForm::tmr2Timer));
    connect(tmr3, &QTimer::timeout, this, guarded(this, &TMainForm::tmr3Timer));
}

void TMainForm::FormCreate()
{
    base_url = QStringLiteral(LUMO_BASE_URL);
    app_version = QStringLiteral("1.5");
    app_build = QStringLiteral("20130924");

    m_smallIcons = GetSystemImageListHandle(1);
    m_largeIcons = GetSystemImageListHandle(0);
    lv1_rows->SetImageList(m_smallIcons);

    setWindowTitle(QStringLiteral("Lumo网盘文件搜索 v1.5"));
    CreateMenus();

    // Client area 760 x 430, centred on the desktop.
    resize(760, 430);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(0, 0), frameGeometry().size().expandedTo(size()));
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }

    // Hot words: first 5 s after creation, then every 30 s.
    tmr1->start();
    tmr2->start();
}

void TMainForm::FormShow()
{
    RestoreSkin();
}

void TMainForm::FormClose()
{
    tmr1->stop();
    tmr2->stop();
    tmr3->stop();
    // The icon lists belong to the process; the window lets go of them.
    lv1_rows->SetImageList(nullptr);
    m_smallIcons = nullptr;
    m_largeIcons = nullptr;
    // Ends the application even while other windows are open.
    QCoreApplication::quit();
}

// ---- search ----

void TMainForm::btn_searchClick()
{
    StartSearch();
}

void TMainForm::ed_wordKeyPress()
{
    btn_searchClick();
}

void TMainForm::StartSearch()
{
    const QString keyword = TrimControls(ed_word->text());
    if (keyword.isEmpty()) {
        MsgDlg->ShowInfo(QStringLiteral("请输入搜索关键词"));
        return;
    }
    btn_search->setText(kBusyCaption);
    btn_search->setEnabled(false);
    // A busy client refuses here; the search in flight keeps its state.
    PostServiceMessage(*HttpCli1, ServiceEndpoint(base_url),
                       SearchMessage(Gbk::fromUnicode(keyword)));
    if (!tmr3->isActive())
        tmr3->start();
}

void TMainForm::HttpCli1RequestDone(THttpCli*, THttpRequest, quint16 ErrCode)
{
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCli1, ErrCode);
    if (!reply)
        return; // silent; the search timeout frees the button
    FillResultList(*reply);
    btn_search->setEnabled(true);
    btn_search->setText(kIdleCaption);
}

void TMainForm::FillResultList(const QByteArray& reply)
{
    const IJsonValue root = ParseJson(Gbk::toUnicode(reply));
    const TJsonArray hits = ArrayOf(root);
    const int count = Length(hits);

    QVector<TResultRow> rows;
    if (root.kind() == JsonKind::Array && count == 0) {
        TResultRow placeholder;
        placeholder.Caption = Gbk::fromUnicode(QStringLiteral("...暂无文件..."));
        placeholder.ImageIndex = GetSystemIconIndexA(nullptr, 0);
        rows.append(std::move(placeholder));
    }

    rows.reserve(count);
    const QByteArray typeSuffix = Gbk::fromUnicode(QStringLiteral("文件"));
    for (int i = 0; i < count; ++i) {
        const IJsonValue hit = ItemAt(hits, i);
        // Only objects describe hits.
        if (hit.kind() != JsonKind::Object)
            continue;
        TResultRow row;
        row.Caption = Gbk::fromUnicode(MemberText(hit, u"file_name"));
        row.ImageIndex = TResultRow::kIconOfCaption;
        row.SubItems[0] = Gbk::fromUnicode(MemberText(hit, u"file_extension")) + typeSuffix;
        // A size that is no integer leaves its column empty; the hit and
        // those after it are still shown.
        qint64 size = 0;
        if (ParseFileSize(MemberText(hit, u"file_size"), size))
            row.SubItems[1] = Gbk::fromUnicode(FormatFileSize(size));
        row.SubItems[2] = Gbk::fromUnicode(MemberText(hit, u"file_value"));
        row.SubItems[3] = Gbk::fromUnicode(MemberText(hit, u"file_views"));
        row.SubItems[4] = Gbk::fromUnicode(MemberText(hit, u"file_time"));
        row.SubItems[5] = Gbk::fromUnicode(MemberText(hit, u"s_url"));
        row.SubItems[6] = Gbk::fromUnicode(MemberText(hit, u"file_id"));
        rows.append(std::move(row));
    }

    // One reset: the list repaints once however many hits arrived.
    lv1_rows->ReplaceRows(std::move(rows));
    tmr3->stop();
}

QString TMainForm::FormatFileSize(qint64 size)
{
    const auto withTwoDecimals = [](double value, const char* unit) {
        QString text = QString::number(value, 'f', 2);
        const QString point = QLocale().decimalPoint();
        if (point != QLatin1String("."))
            text.replace(QLatin1Char('.'), point);
        return text + QLatin1String(unit);
    };
    if (size / 1073741824 > 0)
        return withTwoDecimals(double(size) / 1073741824.0, "GB");
    if (size / 1048576 > 0)
        return withTwoDecimals(double(size) / 1048576.0, "MB");
    if (size / 1024 > 0)
        return withTwoDecimals(double(size) / 1024.0, "KB");
    return QString::number(size) + QLatin1Char('B');
}

void TMainForm::tmr3Timer()
{
    SearchTimeout();
}

void TMainForm::SearchTimeout()
{
    btn_search->setEnabled(true);
    btn_search->setText(kIdleCaption);
}

// ---- opening a hit ----

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // A double click anywhere in the list opens the selected row, as a
    // list view's double click does.
    if (watched == lv1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        guarded(this, &TMainForm::lv1DblClick)();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::lv1DblClick()
{
    OpenSelectedHit(true);
}

void TMainForm::N3Click()
{
    OpenSelectedHit(true);
}

void TMainForm::N4Click()
{
    OpenSelectedHit(false);
}

void TMainForm::OpenSelectedHit(bool preview)
{
    const QVector<TResultRow>& rows = lv1_rows->Rows();
    if (rows.isEmpty())
        return;

    const TResultRow* chosen = nullptr;
    QModelIndexList selected = lv1->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : selected) {
        if (index.row() < 0 || index.row() >= rows.size())
            continue;
        const TResultRow& row = rows.at(index.row());
        if (!row.SubItems[5].isEmpty())
            chosen = &row; // the last one in list order wins
    }
    if (!chosen)
        return;

    const QByteArray fileName = chosen->Caption;
    sel_share_url = TrimControls(chosen->SubItems[5]);
    sel_file_id = chosen->SubItems[6];
    sel_value = chosen->SubItems[2];
    sel_views = chosen->SubItems[3];
    view_url = DetailPageUrl(base_url, sel_file_id);

    if (preview) {
        if (!WBForm)
            return;
        WBForm->setWindowTitle(Gbk::toUnicode(fileName) + QStringLiteral("- [") +
                               Gbk::toUnicode(sel_share_url) +
                               QStringLiteral("] - Lumo网盘搜索结果预览"));
        WBForm->NavigatePage(view_url);
        WBForm->move(x() + 200, y() + 100);
        WBForm->show();
        WBForm->raise();
        WBForm->activateWindow();
    } else {
        TShell::OpenUrl(QUrl(Gbk::toUnicode(sel_share_url)));
    }
}

// ---- hot words ----

void TMainForm::tmr1Timer()
{
    RefreshHotWords();
}

void TMainForm::tmr2Timer()
{
    // Stays enabled when the refresh was refused, and so tries again.
    RefreshHotWords();
    tmr2->stop();
}

void TMainForm::SkinSpeedButton1Click()
{
    RefreshHotWords();
}

void TMainForm::RefreshHotWords()
{
    // The hot-word buttons are exactly the speed buttons on pn4.
    const QList<TSkinSpeedButton*> buttons =
        pn4->findChildren<TSkinSpeedButton*>(Qt::FindDirectChildrenOnly);
    for (TSkinSpeedButton* button : buttons)
        if (button->metaObject() == &TSkinSpeedButton::staticMetaObject)
            delete button;

    PostServiceMessage(*HttpCliCmd, ServiceEndpoint(base_url), CommendMessage());
}

void TMainForm::HttpCliCmdRequestDone(THttpCli*, THttpRequest, quint16 ErrCode)
{
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCliCmd, ErrCode);
    if (reply)
        FillHotWords(*reply);
}

void TMainForm::FillHotWords(const QByteArray& reply)
{
    const TJsonArray words = ArrayOf(ParseJson(Gbk::toUnicode(reply)));
    const int count = Length(words);
    for (int i = std::max(0, count - kMaxHotWords); i < count; ++i) {
        const IJsonValue item = ItemAt(words, i);
        if (item.kind() != JsonKind::Object)
            continue;
        const QString word = MemberText(item, u"word");
        // Each new button enters at the left edge: the last word is leftmost.
        auto* button =
            new TSkinSpeedButton(pn4, word, 15 * int(word.size()), 25, TAlign::alLeft,
                                 [this](TSkinSpeedButton* sender) { HotWordClick(sender); });
        button->setObjectName(QStringLiteral("HotWord"));
    }
}

void TMainForm::HotWordClick(TSkinSpeedButton* Sender)
{
    ed_word->setText(Sender->Caption());
    StartSearch();
}

// ---- window events ----

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Only a real show, not the window coming back from the task bar.
    if (!event->spontaneous())
        FormShow();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        FormClose();
}
