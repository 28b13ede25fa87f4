#include "web/html_view.h"

#include "web/html_backend.h"
#include "web/html_engine_module.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace {

// Set once a view has its engine: later views start theirs at once.
bool engineStarted = false;

// Views whose navigation waits for the engine's start.
QList<QPointer<THtmlView>>& ViewsAwaitingStart()
{
    static QList<QPointer<THtmlView>> views;
    return views;
}

bool IsCtrlN(QEvent* event)
{
    const auto* key = static_cast<QKeyEvent*>(event);
    return key->key() == Qt::Key_N && (key->modifiers() & Qt::ControlModifier);
}

} // namespace

struct THtmlView::Impl final : THtmlHost
{
    explicit Impl(THtmlView& view) : view(view) {}

    bool AcceptNavigation(const QUrl& url) override
    {
        if (!view.OnBeforeNavigate)
            return true;
        bool cancel = false;
        try {
            view.OnBeforeNavigate(url.toString(), cancel);
        } catch (...) {
            // A handler that fails cannot vouch for the address.
            return false;
        }
        return !cancel;
    }

    THtmlBackend* NewWindowTarget() override
    {
        THtmlView* target = nullptr;
        if (view.OnNewWindow) {
            try {
                view.OnNewWindow(target);
            } catch (...) {
                target = nullptr;
            }
        }
        return target ? target->Engine() : nullptr;
    }

    void DocumentComplete(const QString& url) override
    {
        if (!view.OnDocumentComplete)
            return;
        try {
            view.OnDocumentComplete(url);
        } catch (...) {
            // Raised from the engine: an escaping error has nowhere to go.
        }
    }

    THtmlView& view;
    std::unique_ptr<THtmlBackend> backend;
    bool missing = false;
};

THtmlView::THtmlView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

// The engine's page and widget go with the members, before the widget
// deletes its remaining children.
THtmlView::~THtmlView() = default;

THtmlBackend* THtmlView::Engine()
{
    if (!d) {
        d = std::make_unique<Impl>(*this);
        const THtmlEngineModule& module = LoadHtmlEngineModule();
        if (!module.factory) {
            d->missing = true;
            auto* notice =
                new QLabel(QStringLiteral("网页组件无法加载：%1").arg(module.error), this);
            notice->setWordWrap(true);
            notice->setAlignment(Qt::AlignCenter);
            layout()->addWidget(notice);
            return nullptr;
        }
        d->backend.reset(module.factory(*d, this));
        QWidget* widget = d->backend->Widget();
        widget->installEventFilter(this);
        layout()->addWidget(widget);
        if (!m_startUrl.isEmpty())
            d->backend->SetUrl(QUrl(std::exchange(m_startUrl, QString())));
        if (!engineStarted) {
            engineStarted = true;
            for (const QPointer<THtmlView>& view : std::exchange(ViewsAwaitingStart(), {}))
                if (view)
                    view->Engine();
        }
    }
    return d->backend.get();
}

void THtmlView::Navigate(const QString& url)
{
    Load(QUrl(url));
}

void THtmlView::NavigateFile(const QString& path)
{
    Load(QUrl::fromLocalFile(path));
}

void THtmlView::NavigateOnEngineStart(const QString& url)
{
    if (engineStarted) {
        Navigate(url);
        return;
    }
    m_startUrl = url;
    if (!ViewsAwaitingStart().contains(this))
        ViewsAwaitingStart().append(this);
}

void THtmlView::Load(const QUrl& url)
{
    // Queued; of several navigations asked for in a row the last one wins.
    m_pendingUrl = url;
    QTimer::singleShot(0, this, &THtmlView::LoadPending);
}

void THtmlView::LoadPending()
{
    // An earlier call of the same row took the navigation.
    if (!m_pendingUrl)
        return;
    if (!engineStarted) {
        // Starting the engine holds up the GUI thread for a while. The first
        // start waits until the window opened for the page has been drawn
        // and then goes in steps (the module, the engine, the navigation),
        // each in its own turn of the event loop, so that the window shows
        // at once and keeps drawing.
        if (WindowAwaitsFirstFrame()) {
            window()->windowHandle()->installEventFilter(this);
            return;
        }
        if (!IsHtmlEngineModuleLoaded())
            LoadHtmlEngineModule();
        else if (!Engine())
            m_pendingUrl.reset();
        QTimer::singleShot(0, this, &THtmlView::LoadPending);
        return;
    }
    const QUrl url = *std::exchange(m_pendingUrl, std::nullopt);
    if (THtmlBackend* engine = Engine())
        engine->SetUrl(url);
}

bool THtmlView::WindowAwaitsFirstFrame() const
{
    const QWindow* handle = window()->windowHandle();
    return window()->isVisible() && handle && !handle->isExposed();
}

void THtmlView::ExecScript(const QString& script)
{
    if (d && d->backend)
        d->backend->RunScript(script);
}

QString THtmlView::LocationURL() const
{
    return d && d->backend ? d->backend->Url() : QString();
}

bool THtmlView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Expose:
        if (watched == window()->windowHandle() && window()->windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            // Queued: the window draws itself for this exposure first.
            QTimer::singleShot(0, this, &THtmlView::LoadPending);
        }
        break;
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
