#pragma once

// The chat-completions exchange as the stand-in HTTP server sees it: the
// reply a language model sends and the JSON object a request body holds.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <gtest/gtest.h>

namespace tovalit::testing {

// A reply whose one choice carries `content` as the assistant's message.
inline QByteArray chatReply(const QJsonValue &content) {
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("index"), 0}, {QStringLiteral("message"), message}};
    return QJsonDocument(QJsonObject{{QStringLiteral("choices"), QJsonArray{choice}}})
        .toJson(QJsonDocument::Compact);
}

// A body that is not one JSON object fails the test that reads it.
inline QJsonObject jsonObject(const QByteArray &bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << bytes.toStdString();
    EXPECT_TRUE(document.isObject()) << bytes.toStdString();
    return document.object();
}

} // namespace tovalit::testing
