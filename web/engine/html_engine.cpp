#include "web/engine/html_engine.h"

#include "platform/process_user.h"

#include <QCoreApplication>
#include <QWebEngineProfile>

namespace {

QWebEngineProfile* profile = nullptr;

} // namespace

bool THtmlEngine::Started()
{
    return profile != nullptr;
}

QWebEngineProfile* THtmlEngine::Profile()
{
    if (!profile) {
        // The engine's sandbox refuses to run as root; only then is it
        // switched off, before the engine starts.
        if (TProcessUser::IsSuperuser())
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        // Off the record: a profile without a storage name. It lives as
        // long as the application object, after every view is gone.
        profile = new QWebEngineProfile(QCoreApplication::instance());
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        QObject::connect(profile, &QObject::destroyed, [] { profile = nullptr; });
    }
    return profile;
}
