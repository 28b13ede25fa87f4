#pragma once

#include <QByteArray>
#include <QString>

// The text without leading and trailing characters of code 32 and below
// (blanks, line breaks and other control characters); inner ones stay.
inline QString TrimControls(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

// The same for a text in the client's code page.
inline QByteArray TrimControls(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && uchar(text.at(begin)) <= 32)
        ++begin;
    while (end > begin && uchar(text.at(end - 1)) <= 32)
        --end;
    return text.mid(begin, end - begin);
}
