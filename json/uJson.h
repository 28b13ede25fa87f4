#pragma once

#include "json/json_array.h"
#include "json/json_table.h"
#include "json/json_value.h"

#include <QString>
#include <QStringView>

// Reading the JSON replies of the service. Nothing here throws: text that is
// not acceptable gives no value, and every accessor answers "no value",
// "no array", 0 or empty text for a value of the wrong kind.

// The value at the start of `text`, read up to its first NUL; text after
// the first complete value is ignored. No value when the text is not
// acceptable.
IJsonValue ParseJson(QStringView text);

// The array when `value` is an array; no array otherwise.
TJsonArray ArrayOf(const IJsonValue& value);

// Number of elements; 0 for no array.
int Length(const TJsonArray& array);

// The element at `index`, or no value when the index is outside the array.
IJsonValue ItemAt(const TJsonArray& array, int index);

// Text form of the member `name` of the object `value`; empty text when
// `value` is not an object or has no member of exactly that name.
QString MemberText(const IJsonValue& value, QStringView name);
