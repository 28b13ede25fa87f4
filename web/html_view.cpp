#include "web/html_view.h"

#include "web/html_backend.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLibrary>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The engine shares GL contexts with the windows, which Qt takes only
// before the application object exists, long before the engine's module is
// loaded.
const bool kSharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

// Set once a view has its engine: later views start theirs at once.
bool engineStarted = false;

struct EngineModule
{
    THtmlBackendFactory factory = nullptr;
    QString error;
};

// Loaded once and kept for the life of the process. The module sits beside
// the executable; in the build tree, tools and tests run from folders next
// to the client's own.
const EngineModule& LoadEngineModule()
{
    static const EngineModule module = [] {
        EngineModule loaded;
        const QDir appDir(QCoreApplication::applicationDirPath());
        for (const QString& folder : {appDir.path(), appDir.filePath(QStringLiteral("../bin"))}) {
            QLibrary library(QDir(folder).filePath(QStringLiteral("lumo-webengine")));
            if (!library.load()) {
                if (loaded.error.isEmpty())
                    loaded.error = library.errorString();
                continue;
            }
            loaded.factory =
                reinterpret_cast<THtmlBackendFactory>(library.resolve(LUMO_HTML_BACKEND_FACTORY));
            loaded.error = loaded.factory ? QString() : library.errorString();
            break;
        }
        return loaded;
    }();
    return module;
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
        const EngineModule& module = LoadEngineModule();
        if (!module.factory) {
            d->missing = true;
            auto* notice = new QLabel(
                QStringLiteral("网页组件无法加载：%1").arg(module.error), this);
            notice->setWordWrap(true);
            notice->setAlignment(Qt::AlignCenter);
            layout()->addWidget(notice);
            return nullptr;
        }
        d->backend.reset(module.factory(*d, this));
        QWidget* widget = d->backend->Widget();
        widget->installEventFilter(this);
        layout()->addWidget(widget);
        engineStarted = true;
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

void THtmlView::Load(const QUrl& url)
{
    // Starting the engine blocks the GUI thread for a while. A view whose
    // window is not on screen yet (one being built at start-up) leaves
    // that until the windows shown meanwhile have been drawn.
    constexpr int kEngineStartDelayMs = 250;
    const int delay = engineStarted || window()->isVisible() ? 0 : kEngineStartDelayMs;
    // Queued; of several navigations asked for in a row the last one wins.
    const quint64 serial = ++m_navigationSerial;
    QTimer::singleShot(delay, this, [this, url, serial] {
        if (serial != m_navigationSerial)
            return;
        if (THtmlBackend* engine = Engine())
            engine->SetUrl(url);
    });
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
