#pragma once

#include "net/http_cli.h"

// One part of a multi-part download: an HTTP client that fetches one byte
// range of the document and remembers where its bytes belong.
class TPartHttpCli : public THttpCli
{
    Q_OBJECT

public:
    explicit TPartHttpCli(QObject* parent = nullptr) : THttpCli(parent) {}

    // Bytes of this part written since its request was (re)started.
    qint64 DataCount = 0;
    // Position of the part's first byte in the document.
    qint64 StartOffset = 0;
    // Last position asked for, inclusive (for the last part the document
    // length itself, one past its last byte, which servers answer up to the
    // last byte).
    qint64 EndOffset = 0;
    // Number of the part, 0 to PartCount - 1.
    int Index = 0;
    // The part's current request has completed.
    bool Done = false;

    // Bytes that really belong to this part: from StartOffset up to
    // EndOffset or the last byte of the document, whichever comes first
    // (0 for a part that starts past the end of a tiny document).
    qint64 Size = 0;
    // The reply being read is the requested range: only then is its body
    // written into the file.
    bool Accepted = false;
    // Failed requests in a row; reset by a request that brings new bytes.
    int Failures = 0;
    // DataCount when the current request was started.
    qint64 AttemptStart = 0;
    // Why the current request was given up early (empty: it was not).
    int FailCode = 0;
    QByteArray FailReason;
};
