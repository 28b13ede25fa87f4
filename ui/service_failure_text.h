#pragma once

#include <QByteArray>
#include <QString>

// What the user reads when an exchange with the service went wrong, named
// with the service's address (host and port of `url`): it cannot be
// reached, it did not answer in time, it answered with an error status, or
// its reply was unreadable. Empty when the exchange succeeded (completion
// code 0 and status 200).
QString ServiceFailureText(quint16 errCode, int statusCode, const QByteArray& url);

// The same for the report of a download: an HTTP status (100 to 599) or a
// client error code.
QString DownloadFailureText(int errorCode, const QByteArray& url);

// A 200 reply whose body is not what the message expects.
QString UnreadableReplyText(const QByteArray& url);
