#include "platform/shell_open.h"
#include "skin/skin_application.h"
#include "skin/skin_message_box.h"
#include "ui/result_list_model.h"
#include "ui/uMain.h"
#include "ui/uWB.h"
#include "util/gbk.h"

#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

// One hit; `size` is a JSON token, a number or a quoted text.
QByteArray Hit(const QString& name, const QString& ext, const QString& size, const QString& value,
               const QString& views, const QString& time, const QString& place, const QString& id)
{
    return Gbk::fromUnicode(
        QStringLiteral("{\"file_name\":\"%1\",\"file_extension\":\"%2\",\"file_size\":%3,"
                       "\"file_value\":\"%4\",\"file_views\":\"%5\",\"file_time\":\"%6\","
                       "\"s_url\":\"http://pan.example/s/%7\",\"file_id\":\"%8\"}")
            .arg(name, ext, size, value, views, time, place, id));
}

// Five hits built so that every column has ties, a missing value and an
// order as numbers that differs from the order as texts.
QByteArray Reply()
{
    return "[" +
           Hit(QStringLiteral("天津.rar"), "rar", "2048", "8.5", "120", "2013-09-20", "1", "11") +
           "," +
           Hit(QStringLiteral("北京.zip"), "zip", "1048576", "9", "5", "2013-10-01", "2", "2") +
           "," +
           Hit(QStringLiteral("上海.rar"), "rar", "\"2048\"", "10", "120", "2013-09-20", "3",
               "103") +
           "," + Hit(QStringLiteral("上海.rar"), "iso", "\"x\"", "", "40", "", "4", "4") + "," +
           Hit(QStringLiteral("重庆.7z"), "7z", "500", "7.25", "1000", "2012-01-31", "5", "50") +
           "]";
}
const QStringList kServiceOrder{"11", "2", "103", "4", "50"};

struct Fixture
{
    explicit Fixture(const QString& folder) : main(folder), wb(main)
    {
        main.tmr1->stop();
        main.tmr2->stop();
        // Every header in view, so that a click can reach it.
        main.resize(1400, 500);
    }
    // The file ids from top to bottom.
    QStringList Ids() const
    {
        QStringList ids;
        for (int r = 0; r < main.lv1_rows->rowCount(); ++r)
            ids << main.lv1_rows->data(main.lv1_rows->index(r, 7), Qt::DisplayRole).toString();
        return ids;
    }
    void ClickHeader(int column)
    {
        QHeaderView* header = main.lv1->header();
        const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    void Select(int row) { main.lv1->setCurrentIndex(main.lv1_rows->index(row, 1)); }

    TMainForm main;
    TWBForm wb;
};

} // namespace

class TstResultList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headerClickSortsAndReverses_data();
    void headerClickSortsAndReverses();
    void newReplyAndPlaceholderKeepTheServiceOrder();
    void hitActions_data();
    void hitActions();
    void numbersRightAlignedAndCountInStatusBar();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Fixture> f;
    QList<QUrl> m_opened;
};

void TstResultList::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    TSkinMessageBox::resetTestHooks();
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    m_opened.clear();
    TShell::SetOpenHook([this](const QUrl& url) { m_opened << url; });
    f = std::make_unique<Fixture>(m_folder->path() + "/");
    f->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->main));
}

void TstResultList::cleanup()
{
    f.reset();
    TShell::SetOpenHook(nullptr);
    QLocale::setDefault(QLocale::c());
    TSkinMessageBox::resetTestHooks();
}

void TstResultList::headerClickSortsAndReverses_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::addColumn<QStringList>("descending");
    // Ties keep the service's order both ways; missing values go last.
    QTest::newRow("name, by pinyin") << 0 << QStringList{"2", "50", "103", "4", "11"}
                                     << QStringList{"11", "103", "4", "50", "2"};
    QTest::newRow("type") << 1 << QStringList{"50", "4", "11", "103", "2"}
                          << QStringList{"2", "11", "103", "4", "50"};
    QTest::newRow("size in bytes") << 2 << QStringList{"50", "11", "103", "2", "4"}
                                   << QStringList{"2", "11", "103", "50", "4"};
    QTest::newRow("value as number") << 3 << QStringList{"50", "11", "2", "103", "4"}
                                     << QStringList{"103", "2", "11", "50", "4"};
    QTest::newRow("views as number") << 4 << QStringList{"2", "4", "11", "103", "50"}
                                     << QStringList{"50", "11", "103", "4", "2"};
    QTest::newRow("date") << 5 << QStringList{"50", "11", "103", "2", "4"}
                          << QStringList{"2", "11", "103", "50", "4"};
    QTest::newRow("address") << 6 << QStringList{"11", "2", "103", "4", "50"}
                             << QStringList{"50", "4", "103", "2", "11"};
    QTest::newRow("id as number") << 7 << QStringList{"2", "4", "11", "50", "103"}
                                  << QStringList{"103", "50", "11", "4", "2"};
}

void TstResultList::headerClickSortsAndReverses()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    QFETCH(QStringList, descending);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    f->main.FillResultList(Reply());
    QCOMPARE(f->Ids(), kServiceOrder);

    // The selected hit stays selected while the rows move.
    f->Select(1);
    f->ClickHeader(column);
    QCOMPARE(f->Ids(), ascending);
    QCOMPARE(f->main.lv1->currentIndex().row(), int(ascending.indexOf("2")));
    f->ClickHeader(column);
    QCOMPARE(f->Ids(), descending);
    f->main.OpenSelectedHit(false);
    QCOMPARE(m_opened, QList<QUrl>{QUrl("http://pan.example/s/2")});
}

void TstResultList::newReplyAndPlaceholderKeepTheServiceOrder()
{
    f->main.FillResultList(Reply());
    f->ClickHeader(7);
    QCOMPARE(f->Ids().first(), QStringLiteral("2"));

    // A new reply comes in the service's order, with no sort arrow.
    f->main.FillResultList(Reply());
    QCOMPARE(f->Ids(), kServiceOrder);
    QCOMPARE(f->main.lv1->header()->sortIndicatorSection(), -1);

    // The placeholder row stays alone whatever is clicked.
    f->main.FillResultList("[]");
    for (int column : {0, 2, 0})
        f->ClickHeader(column);
    QCOMPARE(f->main.lv1_rows->rowCount(), 1);
    QCOMPARE(f->main.lv1_rows->data(f->main.lv1_rows->index(0, 0), Qt::DisplayRole).toString(),
             QStringLiteral("...暂无文件..."));
}

void TstResultList::hitActions_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("previewShown");
    QTest::addColumn<QString>("clipboard");
    const QByteArray hit = "[{\"file_name\":\"a.rar\",\"file_size\":1,"
                           "\"s_url\":\"  http://pan.example/a \",\"file_id\":\"7\"}]";
    const QString untouched = QStringLiteral("before");
    QTest::newRow("hit, Enter") << hit << "enter" << true << untouched;
    QTest::newRow("hit, Ctrl+C") << hit << "ctrl+c" << false << "http://pan.example/a";
    QTest::newRow("hit, 复制地址") << hit << "menu" << false << "http://pan.example/a";
    QTest::newRow("placeholder, Enter") << QByteArray("[]") << "enter" << false << untouched;
    QTest::newRow("placeholder, Ctrl+C") << QByteArray("[]") << "ctrl+c" << false << untouched;
    QTest::newRow("placeholder, menu") << QByteArray("[]") << "menu" << false << untouched;
}

void TstResultList::hitActions()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, action);
    QFETCH(bool, previewShown);
    QFETCH(QString, clipboard);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    f->main.FillResultList(reply);
    f->Select(0);
    f->main.lv1->setFocus();
    const bool hit = reply != "[]";

    if (action == "enter") {
        QTest::keyClick(f->main.lv1, Qt::Key_Return);
    } else if (action == "ctrl+c") {
        QTest::keyClick(f->main.lv1, Qt::Key_C, Qt::ControlModifier);
    } else {
        // The menu holds the two opening items and the copy; none for the
        // placeholder row.
        const QRect row = f->main.lv1->visualRect(f->main.lv1_rows->index(0, 0));
        emit f->main.lv1->customContextMenuRequested(row.center());
        QCOMPARE(f->main.pm1->isVisible(), hit);
        QStringList items;
        for (QAction* item : f->main.pm1->actions())
            items << item->text();
        QCOMPARE(items, QStringList({"结果预览", "浏览器打开", "复制地址"}));
        if (hit)
            f->main.N8->trigger();
        f->main.pm1->hide();
    }
    QCOMPARE(f->wb.isVisible(), previewShown);
    if (previewShown)
        QCOMPARE(f->main.sel_file_id, QByteArray("7"));
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    QVERIFY(m_opened.isEmpty());
}

void TstResultList::numbersRightAlignedAndCountInStatusBar()
{
    f->main.FillResultList(Reply());
    TResultListModel* rows = f->main.lv1_rows;
    for (int c = 0; c < TResultListModel::kColumnCount; ++c) {
        const bool number = c == 2 || c == 3 || c == 4 || c == 7;
        const auto cell =
            rows->data(rows->index(0, c), Qt::TextAlignmentRole).value<Qt::Alignment>();
        QCOMPARE(bool(cell & Qt::AlignRight), number);
    }
    QCOMPARE(f->main.statusBar()->currentMessage(), QStringLiteral("共找到 5 个文件"));
    f->main.FillResultList("[]");
    QCOMPARE(f->main.statusBar()->currentMessage(), QStringLiteral("共找到 0 个文件"));
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstResultList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resultlist.moc"
