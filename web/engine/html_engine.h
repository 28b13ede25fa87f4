#pragma once

class QWebEngineProfile;

// The one web engine profile every view shares. It keeps nothing on disk
// (no cache, no cookies beyond the session), so the client writes no files
// outside its application folder.
class THtmlEngine
{
public:
    static QWebEngineProfile* Profile();
    // Whether the engine has been started in this process.
    static bool Started();
};
