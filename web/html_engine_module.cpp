#include "web/html_engine_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QOpenGLContext>

// Qt GUI exports this in its public ABI but declares it in a private header
// only: the context every GL context of the process shares with.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

QOpenGLContext* shareContext = nullptr;
bool moduleLoaded = false;

void DeleteShareContext()
{
    qt_gl_set_global_share_context(nullptr);
    delete shareContext;
    shareContext = nullptr;
}

// The engine draws with GL contexts shared with the windows'. Asked for
// with Qt::AA_ShareOpenGLContexts, Qt makes the shared context when the
// application starts, which loads the GL driver in every session; made
// here it comes with the engine. The engine's libraries look for it when
// they load, so it must exist by then. Should the context fail, the engine
// draws without GL.
void ShareGlContexts()
{
    if (QOpenGLContext::globalShareContext())
        return;
    shareContext = new QOpenGLContext;
    shareContext->setFormat(QSurfaceFormat::defaultFormat());
    shareContext->create();
    qt_gl_set_global_share_context(shareContext);
    // Post routines run last-added first: the engine's own clean-up, added
    // when it starts, goes before the context it shares with.
    qAddPostRoutine(DeleteShareContext);
}

} // namespace

// The module sits beside the executable; in the build tree, tools and tests
// run from folders next to the client's own.
const THtmlEngineModule& LoadHtmlEngineModule()
{
    static const THtmlEngineModule module = [] {
        ShareGlContexts();
        THtmlEngineModule loaded;
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
        moduleLoaded = true;
        return loaded;
    }();
    return module;
}

bool IsHtmlEngineModuleLoaded()
{
    return moduleLoaded;
}
