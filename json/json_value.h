#pragma once

#include "json/json_document.h"

#include <QExplicitlySharedDataPointer>
#include <QString>
#include <QStringView>

#include <cstring>

class TJsonArray;
class TJsonTable;

enum class JsonKind : quint8
{
    Null,
    Boolean,
    Double,
    Fixed, // signed count of ten-thousandths
    Integer,
    Object,
    Array,
    String,
};

struct JsonMember;

// One value of a parsed tree, as laid out in its document. Callers hold
// values through IJsonValue, never through a bare TJsonValue pointer.
struct TJsonValue
{
    JsonKind kind;
    quint32 count; // code units of a string, elements of an array, members of an object
    union {
        bool boolean;
        double real;
        qint64 integer; // Integer and Fixed
        const char16_t* chars;
        const TJsonValue* items;
        const JsonMember* members; // ordered by (hash, length, name); names unique
    };

    QStringView string() const { return QStringView(chars, qsizetype(count)); }
};

struct JsonMember
{
    const char16_t* name;
    quint32 length;
    quint32 hash;
    TJsonValue value;

    QStringView nameView() const { return QStringView(name, qsizetype(length)); }
};

quint32 jsonNameHash(QStringView name);

// The order of an object's members: by hash, then length, then code units.
inline int jsonCompareName(const JsonMember& m, quint32 hash, quint32 length, const char16_t* name)
{
    if (m.hash != hash)
        return m.hash < hash ? -1 : 1;
    if (m.length != length)
        return m.length < length ? -1 : 1;
    return length ? std::memcmp(m.name, name, length * sizeof(char16_t)) : 0;
}

// Reference to a value of a parsed tree, or to no value. Copies share the
// value; the tree's memory lives until the last reference is gone.
class IJsonValue
{
public:
    IJsonValue() = default;
    IJsonValue(JsonDocument* document, const TJsonValue* value)
        : m_document(document), m_value(value)
    {
    }

    bool isValid() const { return m_value != nullptr; }
    explicit operator bool() const { return isValid(); }
    // Kind of the value; Null for no value as well (test isValid() first).
    JsonKind kind() const { return m_value ? m_value->kind : JsonKind::Null; }

    // The value's text form: strings as they stand, numbers in decimal,
    // "true", "false", "null", objects and arrays as JSON text. Empty for
    // no value.
    QString text() const;

    TJsonArray array() const; // invalid unless the value is an array
    TJsonTable table() const; // invalid unless the value is an object

    const TJsonValue* value() const { return m_value; }
    JsonDocument* document() const { return m_document.data(); }

private:
    QExplicitlySharedDataPointer<JsonDocument> m_document;
    const TJsonValue* m_value = nullptr;
};
