#pragma once

#include "json/json_value.h"

// The members of an object of a parsed tree, keyed by exact, case-sensitive
// name. Members are held sorted by (hash of the name, name), so a lookup is
// a binary search. A default-constructed table is "no object".
class TJsonTable
{
public:
    TJsonTable() = default;
    explicit TJsonTable(const IJsonValue& value);

    bool isValid() const { return m_value.isValid(); }
    explicit operator bool() const { return isValid(); }
    int count() const;
    // The member of exactly this name, or no value.
    IJsonValue member(QStringView name) const;
    // Members in table order (not text order), for walking the whole object.
    QStringView nameAt(int index) const;
    IJsonValue valueAt(int index) const;

private:
    IJsonValue m_value; // an Object value, or no value
};
