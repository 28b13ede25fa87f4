#pragma once

#include "web/html_backend.h"

#include <QString>

// The web engine module beside the executable, loaded on first use and kept
// for the life of the process. `factory` is null when it cannot be loaded;
// `error` then says why.
struct THtmlEngineModule
{
    THtmlBackendFactory factory = nullptr;
    QString error;
};

const THtmlEngineModule& LoadHtmlEngineModule();
// Whether LoadHtmlEngineModule has run (the module may be missing).
bool IsHtmlEngineModuleLoaded();
