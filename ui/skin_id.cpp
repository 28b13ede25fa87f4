#include "ui/skin_id.h"

#include <QList>

bool IsSafeSkinId(const QByteArray& id)
{
    if (id.size() > 128 || id.contains(".."))
        return false;
    for (char c : id) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127)
            return false;
        switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return false;
        default:
            break;
        }
    }
    // Device names are devices whatever extension follows them.
    const QByteArray base = id.left(id.indexOf('.') < 0 ? id.size() : id.indexOf('.')).toUpper();
    static const QList<QByteArray> devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (devices.contains(base.trimmed()))
        return false;
    if (base.size() == 4 && (base.startsWith("COM") || base.startsWith("LPT")) && base[3] >= '0' &&
        base[3] <= '9')
        return false;
    return true;
}

QByteArray PrintableSkinId(const QByteArray& id)
{
    QByteArray shown = id.left(64);
    for (char& c : shown) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127)
            c = '?';
    }
    return shown;
}
