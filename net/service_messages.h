#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class THttpCli;

// The service's form messages and the steps every window takes to send one
// and to take its reply. Values are GBK bytes; of their bytes only the form
// syntax "%", "&", "+" and "=" is percent-encoded, so that a keyword such as
// "C++" or "a&b" reaches the service as typed and ordinary keywords go out
// byte for byte unchanged.

QByteArray ServiceEndpoint(const QString& baseUrl);
QString DetailPageUrl(const QString& baseUrl, const QByteArray& fileId);

QByteArray FormValue(const QByteArray& value);
QByteArray SearchMessage(const QByteArray& keyword);
QByteArray CommendMessage();
QByteArray ReviewMessage(const QByteArray& fileId, const QByteArray& score);
QByteArray ReportMessage(const QByteArray& content, const QByteArray& fileId);

// Reply bodies each message accepts. A page of hits is tens of kilobytes
// and a skin list far less; "true" is four bytes.
constexpr qint64 kSearchReplyLimit = 4 * 1024 * 1024;
constexpr qint64 kCommendReplyLimit = 1024 * 1024;
constexpr qint64 kVerdictReplyLimit = 4 * 1024; // review and report
constexpr qint64 kSkinListReplyLimit = 4 * 1024 * 1024;

// The envelope every service client carries; `name` appears in the busy error.
void ConfigureServiceClient(THttpCli& client, const QString& name);

// Gives the client a new body buffer holding `body` and a new empty reply
// buffer, and starts an asynchronous POST of a form to `url`; a reply body
// longer than `replyLimit` ends the request as a failure. A client that
// is busy refuses with EHttpException and keeps the running request's
// buffers untouched.
void PostServiceMessage(THttpCli& client, const QByteArray& url, const QByteArray& body,
                        qint64 replyLimit);

// Completion: releases both buffers and clears the client's streams. The
// whole reply body when the request succeeded (ErrCode 0, status 200).
std::optional<QByteArray> TakeServiceReply(THttpCli& client, quint16 errCode);

// Review and report succeed only on exactly these four bytes.
bool IsTrueReply(const QByteArray& reply);
