#include "json/json_array.h"

TJsonArray::TJsonArray(const IJsonValue& value)
{
    if (value.kind() == JsonKind::Array && value.isValid())
        m_value = value;
}

int TJsonArray::length() const
{
    return m_value.isValid() ? int(m_value.value()->count) : 0;
}

IJsonValue TJsonArray::itemAt(int index) const
{
    if (index < 0 || index >= length())
        return {};
    return IJsonValue(m_value.document(), m_value.value()->items + index);
}
