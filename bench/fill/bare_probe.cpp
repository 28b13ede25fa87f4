// The peer of the start-up probe: a bare Qt Widgets program (linked to Qt
// Widgets only) showing a window of the client's size, empty ("bare") or
// with one line of Chinese text ("text": the font system's start-up, which
// every window that draws text pays). Prints "shown" after its first frame
// and quits, or with a second argument "rest" stays until it is ended.
#include "bench/fill/first_frame.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <cstring>

int main(int argc, char** argv)
{
    const bool text = argc > 1 && std::strcmp(argv[1], "text") == 0;
    const bool rest = argc > 2 && std::strcmp(argv[2], "rest") == 0;
    QApplication app(argc, argv);
    FirstFrame firstFrame;
    QMainWindow window;
    window.resize(760, 430);
    if (text)
        (new QLabel(QStringLiteral("Lumo网盘文件搜索"), &window))->setGeometry(10, 10, 200, 20);
    if (!rest)
        window.installEventFilter(&firstFrame);
    window.show();
    return QApplication::exec();
}
