#include "web/html_view.h"

#include "web/html_engine.h"
#include "web/html_page.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

struct THtmlView::Impl
{
    QWebEngineProfile* profile = nullptr;
    QWebEngineView* view = nullptr;
    THtmlPage* page = nullptr;
};

namespace {

bool IsCtrlN(QEvent* event)
{
    const auto* key = static_cast<QKeyEvent*>(event);
    return key->key() == Qt::Key_N && (key->modifiers() & Qt::ControlModifier);
}

} // namespace

THtmlView::THtmlView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

THtmlView::~THtmlView()
{
    // The page goes before its view and both before the shared profile.
    if (d) {
        delete d->page;
        d->page = nullptr;
    }
}

THtmlView::Impl& THtmlView::Engine()
{
    if (!d) {
        d = std::make_unique<Impl>();
        d->profile = THtmlEngine::Profile();
        d->view = new QWebEngineView(this);
        d->view->installEventFilter(this);
        d->page = new THtmlPage(*this, d->profile, d->view);
        QWebEngineSettings* settings = d->page->settings();
        settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
        settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        d->view->setPage(d->page);
        layout()->addWidget(d->view);
        connect(d->page, &QWebEnginePage::loadFinished, this, [this](bool) {
            if (!OnDocumentComplete)
                return;
            try {
                OnDocumentComplete(d->page->url().toString());
            } catch (...) {
                // Raised from the engine: an escaping error has nowhere to go.
            }
        });
    }
    return *d;
}

THtmlPage* THtmlView::EnginePage()
{
    return Engine().page;
}

void THtmlView::Navigate(const QString& url)
{
    Load(QUrl(url));
}

void THtmlView::NavigateFile(const QString& path)
{
    Load(QUrl::fromLocalFile(path));
}

void THtmlView::Load(const QUrl& url)
{
    // Starting the engine blocks the GUI thread for a while. A view whose
    // window is not on screen yet (one being built at start-up) leaves
    // that until the windows shown meanwhile have been drawn.
    constexpr int kEngineStartDelayMs = 250;
    const int delay = THtmlEngine::Started() || window()->isVisible() ? 0 : kEngineStartDelayMs;
    // Queued; of several navigations asked for in a row the last one wins.
    const quint64 serial = ++m_navigationSerial;
    QTimer::singleShot(delay, this, [this, url, serial] {
        if (serial == m_navigationSerial)
            Engine().page->setUrl(url);
    });
}

void THtmlView::ExecScript(const QString& script)
{
    if (d && d->page)
        d->page->runJavaScript(script, QWebEngineScript::MainWorld);
}

QString THtmlView::LocationURL() const
{
    return d && d->page ? d->page->url().toString() : QString();
}

bool THtmlView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        // The engine draws into a child widget that takes the keys.
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            child->installEventFilter(this);
        break;
    case QEvent::ShortcutOverride:
        if (IsCtrlN(event)) {
            // Keeps any Ctrl+N shortcut from firing; the key then comes
            // as a press, swallowed below.
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (IsCtrlN(event))
            return true;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
