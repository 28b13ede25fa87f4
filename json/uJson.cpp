#include "json/uJson.h"

#include "json/json_parser.h"

IJsonValue ParseJson(QStringView text)
{
    return JsonParser::parse(text);
}

TJsonArray ArrayOf(const IJsonValue& value)
{
    return TJsonArray(value);
}

int Length(const TJsonArray& array)
{
    return array.length();
}

IJsonValue ItemAt(const TJsonArray& array, int index)
{
    return array.itemAt(index);
}

QString MemberText(const IJsonValue& value, QStringView name)
{
    return TJsonTable(value).member(name).text();
}
