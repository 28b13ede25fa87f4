#pragma once

#include "json/json_value.h"

// An array of a parsed tree: its length and its elements in text order.
// Shares the tree like IJsonValue; a default-constructed array is "no array"
// and has length 0.
class TJsonArray
{
public:
    TJsonArray() = default;
    explicit TJsonArray(const IJsonValue& value);

    bool isValid() const { return m_value.isValid(); }
    explicit operator bool() const { return isValid(); }
    int length() const;
    // No value for an index outside 0 <= index < length().
    IJsonValue itemAt(int index) const;

private:
    IJsonValue m_value; // an Array value, or no value
};
