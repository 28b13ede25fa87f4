// lumo-skinc: compiles a skin source (the text form of skin/skin_description.h,
// UTF-8) into a .skn skin file.
//
//   lumo-skinc SOURCE.skin OUTPUT.skn

#include "skin/skin_description.h"
#include "skin/skin_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: lumo-skinc SOURCE.skin OUTPUT.skn\n");
        return 2;
    }
    try {
        QFile source(args[1]);
        if (!source.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + args[1].toStdString() + ": " +
                                     source.errorString().toStdString());
        const QByteArray text = source.readAll();
        // Only a source that holds a valid skin becomes a skin file.
        TSkinDescription::FromText(QString::fromUtf8(text));
        const QByteArray packed = PackSkinFile(text);
        UnpackSkinFile(packed); // the loader's own checks, before anything is written

        QSaveFile out(args[2]);
        if (!out.open(QIODevice::WriteOnly) || out.write(packed) != packed.size() || !out.commit())
            throw std::runtime_error("cannot write " + args[2].toStdString() + ": " +
                                     out.errorString().toStdString());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumo-skinc: %s\n", error.what());
        return 1;
    }
    return 0;
}
