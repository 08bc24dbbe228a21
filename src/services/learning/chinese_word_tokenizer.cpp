#include "services/learning/chinese_word_tokenizer.h"

#include <QtGlobal>

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/ubrk.h>
#include <unicode/unistr.h>

namespace tovalit {

namespace {

// Making a word iterator loads the dictionaries; each thread keeps one.
icu::BreakIterator &wordIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createWordInstance(icu::Locale("zh", "CN"), status));
        if (U_FAILURE(status) || !created)
            qFatal("ICU word break iterator unavailable: %s", u_errorName(status));
        return created;
    }();
    return *iterator;
}

} // namespace

QStringList ChineseWordTokenizer::wordTokens(QStringView text) {
    QStringList words;
    if (text.isEmpty())
        return words;
    // The iterator reads the text in place; `source` outlives its use.
    const icu::UnicodeString source(false, reinterpret_cast<const UChar *>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    icu::BreakIterator &iterator = wordIterator();
    iterator.setText(source);
    int32_t start = iterator.first();
    for (int32_t end = iterator.next(); end != icu::BreakIterator::DONE;
         start = end, end = iterator.next()) {
        // Statuses below 100 mark spaces, punctuation and symbols.
        if (iterator.getRuleStatus() >= UBRK_WORD_NONE_LIMIT)
            words.append(text.mid(start, end - start).toString());
    }
    // The iterator keeps a reference to its text: leave it on one that
    // lives as long as the thread, not on the caller's.
    thread_local const icu::UnicodeString nothing;
    iterator.setText(nothing);
    return words;
}

} // namespace tovalit
