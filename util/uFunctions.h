#pragma once

#include <QByteArray>
#include <QString>

// Settings codec and small text utilities. Texts are byte strings in the
// client's code page; every function is stateless. Failures raise UtilError.

// Keyed scrambler: two hex digits of a random start value, then two hex
// digits per input byte. An empty key means the fallback key.
QByteArray scramble_text(const QByteArray& text, const QByteArray& key);
QByteArray unscramble_text(const QByteArray& scrambled, const QByteArray& key);

QByteArray base64_encode(const QByteArray& bytes);
// Decodes whole groups of four; a trailing incomplete group is ignored.
QByteArray base64_decode(const QByteArray& text);

// 32 uppercase hexadecimal digits.
QByteArray md5_hex(const QByteArray& text);

// "A" + payload + 28 check digits + "Z". Decoding accepts a trailing CR LF.
QByteArray settings_encode(const QByteArray& plain);
QByteArray settings_decode(const QByteArray& encoded);

// Field `index` of `text` split at `delimiter`, blanks and control
// characters; quoted fields keep their delimiters. A text with fewer than
// two fields comes back whole.
QByteArray split_field(char delimiter, const QByteArray& text, int index);

// Occurrences of `pattern` times its length (non-overlapping, left to right).
int count_occurrences(const QByteArray& text, const QByteArray& pattern);

// Writes `text` + CR LF. With `replace` the line becomes the whole file,
// written atomically (the old content survives a failed write) and never
// through a link at `path` (the link itself is replaced); otherwise
// it is appended.
void write_text_line(const QString& path, const QByteArray& text, bool replace);
