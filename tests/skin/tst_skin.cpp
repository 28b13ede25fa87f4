#include "skin/error_box.h"
#include "skin/guarded.h"
#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_description.h"
#include "skin/skin_error.h"
#include "skin/skin_file.h"
#include "skin/skin_file_error.h"
#include "skin/skin_message_box.h"
#include "skin/skin_speed_button.h"

#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace {

const QString kTitle = QStringLiteral("Lumo网盘搜索");

QString skinText(const QString& name, const QString& window, const QString& style)
{
    return QStringLiteral("[skin]\nname=%1\n[colors]\nwindow=%2\nbutton=%2\n[style]\n%3\n")
        .arg(name, window, style);
}

// The colour a window shows in its middle, where nothing but its background is.
QColor backgroundOf(QWidget* window)
{
    const QImage image = window->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// A widget whose event handler fails, to see what the event loop does with
// it. (A custom event: the input events of Qt's widget layer cannot be
// unwound through without leaking, which is why handlers run guarded.)
class FailingWidget : public QWidget
{
public:
    static constexpr QEvent::Type kFail = QEvent::User;
    int handled = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != kFail)
            return QWidget::event(e);
        ++handled;
        throw std::runtime_error("处理失败");
    }
};

} // namespace

class TstSkin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void description_rejects_data();
    void description_rejects();
    void description_textRoundTrip();
    void charm_isComplete();

    void holder_reskinsEveryWindowAtOnce();
    void holder_keepsLookOnBadSkin();
    void holder_loadsSkinFile();

    void speedButton_alignsLeft();
    void speedButton_click();

    void msgDlg_information();
    void msgDlg_okCancel_data();
    void msgDlg_okCancel();
    void msgDlg_answeredAhead();

    void errorBox_guardedHandlers();
    void errorBox_eventHandler();
    void errorBox_captionIsItsOwn();
    void errorBox_completionDispatchDrops();
};

void TstSkin::init()
{
    TSkinMessageBox::resetTestHooks();
}

void TstSkin::cleanup()
{
    TSkinMessageBox::resetTestHooks();
}

void TstSkin::description_rejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QString() << "缺少皮肤名称";
    QTest::newRow("no name") << "[skin]\n[colors]\nwindow=#ffffff\n[style]\n"
                             << "缺少皮肤名称";
    QTest::newRow("no style") << "[skin]\nname=x\n[colors]\nwindow=#ffffff\n"
                              << "缺少 [style]";
    QTest::newRow("bad colour") << "[skin]\nname=x\n[colors]\nwindow=white\n[style]\n"
                                << "第 4 行";
    QTest::newRow("short colour") << "[skin]\nname=x\n[colors]\nwindow=#fff\n[style]\n"
                                  << "无效的颜色";
    QTest::newRow("unknown section") << "[skin]\nname=x\n[fonts]\n[style]\n"
                                     << "[fonts]";
    QTest::newRow("line without value") << "[skin]\nname=x\nfont\n[style]\n"
                                        << "第 3 行";
    QTest::newRow("key outside section") << "name=x\n[style]\n"
                                         << "第 1 行";
    QTest::newRow("undefined colour in style")
        << "[skin]\nname=x\n[colors]\nwindow=#ffffff\n[style]\nQWidget { color: @ink; }\n"
        << "@ink";
    QTest::newRow("binary") << QString::fromLatin1("\x01\x02\xff garbage") << "第 1 行";
}

void TstSkin::description_rejects()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    try {
        TSkinDescription::FromText(text);
        QFAIL("accepted a text that holds no skin");
    } catch (const SkinError& error) {
        QVERIFY2(QString::fromUtf8(error.what()).contains(reason), error.what());
    }
}

void TstSkin::description_textRoundTrip()
{
    // A file is only another source of the same description: writing the
    // built-in skin out and reading it back gives the same skin.
    const TSkinDescription charm = TSkinDescription::Charm();
    const TSkinDescription again = TSkinDescription::FromText(charm.ToText());
    QVERIFY(again == charm);
    QCOMPARE(again.StyleSheet(), charm.StyleSheet());

    // Style text is taken as it is, '#' and ';' included; CR LF line ends work.
    const TSkinDescription crlf = TSkinDescription::FromText(
        "; comment\r\n[skin]\r\nname=Dusk\r\nitemHeight=24\r\n[colors]\r\nwindow=#102030\r\n"
        "accent=#80ff0000\r\n[style]\r\n#pn4 { color: @accent; } ; kept\r\n");
    QCOMPARE(crlf.Name(), QStringLiteral("Dusk"));
    QCOMPARE(crlf.Metric("itemHeight", 20), 24);
    QCOMPARE(crlf.Metric("missing", 20), 20);
    QCOMPARE(crlf.Palette().color(QPalette::Window), QColor("#102030"));
    QVERIFY2(crlf.StyleSheet().contains("#pn4 { color: rgba(255, 0, 0, 128); } ; kept"),
             qPrintable(crlf.StyleSheet()));
}

void TstSkin::charm_isComplete()
{
    const TSkinDescription charm = TSkinDescription::Charm();
    QCOMPARE(charm.Name(), QStringLiteral("Charm"));
    QCOMPARE(charm.Metric("itemHeight", 0), 20);
    QVERIFY(!charm.StyleSheet().contains(QLatin1Char('@')));
    // Every control kind the client uses has its look in the skin.
    for (const char* selector : {"QMainWindow",    "QDialog",     "QFrame",
                                 "QGroupBox",      "QPushButton", "TSkinSpeedButton",
                                 "QLineEdit",      "QTreeView",   "QHeaderView::section",
                                 "QPlainTextEdit", "QComboBox",   "QLabel",
                                 "TSkinLinkLabel", "QStatusBar",  "QScrollBar",
                                 "QMenuBar",       "QMenu",       "QListWidget",
                                 "QToolTip",       "QMessageBox"})
        QVERIFY2(charm.StyleSheet().contains(QLatin1String(selector)), selector);
    QVERIFY(charm.Palette().color(QPalette::Window) != QPalette().color(QPalette::Window) ||
            charm.Color("window").isValid());
}

void TstSkin::holder_reskinsEveryWindowAtOnce()
{
    TSkinData holder;
    QCOMPARE(holder.SkinName(), QStringLiteral("Charm"));
    const QColor charmWindow = TSkinDescription::Charm().Color("window");

    QWidget first;
    first.resize(120, 80);
    first.show();
    QDialog second;
    second.resize(120, 80);
    new QPushButton(QStringLiteral("确定"), &second);
    second.show();
    QCOMPARE(backgroundOf(&first), charmWindow);
    QCOMPARE(backgroundOf(&second), charmWindow);

    // One call changes both open windows; nothing is done to the windows.
    holder.LoadFromText(skinText("Night", "#203040", "QDialog, QWidget { background: #203040; }"));
    QCOMPARE(holder.SkinName(), QStringLiteral("Night"));
    QCOMPARE(backgroundOf(&first), QColor("#203040"));
    QCOMPARE(backgroundOf(&second), QColor("#203040"));
    QCOMPARE(second.findChild<QPushButton*>()->palette().color(QPalette::Button),
             QColor("#203040"));

    // A window opened later takes the current look as well.
    QWidget later;
    later.resize(120, 80);
    later.show();
    QCOMPARE(backgroundOf(&later), QColor("#203040"));

    holder.LoadBuiltin();
    QCOMPARE(backgroundOf(&first), charmWindow);
    QCOMPARE(backgroundOf(&later), charmWindow);
}

void TstSkin::holder_keepsLookOnBadSkin()
{
    TSkinData holder;
    const QString sheet = qApp->styleSheet();
    QVERIFY_THROWS_EXCEPTION(SkinError, holder.LoadFromText("not a skin"));
    QCOMPARE(holder.SkinName(), QStringLiteral("Charm"));
    QCOMPARE(qApp->styleSheet(), sheet);
}

void TstSkin::holder_loadsSkinFile()
{
    TSkinData holder;
    QWidget window;
    window.resize(80, 60);
    window.show();
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write("blue.skn",
          PackSkinFile(skinText("蓝色", "#1144aa", "QWidget { background: @window; }").toUtf8()));
    write("notaskin.skn", PackSkinFile("just some text"));
    write("garbage.skn", "garbage");

    holder.LoadFromFile(dir.filePath("blue.skn"));
    QCOMPARE(holder.SkinName(), QStringLiteral("蓝色"));
    QCOMPARE(backgroundOf(&window), QColor("#1144aa"));

    // Files that hold no skin leave the current look.
    QVERIFY_THROWS_EXCEPTION(SkinError, holder.LoadFromFile(dir.filePath("notaskin.skn")));
    QVERIFY_THROWS_EXCEPTION(SkinFileError, holder.LoadFromFile(dir.filePath("garbage.skn")));
    QVERIFY_THROWS_EXCEPTION(SkinFileError, holder.LoadFromFile(dir.filePath("missing.skn")));
    QCOMPARE(holder.SkinName(), QStringLiteral("蓝色"));
    QCOMPARE(backgroundOf(&window), QColor("#1144aa"));
    holder.LoadBuiltin();
}

void TstSkin::speedButton_alignsLeft()
{
    QWidget owner;
    auto* bar = new QWidget(&owner);
    bar->setObjectName("pn4");
    bar->setGeometry(0, 0, 100, 37);
    owner.show();

    // Each new button enters at the left edge and pushes the others right.
    for (const QString& word : {QStringLiteral("a"), QStringLiteral("bb"), QStringLiteral("ccc")})
        new TSkinSpeedButton(bar, word, 15 * int(word.size()), 25, TAlign::alLeft, nullptr);
    auto buttons = bar->findChildren<TSkinSpeedButton*>();
    QCOMPARE(buttons.size(), 3);
    auto geometryOf = [&](const QString& caption) {
        for (auto* b : bar->findChildren<TSkinSpeedButton*>())
            if (b->Caption() == caption)
                return b->geometry();
        return QRect();
    };
    QCOMPARE(geometryOf("ccc"), QRect(0, 0, 45, 37));
    QCOMPARE(geometryOf("bb"), QRect(45, 0, 30, 37));
    QCOMPARE(geometryOf("a"), QRect(75, 0, 15, 37));
    QCOMPARE(QString(buttons.first()->metaObject()->className()),
             QStringLiteral("TSkinSpeedButton"));
    QVERIFY(buttons.first()->isVisible());

    // The bar does not grow or scroll: what does not fit is cut at the right.
    new TSkinSpeedButton(bar, "dddd", 60, 25, TAlign::alLeft, nullptr);
    QCOMPARE(geometryOf("dddd").x(), 0);
    QCOMPARE(geometryOf("a").x(), 135);
    QCOMPARE(bar->width(), 100);

    // A button that goes away closes the gap.
    for (auto* b : bar->findChildren<TSkinSpeedButton*>())
        if (b->Caption() == "dddd")
            delete b;
    QCOMPARE(geometryOf("ccc").x(), 0);
    QCOMPARE(geometryOf("a").x(), 75);

    // Resizing the bar keeps the order and stretches the height.
    bar->resize(300, 30);
    QCOMPARE(geometryOf("bb"), QRect(45, 0, 30, 30));

    // A word without characters gives a button of no width.
    new TSkinSpeedButton(bar, QString(), 0, 25, TAlign::alLeft, nullptr);
    QCOMPARE(geometryOf("ccc").x(), 0);
}

void TstSkin::speedButton_click()
{
    QWidget bar;
    bar.resize(200, 30);
    bar.show();
    QString clicked;
    auto* button =
        new TSkinSpeedButton(&bar, QStringLiteral("热词"), 30, 25, TAlign::alLeft,
                             [&](TSkinSpeedButton* sender) { clicked = sender->Caption(); });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicked, QStringLiteral("热词"));
    QCOMPARE(button->focusPolicy(), Qt::NoFocus);

    // An image button with a hint and no caption.
    auto* refresh = new TSkinSpeedButton(&bar);
    QPixmap glyph(16, 16);
    glyph.fill(Qt::blue);
    refresh->SetGlyph(QIcon(glyph), glyph.size());
    refresh->SetHint(QStringLiteral("换一换"));
    refresh->SetSize(35, 37);
    QCOMPARE(refresh->toolTip(), QStringLiteral("换一换"));
    QCOMPARE(refresh->iconSize(), QSize(16, 16));
    QCOMPARE(refresh->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QCOMPARE(refresh->size(), QSize(35, 37));

    // A failing click handler ends in the error box; the button still works.
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    button->SetOnClick([](TSkinSpeedButton*) { throw std::runtime_error("请求正忙"); });
    QTest::mouseClick(button, Qt::LeftButton);
    const auto shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, kTitle);
    QCOMPARE(shown[0].text, QStringLiteral("请求正忙"));
    QCOMPARE(shown[0].buttons, QStringList{"确定"});
}

namespace {

// Answers the modal box that is about to open from inside its own loop,
// checking what it shows first. Gives up (rejecting) after a bound.
struct BoxAnswerer
{
    QString caption;
    QString text;
    QStringList buttons;
    bool seen = false;

    void answerWith(const QString& buttonText, bool escape = false)
    {
        QTimer::singleShot(0, [this, buttonText, escape] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = true;
            caption = box->windowTitle();
            text = box->text();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            if (escape) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* b : box->buttons())
                if (b->text() == buttonText)
                    b->click();
        });
        QTimer::singleShot(5000, [] {
            if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                box->reject();
        });
    }
};

} // namespace

void TstSkin::msgDlg_information()
{
    QWidget owner;
    owner.show();
    TSkinMessageBox MsgDlg(&owner);
    BoxAnswerer answerer;
    answerer.answerWith("确定");
    MsgDlg.ShowInfo(QStringLiteral("请输入搜索关键词"));
    QVERIFY(answerer.seen);
    QCOMPARE(answerer.caption, QStringLiteral("提示信息"));
    QCOMPARE(answerer.text, QStringLiteral("请输入搜索关键词"));
    QCOMPARE(answerer.buttons, QStringList{"确定"});
}

void TstSkin::msgDlg_okCancel_data()
{
    QTest::addColumn<QString>("press");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("ok");
    QTest::newRow("ok") << "确定" << false << true;
    QTest::newRow("cancel") << "取消" << false << false;
    QTest::newRow("escape") << QString() << true << false;
}

void TstSkin::msgDlg_okCancel()
{
    QFETCH(QString, press);
    QFETCH(bool, escape);
    QFETCH(bool, ok);
    TSkinMessageBox MsgDlg(nullptr);
    BoxAnswerer answerer;
    answerer.answerWith(press, escape);
    const auto answer = MsgDlg.AskOkCancel(QStringLiteral("确认删除此皮肤？"));
    QVERIFY(answerer.seen);
    QCOMPARE(answerer.caption, QStringLiteral("提示信息"));
    QCOMPARE(answerer.buttons, (QStringList{"确定", "取消"}));
    QCOMPARE(answer == TSkinMessageBox::Answer::Ok, ok);
}

void TstSkin::msgDlg_answeredAhead()
{
    TSkinMessageBox MsgDlg(nullptr);
    TSkinMessageBox::setNextAnswer(TSkinMessageBox::Answer::Cancel);
    TSkinMessageBox::setNextAnswer(TSkinMessageBox::Answer::Ok);
    QCOMPARE(MsgDlg.AskOkCancel("first"), TSkinMessageBox::Answer::Cancel);
    QCOMPARE(MsgDlg.AskOkCancel("second"), TSkinMessageBox::Answer::Ok);
    const auto shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].caption, QStringLiteral("提示信息"));
    QCOMPARE(shown[0].text, QStringLiteral("first"));
    QCOMPARE(shown[1].buttons, (QStringList{"确定", "取消"}));
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());
}

void TstSkin::errorBox_guardedHandlers()
{
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);

    // A throwing button handler and a throwing timer handler.
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, guarded([&](bool) {
        ++clicks;
        throw std::runtime_error("文件无法创建");
    }));
    button.click();
    button.click();
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &timer,
                     guarded([] { throw std::logic_error("定时器出错"); }));
    timer.start(0);
    QList<TShownMessage> shown;
    QTRY_COMPARE_WITH_TIMEOUT((shown += TSkinMessageBox::takeShownMessages()).size(), 3, 5000);
    QCOMPARE(shown[0].text, QStringLiteral("文件无法创建"));
    QCOMPARE(shown[2].text, QStringLiteral("定时器出错"));
    QCOMPARE(clicks, 2);

    // Something thrown that is not a std::exception still gets a box.
    QObject::connect(&button, &QPushButton::pressed, &button, guarded([] { throw 42; }));
    button.click();
    shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 2); // pressed, then clicked
    QCOMPARE(shown[0].caption, kTitle);
    QCOMPARE(shown[0].text, QStringLiteral("发生未知错误。"));
    QCOMPARE(shown[1].text, QStringLiteral("文件无法创建"));
}

void TstSkin::errorBox_eventHandler()
{
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    FailingWidget widget;
    widget.show();
    // Delivered by the event loop: the error stops at the application object.
    QCoreApplication::postEvent(&widget, new QEvent(FailingWidget::kFail));
    QCoreApplication::postEvent(&widget, new QEvent(FailingWidget::kFail));
    QTRY_COMPARE_WITH_TIMEOUT(widget.handled, 2, 5000);
    const auto shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown[0].caption, kTitle);
    QCOMPARE(shown[0].text, QStringLiteral("处理失败"));
    QCOMPARE(shown[0].buttons, QStringList{"确定"});
}

// The title is the box's caption, not Qt's application name, which Qt puts
// into the names of temporary and per-user folders.
void TstSkin::errorBox_captionIsItsOwn()
{
    QCOMPARE(TApplication::Title(), kTitle);
    QCOMPARE(TErrorBox::Caption(), kTitle);
    QVERIFY(!QCoreApplication::applicationName().contains(kTitle));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY2(!dir.path().contains(QStringLiteral("网盘")), qPrintable(dir.path()));
}

void TstSkin::errorBox_completionDispatchDrops()
{
    // The HTTP client posts its completion and its dispatch drops what the
    // handler throws: no box appears, and the loop carries on.
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    bool handled = false;
    bool after = false;
    auto dispatch = [&] {
        try {
            handled = true;
            throw std::runtime_error("completion failed");
        } catch (const std::exception&) {
        }
    };
    QMetaObject::invokeMethod(qApp, dispatch, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        qApp, [&] { after = true; }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(after, 5000);
    QVERIFY(handled);
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(kTitle);
    TstSkin test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_skin.moc"
