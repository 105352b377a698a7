#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace kv306::test {

// A program's one JSON document on standard output.
inline QJsonObject JsonOf(const QString &out)
{
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

}  // namespace kv306::test
