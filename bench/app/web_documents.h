#pragma once

// Rich-text editors in web pages of the shapes people write in, each
// dictated into once, the first dictation into a freshly opened page, in a
// browser started for it alone. Each page holds one editor (#ed) and loads
// a watching script from beside it, which places the page's caret or
// selection, then titles the page "ready", and after every change
// "ok=1 new=<text>" when the text landed exactly at the caret or in place
// of the selection and nothing else changed, else "ok=0 length=<n>".

#include "bench/app/dictation_driver.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

namespace tovalit::bench {

class EditorWatch;

// The pages, copied with the watching script into a folder of their own.
class WebDocuments {
public:
    struct Page {
        QString name;
        QString path;
    };

    // `oracle` is the watching script the pages load.
    explicit WebDocuments(QString oracle);

    // A page of the caller's; false (and a line on stderr) when it cannot
    // be copied.
    bool addFile(const QString &path);
    // An editor of `paragraphs` paragraphs with all of it selected.
    bool addSelectAll(int paragraphs);
    // An editor of `paragraphs` paragraphs with the caret two characters
    // into the middle one.
    bool addCaret(int paragraphs);
    // A paragraph, a list of `items` items and a paragraph, selected from
    // inside the first paragraph into the last.
    bool addList(int items);

    const std::vector<Page> &pages() const { return m_pages; }

private:
    bool addPage(const QString &name, const QByteArray &html);

    QTemporaryDir m_folder;
    QString m_oracle;
    bool m_oracleCopied = false;
    std::vector<Page> m_pages;
};

// What one dictation into one page did.
struct WebDocumentResult {
    QString page;
    QString browser;
    // Why nothing was dictated, when nothing was.
    QString skipped;
    // Whether the editor showed a caret on the accessibility bus before
    // the user spoke.
    bool caretSeen = false;
    // The page's title afterwards.
    QString title;
    // The user pasted the text with their own keys, without the
    // application: the time counts from the keys.
    bool pasteOnly = false;
    Timing timing;
};

// Each page in each browser ("firefox", "chromium"), `rounds` times, each
// time in a browser started for it and closed after. Without a `driver`
// the user pastes the same text with their own keys instead, once the page
// is as ready as it would be for a dictation.
std::vector<WebDocumentResult> dictateIntoWebDocuments(DictationDriver *driver, EditorWatch &watch,
                                                       const WebDocuments &documents,
                                                       const QStringList &browsers, int rounds);

// A line per page, browser and build, the builds of one page together.
void printWebDocumentResults(
    const std::vector<std::pair<QString, std::vector<WebDocumentResult>>> &runs);

} // namespace tovalit::bench
