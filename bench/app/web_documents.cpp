#include "bench/app/web_documents.h"

#include "bench/app/editor_watch.h"
#include "tests/support/chromium_page.h"
#include "tests/support/firefox_page.h"
#include "tests/support/gateway_stand_in.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace tovalit::bench {

namespace {

const QString readyTitle = QStringLiteral("ready");

// The page's text as the watching script compares it: the editor's text
// content, where line breaks between blocks do not count.
QString expectedTitle() {
    return QStringLiteral("ok=1 new=") +
           testing::GatewayStandIn::formattedText().remove(QLatin1Char('\n'));
}

// An object in the text (U+FFFC) or a zero-width no-break space (U+FEFF)
// shows nothing in a terminal: each run of one stands out as a mark with
// its count.
QString markInvisible(const QString &text) {
    QString marked;
    for (qsizetype at = 0; at < text.size();) {
        const QChar invisible = text[at];
        if (invisible != QChar(0xFFFC) && invisible != QChar(0xFEFF)) {
            marked.append(text[at++]);
            continue;
        }
        qsizetype end = at;
        while (end < text.size() && text[end] == invisible)
            ++end;
        const QString name =
            QStringLiteral("U+") + QString::number(invisible.unicode(), 16).toUpper();
        marked.append(end - at == 1 ? u'[' + name + u']'
                                    : QStringLiteral("[%1 x%2]").arg(name).arg(end - at));
        at = end;
    }
    return marked;
}

// Where the time went, for the steps that tell the capture, the insertion's
// own reading and the browser's part apart: milliseconds after the stop. A
// capture's line is written once its reading is over, so a capture still
// running at the stop shows in the time to the delivery.
QString stepTimes(const Timing &timing) {
    QStringList times;
    for (const QString &step : {QStringLiteral("deliver"), QStringLiteral("insert.start"),
                                QStringLiteral("insert.keys"), QStringLiteral("insert.result")}) {
        const auto found = timing.steps.find(step);
        times.append(step + u' ' +
                     (found == timing.steps.end() ? QStringLiteral("-")
                                                  : QString::number(found->second, 'f', 0)));
    }
    return times.join(QStringLiteral(", "));
}

QString line(const QString &label, const WebDocumentResult &result) {
    const QString head = QStringLiteral("%1 %2 %3")
                             .arg(result.page, -24)
                             .arg(result.browser, -8)
                             .arg(label, label.isEmpty() ? 0 : -8);
    if (!result.skipped.isEmpty())
        return head + QStringLiteral(" | not dictated: ") + result.skipped;
    const Timing &timing = result.timing;
    QString text = QStringLiteral("no text");
    if (timing.text >= 0)
        text = QString::number(timing.text, 'f', 0) + QStringLiteral(" ms");
    // A paste of the user's own has no stop, no steps, no insertion, no
    // clipboard of the user's to give back and no capture.
    const QString none = QStringLiteral("- (no application)");
    text += result.pasteOnly ? QStringLiteral(" from the keys")
                             : QStringLiteral(" (") + stepTimes(timing) + u')';
    QString insertion =
        timing.result.isEmpty() ? QStringLiteral("<no insert.result>") : timing.result;
    QString clipboard = QStringLiteral("restored");
    if (result.pasteOnly) {
        insertion = QStringLiteral("insertion ") + none;
        clipboard = none;
    } else if (timing.clipboard != DictationDriver::userClipboard()) {
        clipboard =
            QStringLiteral("lost (") + QString(timing.clipboard).replace(u'\n', u' ') + u')';
    }
    QStringList fields = {
        head,
        text,
        result.title,
        QStringLiteral("exact=") + QLatin1String(result.title == expectedTitle() ? "yes" : "no"),
        insertion,
        QStringLiteral("clipboard=") + clipboard,
        QStringLiteral("caret=") + QLatin1String(result.caretSeen ? "seen" : "unseen")};
    if (result.pasteOnly) {
        fields.append(QStringLiteral("capture=") + none);
    } else {
        for (const QString &name : {QStringLiteral("role"), QStringLiteral("before"),
                                    QStringLiteral("selected"), QStringLiteral("after")})
            fields.append(name + u'=' + markInvisible(captureField(timing.capture, name)));
    }
    return fields.join(QStringLiteral(" | "));
}

// A page of the bench's own: the editor's markup, then a script that fills
// the element `fill` with `count` items, each the script expression `item`
// of k, and the watching script last, as the pages given to it are made.
QByteArray generatedPage(const QString &title, const QByteArray &editor, const QByteArray &fill,
                         int count, const QByteArray &item, const QByteArray &prelude = {}) {
    return "<!doctype html>\n<meta charset=utf-8>\n<title>" + title.toUtf8() + "</title>\n" +
           editor + "\n<script>\n" + prelude +
           "let html = '';\nfor (let k = 1; k <= " + QByteArray::number(count) +
           "; k++) html += " + item + ";\ndocument.getElementById('" + fill +
           "').innerHTML = html;\n</script>\n<script src=oracle.js></script>\n";
}

// One browser with the page open, started for this dictation alone.
class BrowserWithPage {
public:
    BrowserWithPage(const QString &browser, const QString &path, QString *failure) {
        // An X11 window in a Wayland session too: its title, where the
        // page says how the change went, is read from the X server.
        if (browser == u"firefox")
            m_firefox =
                testing::FirefoxPage::open(testing::FirefoxPage::Backend::x11, path, failure);
        else
            m_chromium = testing::ChromiumPage::open(path, failure);
    }
    bool isRunning() const { return m_firefox || m_chromium; }
    qint32 processIdentifier() const {
        return m_firefox ? m_firefox->processIdentifier() : m_chromium->processIdentifier();
    }

private:
    std::unique_ptr<testing::FirefoxPage> m_firefox;
    std::unique_ptr<testing::ChromiumPage> m_chromium;
};

WebDocumentResult dictateInto(DictationDriver *driver, EditorWatch &watch,
                              const WebDocuments::Page &page, const QString &browser) {
    WebDocumentResult result;
    result.page = page.name;
    result.browser = browser;
    result.pasteOnly = !driver;
    BrowserWithPage opened(browser, page.path, &result.skipped);
    if (!opened.isRunning())
        return result;
    const qint32 pid = opened.processIdentifier();
    const auto title = [&] { return watch.pageTitle(pid).value_or(QStringLiteral("<no window>")); };
    // A browser's first start with a new profile takes a while, and a long
    // page's script more.
    if (!waitFor([&] { return title() == readyTitle; }, 60)) {
        result.skipped = QStringLiteral("the page never read ready; its title: ") + title();
        return result;
    }
    // The user speaks once the editor shows its caret. A window manager
    // may keep a window that starts from no launcher behind another: the
    // user would click it.
    const auto caret = [&] { return watch.caretShows(pid); };
    result.caretSeen = waitFor(caret, 15) || (activateWindowOf(pid) && waitFor(caret, 10));
    if (title() != readyTitle) {
        result.skipped = QStringLiteral("the page changed before the dictation: ") + title();
        return result;
    }
    DictationDriver::Watch landing;
    landing.landed = [&] { return title() != readyTitle; };
    landing.mayMiss = true;
    landing.limitSeconds = 90;
    const std::optional<Timing> timing =
        driver ? driver->dictate(landing) : pasteAsTheUser(landing);
    if (!timing) {
        result.skipped = driver ? QStringLiteral("the dictation could not be made")
                                : QStringLiteral("the paste could not be made");
        return result;
    }
    result.timing = *timing;
    result.title = title();
    return result;
}

} // namespace

WebDocuments::WebDocuments(QString oracle)
    : m_oracle(std::move(oracle)) {}

bool WebDocuments::addPage(const QString &name, const QByteArray &html) {
    const QString path = m_folder.filePath(name + QStringLiteral(".html"));
    QFile file(path);
    if (!m_oracleCopied) {
        m_oracleCopied = m_folder.isValid() &&
                         QFile::copy(m_oracle, m_folder.filePath(QStringLiteral("oracle.js")));
        if (!m_oracleCopied) {
            std::fprintf(stderr, "could not copy the watching script %s\n", qPrintable(m_oracle));
            return false;
        }
    }
    if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size()) {
        std::fprintf(stderr, "could not write the page %s\n", qPrintable(path));
        return false;
    }
    m_pages.push_back({name, path});
    return true;
}

bool WebDocuments::addFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "could not read the page %s\n", qPrintable(path));
        return false;
    }
    return addPage(QFileInfo(path).completeBaseName(), file.readAll());
}

bool WebDocuments::addSelectAll(int paragraphs) {
    const QString name = QStringLiteral("select-all-%1p").arg(paragraphs);
    return addPage(name,
                   generatedPage(name, "<div id=ed contenteditable=true></div>", "ed", paragraphs,
                                 "'<div' + (k === 1 ? ' data-caret=start' : '') + '>第' + k + "
                                 "'段的文字，写在这一段里。</div>'",
                                 "document.body.setAttribute('data-select-all', '');\n"));
}

bool WebDocuments::addCaret(int paragraphs) {
    const QString name = QStringLiteral("caret-%1p").arg(paragraphs);
    const QByteArray middle = QByteArray::number((paragraphs + 1) / 2);
    return addPage(name, generatedPage(name, "<div id=ed contenteditable=true></div>", "ed",
                                       paragraphs,
                                       "'<div' + (k === " + middle +
                                           " ? ' data-caret=2' : '') + '>第' + k + "
                                           "'段的文字，写在这一段里。</div>'"));
}

bool WebDocuments::addList(int items) {
    const QString name = QStringLiteral("list-%1").arg(items);
    return addPage(
        name, generatedPage(name,
                            "<div id=ed contenteditable=true>\n"
                            "<p data-select-from=3>列表前面的一段话。</p>\n<ul id=items></ul>\n"
                            "<p data-select-to=2>列表后面的一段话。</p>\n</div>",
                            "items", items, "'<li>第' + k + '条事项</li>'"));
}

std::vector<WebDocumentResult> dictateIntoWebDocuments(DictationDriver *driver, EditorWatch &watch,
                                                       const WebDocuments &documents,
                                                       const QStringList &browsers, int rounds) {
    std::vector<WebDocumentResult> results;
    for (int round = 0; round < rounds; ++round) {
        for (const WebDocuments::Page &page : documents.pages()) {
            for (const QString &browser : browsers) {
                results.push_back(dictateInto(driver, watch, page, browser));
                std::fprintf(stderr, "  %s\n", qPrintable(line(QString(), results.back())));
            }
        }
    }
    return results;
}

void printWebDocumentResults(
    const std::vector<std::pair<QString, std::vector<WebDocumentResult>>> &runs) {
    if (runs.empty())
        return;
    std::printf("\npage                     browser  build    | ms from the stop to the text (to "
                "the insertion's steps) | title afterwards | exact | insertion | clipboard | caret "
                "| the capture's context\n");
    // The builds' lines of a page and browser side by side, in the order
    // the first build met them.
    for (size_t row = 0; row < runs.front().second.size(); ++row) {
        for (const auto &[label, results] : runs) {
            if (row < results.size())
                std::printf("%s\n", qPrintable(line(label, results[row])));
        }
    }
}

} // namespace tovalit::bench
