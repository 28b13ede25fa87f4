#include "json/json_table.h"

TJsonTable::TJsonTable(const IJsonValue& value)
{
    if (value.kind() == JsonKind::Object && value.isValid())
        m_value = value;
}

int TJsonTable::count() const
{
    return m_value.isValid() ? int(m_value.value()->count) : 0;
}

IJsonValue TJsonTable::member(QStringView name) const
{
    if (!m_value.isValid())
        return {};
    const TJsonValue* object = m_value.value();
    const quint32 hash = jsonNameHash(name);
    const auto length = quint32(name.size());
    if (qsizetype(length) != name.size())
        return {};
    const JsonMember* members = object->members;
    std::size_t lo = 0;
    std::size_t hi = object->count;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const JsonMember& m = members[mid];
        const int order = jsonCompareName(m, hash, length, name.utf16());
        if (order == 0)
            return IJsonValue(m_value.document(), &m.value);
        if (order < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return {};
}

QStringView TJsonTable::nameAt(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return m_value.value()->members[index].nameView();
}

IJsonValue TJsonTable::valueAt(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return IJsonValue(m_value.document(), &m_value.value()->members[index].value);
}
