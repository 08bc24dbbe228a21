#pragma once

#include "models/meeting_minute_block.h"
#include "models/meeting_text_module.h"
#include "models/meeting_visual_item.h"
#include "models/meeting_visual_module.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <ostream>
#include <string>
#include <vector>

// Shorthands for the meeting-tree tests. Texts are compared as UTF-8 so a
// failure prints the Chinese text itself rather than a QString's bytes.
namespace tovalit::meetingtest {

inline std::string u8(const QString &text) {
    return text.toStdString();
}

inline std::vector<std::string> u8(const QStringList &texts) {
    std::vector<std::string> result;
    for (const QString &text : texts)
        result.push_back(text.toStdString());
    return result;
}

inline MeetingTextModule textModule(const QString &title, const QString &body) {
    return {QUuid::createUuid(), title, body};
}

inline MeetingVisualItem item(const QString &title, const QString &body = {}) {
    return {QUuid::createUuid(), title, body};
}

inline MeetingVisualModule visualModule(MeetingVisualModuleKind kind, const QString &title,
                                        const QList<MeetingVisualItem> &items) {
    return {QUuid::createUuid(), kind, title, items};
}

// The titles or bodies of modules or items, in order.
template <typename Node>
std::vector<std::string> titles(const QList<Node> &nodes) {
    std::vector<std::string> result;
    for (const Node &node : nodes)
        result.push_back(node.title.toStdString());
    return result;
}

template <typename Node>
std::vector<std::string> bodies(const QList<Node> &nodes) {
    std::vector<std::string> result;
    for (const Node &node : nodes)
        result.push_back(node.body.toStdString());
    return result;
}

} // namespace tovalit::meetingtest

namespace tovalit {

inline void PrintTo(MeetingVisualModuleKind kind, std::ostream *out) {
    *out << rawValue(kind).toStdString();
}

inline void PrintTo(const MeetingMinuteBlock &block, std::ostream *out) {
    *out << "#" << block.index() << " " << block.id().toString().toStdString() << "\n"
         << block.promptFragment().toStdString();
}

} // namespace tovalit
