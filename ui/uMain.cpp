#include "ui/uMain.h"

#include "json/uJson.h"
#include "net/service_messages.h"
#include "platform/file_icons.h"
#include "platform/shell_open.h"
#include "skin/control_aligner.h"
#include "skin/error_box.h"
#include "skin/guarded.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "skin/skin_speed_button.h"
#include "ui/error_text.h"
#include "ui/refresh_glyph.h"
#include "ui/result_list_model.h"
#include "ui/search_reply.h"
#include "ui/service_failure_text.h"
#include "ui/trim_controls.h"
#include "ui/uWB.h"
#include "ui/window_placement.h"
#include "util/gbk.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QStringListModel>
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

// The keyword box and the search button take the left of the top bar; the
// hot-word strip has the rest, up to its design width, and gives way when
// the window is narrower.
constexpr int kSearchPartWidth = 300;
constexpr int kHotWordStripWidth = 438;
// Small enough for a small screen; at this size the strip still shows a
// few words and the list a few rows, and no control covers another.
constexpr QSize kMinimumSize(560, 300);

} // namespace

TMainForm::TMainForm(const TAppPaths& paths, QWidget* parent) : QMainWindow(parent), m_paths(paths)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Lumo网盘文件搜索"));
    SkinData1 = new TSkinData(this);
    SkinData1->setObjectName(QStringLiteral("SkinData1"));
    MsgDlg = new TSkinMessageBox(this);
    // The default error box reads errors of every layer in Chinese.
    TErrorBox::SetTextOf(&ErrorText);

    CreateControls();
    FormCreate();
}

TMainForm::~TMainForm()
{
    // The clients' completion handlers reach into this window.
    HttpCli1->OnRequestDone = nullptr;
    HttpCliCmd->OnRequestDone = nullptr;
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
    SkinSpeedButton1->SetGlyph(RefreshGlyph(), QSize(16, 16));
    SkinSpeedButton1->SetHint(QStringLiteral("换一换"));
    SkinSpeedButton1->SetOnClick([this](TSkinSpeedButton*) { SkinSpeedButton1Click(); });

    pn4 = new QWidget(pn5);
    pn4->setObjectName(QStringLiteral("pn4"));
    TControlAligner::SetAlign(pn4, TAlign::alClient);
    pn_top->installEventFilter(this);

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
    // The service's order until a header is clicked.
    lv1->header()->setSortIndicator(-1, Qt::AscendingOrder);
    lv1->setSortingEnabled(true);
    lv1_bar = lv1->verticalScrollBar();
    lv1_bar->setObjectName(QStringLiteral("lv1_bar"));
    lv1->installEventFilter(this);
    lv1->viewport()->installEventFilter(this);
    column->addWidget(lv1, 1);

    pm1 = new QMenu(lv1);
    pm1->setObjectName(QStringLiteral("pm1"));
    N3 = pm1->addAction(QStringLiteral("结果预览"));
    N3->setObjectName(QStringLiteral("N3"));
    N4 = pm1->addAction(QStringLiteral("浏览器打开"));
    N4->setObjectName(QStringLiteral("N4"));
    N8 = pm1->addAction(QStringLiteral("复制地址"));
    N8->setObjectName(QStringLiteral("N8"));
    // Ctrl+C in the list copies the address too, not the file name.
    N8->setShortcut(QKeySequence::Copy);
    N8->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lv1->addAction(N8);

    N9 = new QAction(QStringLiteral("清除搜索记录"), ed_word);
    N9->setObjectName(QStringLiteral("N9"));
    ed_word->setContextMenuPolicy(Qt::CustomContextMenu);
    m_keywords = new QStringListModel(this);
    auto* completer = new QCompleter(m_keywords, ed_word);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    ed_word->setCompleter(completer);

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
    connect(lv1, &QWidget::customContextMenuRequested, this, &TMainForm::lv1ContextPopup);
    connect(N3, &QAction::triggered, this, guarded(this, &TMainForm::N3Click));
    connect(N4, &QAction::triggered, this, guarded(this, &TMainForm::N4Click));
    connect(N8, &QAction::triggered, this, guarded(this, &TMainForm::N8Click));
    connect(ed_word, &QWidget::customContextMenuRequested, this, &TMainForm::ed_wordContextPopup);
    connect(N9, &QAction::triggered, this, guarded(this, &TMainForm::N9Click));
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

    // Client area 760 x 430, centred on the desktop, unless the user's
    // last place is remembered.
    setMinimumSize(kMinimumSize);
    resize(760, 430);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(0, 0), frameGeometry().size().expandedTo(size()));
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    RestoreWindowMemory();

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
    SaveWindowMemory();
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
    // The keyword list has done its work once a search starts.
    ed_word->completer()->popup()->hide();
    const QString keyword = TrimControls(ed_word->text());
    if (keyword.isEmpty()) {
        MsgDlg->ShowInfo(QStringLiteral("请输入搜索关键词"));
        return;
    }
    btn_search->setText(kBusyCaption);
    btn_search->setEnabled(false);
    // A busy client refuses here; the search in flight keeps its state.
    PostServiceMessage(*HttpCli1, ServiceEndpoint(base_url),
                       SearchMessage(Gbk::fromUnicode(keyword)), kSearchReplyLimit);
    RememberKeyword(keyword);
    if (!tmr3->isActive())
        tmr3->start();
}

void TMainForm::HttpCli1RequestDone(THttpCli*, THttpRequest, quint16 ErrCode)
{
    const QByteArray url = HttpCli1->URL();
    const QString failure = ServiceFailureText(ErrCode, HttpCli1->StatusCode(), url);
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCli1, ErrCode);
    if (!reply) {
        // No box; the search timeout frees the button.
        ReportServiceOutcome(failure);
        return;
    }
    ReportServiceOutcome(FillResultList(*reply) ? QString() : UnreadableReplyText(url));
    btn_search->setEnabled(true);
    btn_search->setText(kIdleCaption);
}

bool TMainForm::FillResultList(const QByteArray& reply)
{
    TSearchReply read = ReadSearchReply(reply);
    QVector<TResultRow> rows = std::move(read.Rows);
    if (read.Length == 0) {
        TResultRow placeholder;
        placeholder.Caption = Gbk::fromUnicode(QStringLiteral("...暂无文件..."));
        placeholder.ImageIndex = GetSystemIconIndexA(nullptr, 0);
        rows.append(std::move(placeholder));
    }
    const int found = read.Length > 0 ? int(rows.size()) : 0;
    // A new reply shows in the service's order.
    lv1->header()->setSortIndicator(-1, Qt::AscendingOrder);
    // One reset: the list repaints once however many hits arrived.
    lv1_rows->ReplaceRows(std::move(rows));
    tmr3->stop();
    ShowStatusText(QStringLiteral("共找到 %1 个文件").arg(found));
    return read.Length >= 0;
}

QString TMainForm::FormatFileSize(qint64 size)
{
    return FileSizeText(size);
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
    if (watched == pn_top && event->type() == QEvent::Resize)
        LayOutTopBar();
    if (watched == lv1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded(this, &TMainForm::lv1KeyPress)();
            return true;
        }
    }
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

void TMainForm::lv1KeyPress()
{
    // Enter opens the selected hit as a double click does.
    OpenSelectedHit(true);
}

void TMainForm::lv1ContextPopup(const QPoint& pos)
{
    // The menu holds hit actions only: none for the placeholder row or an
    // empty list.
    if (SelectedHit())
        pm1->popup(lv1->viewport()->mapToGlobal(pos));
}

void TMainForm::N3Click()
{
    OpenSelectedHit(true);
}

void TMainForm::N4Click()
{
    OpenSelectedHit(false);
}

void TMainForm::N8Click()
{
    CopySelectedAddress();
}

const TResultRow* TMainForm::SelectedHit() const
{
    const QVector<TResultRow>& rows = lv1_rows->Rows();
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
    return chosen;
}

void TMainForm::CopySelectedAddress()
{
    const TResultRow* hit = SelectedHit();
    if (!hit)
        return;
    const QByteArray address = TrimControls(hit->SubItems[5]);
    if (!address.isEmpty())
        QGuiApplication::clipboard()->setText(Gbk::toUnicode(address));
}

void TMainForm::OpenSelectedHit(bool preview)
{
    const TResultRow* chosen = SelectedHit();
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
        PlacePreviewWindow();
        WBForm->show();
        WBForm->raise();
        WBForm->activateWindow();
    } else {
        OpenSharePage();
    }
}

void TMainForm::OpenSharePage()
{
    const QString address = Gbk::toUnicode(sel_share_url);
    const QUrl url(address, QUrl::StrictMode);
    if (TShell::IsWebAddress(url)) {
        TShell::OpenUrl(url);
        return;
    }
    // The service's text is shown, but never more than a line of it.
    constexpr int kShownLength = 200;
    const QString shown = address.isEmpty() ? QStringLiteral("（无地址）")
                          : address.size() > kShownLength
                              ? address.left(kShownLength) + QStringLiteral("…")
                              : address;
    MsgDlg->ShowInfo(QStringLiteral("该文件的分享地址不是网页地址（http:// 或 https://），"
                                    "未在浏览器中打开：") +
                     shown);
}

void TMainForm::PlacePreviewWindow()
{
    // 200 right of and 100 below the main window's corner, as far as the
    // screen the main window is on allows.
    QRect frame = WBForm->frameGeometry();
    frame.moveTopLeft(pos() + QPoint(200, 100));
    const QScreen* onScreen = QGuiApplication::screenAt(frameGeometry().center());
    if (!onScreen)
        onScreen = screen();
    const QRect fitted = onScreen ? FitIntoArea(frame, onScreen->availableGeometry()) : frame;
    if (fitted.size() != frame.size())
        WBForm->resize(WBForm->size() - (frame.size() - fitted.size()));
    WBForm->move(fitted.topLeft());
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

    PostServiceMessage(*HttpCliCmd, ServiceEndpoint(base_url), CommendMessage(),
                       kCommendReplyLimit);
}

void TMainForm::HttpCliCmdRequestDone(THttpCli*, THttpRequest, quint16 ErrCode)
{
    const QByteArray url = HttpCliCmd->URL();
    const QString failure = ServiceFailureText(ErrCode, HttpCliCmd->StatusCode(), url);
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCliCmd, ErrCode);
    if (!reply) {
        ReportServiceOutcome(failure);
        return;
    }
    ReportServiceOutcome(FillHotWords(*reply) ? QString() : UnreadableReplyText(url));
}

bool TMainForm::FillHotWords(const QByteArray& reply)
{
    const IJsonValue root = ParseJson(Gbk::toUnicode(reply));
    const TJsonArray words = ArrayOf(root);
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
    return root.kind() == JsonKind::Array;
}

void TMainForm::LayOutTopBar()
{
    // The strip gives way to the keyword box and the button: it shows fewer
    // words rather than covering them.
    const int width = std::clamp(pn_top->width() - kSearchPartWidth, 0, kHotWordStripWidth);
    pn5->setGeometry(pn_top->width() - width, 0, width, pn_top->height());
}

void TMainForm::HotWordClick(TSkinSpeedButton* Sender)
{
    ed_word->setText(Sender->Caption());
    StartSearch();
}

// ---- status bar and memory between runs ----

void TMainForm::ShowStatusText(const QString& text)
{
    statusBar()->showMessage(text);
}

void TMainForm::ReportServiceOutcome(const QString& failure)
{
    if (!failure.isEmpty()) {
        m_serviceFailure = failure;
        ShowStatusText(failure);
    } else if (!m_serviceFailure.isEmpty() && statusBar()->currentMessage() == m_serviceFailure) {
        m_serviceFailure.clear();
        ShowStatusText(QString());
    }
}

void TMainForm::ed_wordContextPopup(const QPoint& pos)
{
    // The box's usual editing menu, then the keyword history.
    QMenu* menu = ed_word->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    menu->addAction(N9);
    N9->setEnabled(!m_memory.Keywords.isEmpty());
    menu->popup(ed_word->mapToGlobal(pos));
}

void TMainForm::N9Click()
{
    ClearKeywords();
}

void TMainForm::RememberKeyword(const QString& keyword)
{
    m_memory.RememberKeyword(keyword);
    m_keywords->setStringList(m_memory.Keywords);
}

void TMainForm::ClearKeywords()
{
    m_memory.Keywords.clear();
    m_keywords->setStringList({});
}

void TMainForm::RestoreWindowMemory()
{
    m_memory = TWindowMemory::Load(WindowMemoryPath(Paths().SettingsFolder()));
    // Qt checks the data and keeps the window on a screen that exists now.
    if (!m_memory.MainGeometry.isEmpty())
        restoreGeometry(m_memory.MainGeometry);
    for (int c = 0; c < m_memory.ColumnWidths.size(); ++c)
        lv1->setColumnWidth(c, m_memory.ColumnWidths.at(c));
    m_keywords->setStringList(m_memory.Keywords);
}

void TMainForm::SaveWindowMemory()
{
    m_memory.MainGeometry = saveGeometry();
    if (WBForm)
        m_memory.PreviewGeometry = WBForm->saveGeometry();
    m_memory.ColumnWidths.clear();
    for (int c = 0; c < TResultListModel::kColumnCount; ++c)
        m_memory.ColumnWidths.append(lv1->columnWidth(c));
    // Memory is a convenience: a folder that cannot be written costs the
    // user nothing but the next start's defaults.
    m_memory.Save(WindowMemoryPath(Paths().SettingsFolder()));
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
