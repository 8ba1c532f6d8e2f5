#include "data/search_query.h"

#include <QRegularExpression>
#include <QStringList>

#include <utility>

namespace corvane {

namespace {

// Long pastes are cut here: a query of more words finds nothing a shorter
// one would not, and each word costs a look-up.
constexpr int kMostTerms = 16;
constexpr int kMostTermLength = 64;
// A long phrase's further words are left to the check of the run itself.
constexpr int kMostLookupsPerTerm = 8;

// A term FTS5 reads as a string: in double quotes, any quote doubled.
QString quotedTerm(const QString& text)
{
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

// Only letters and digits make tokens; a term of nothing else would be
// an empty phrase, which FTS5 refuses.
bool hasWordCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.isLetterOrNumber())
            return true;
    }
    return false;
}

QString cleaned(const QString& typed)
{
    QString text = typed.left(kMostTerms * (kMostTermLength + 1) * 2);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c.isSpace())
            c = QLatin1Char(' ');
    }
    return text;
}

// The typed text as words and closed phrases, in order; a quote that
// closes nothing is a separator like a space.
QList<std::pair<QString, bool>> pieces(const QString& text)
{
    QList<std::pair<QString, bool>> found; // text, is a phrase
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype quote = text.indexOf(QLatin1Char('"'), at);
        const qsizetype close = quote < 0 ? -1 : text.indexOf(QLatin1Char('"'), quote + 1);
        const qsizetype wordsEnd = close < 0 ? text.size() : quote;
        const QString words = text.mid(at, wordsEnd - at);
        for (const QString& word :
            words.split(QRegularExpression(QStringLiteral("[ \"]+")), Qt::SkipEmptyParts))
            found.append({ word.left(kMostTermLength), false });
        if (close < 0)
            break;
        found.append({ text.mid(quote + 1, close - quote - 1).simplified(), true });
        at = close + 1;
    }
    return found;
}

} // namespace

QList<TypedTerm> typedTerms(const QString& typed)
{
    QList<TypedTerm> terms;
    for (const auto& [text, phrase] : pieces(cleaned(typed))) {
        if (!hasWordCharacter(text))
            continue;
        terms.append({ text, phrase });
        if (terms.size() == kMostTerms)
            break;
    }
    return terms;
}

FindQuery findQuery(const QString& typed)
{
    FindQuery query;
    QStringList lookups;
    for (const TypedTerm& term : typedTerms(typed)) {
        const QStringList words = searchWords(term.text);
        for (qsizetype i = 0; i < words.size() && i < kMostLookupsPerTerm; ++i) {
            // A typed word's last word is a prefix, so results come as the
            // user types.
            const bool prefix = !term.phrase && i == words.size() - 1;
            lookups << quotedTerm(words[i]) + (prefix ? QStringLiteral("*") : QString());
        }
        if (words.size() > 1)
            query.runs.append({ words, !term.phrase });
    }
    query.expression = lookups.join(QStringLiteral(" AND "));
    return query;
}

QString matchExpression(const QString& typed)
{
    return findQuery(typed).expression;
}

QByteArray foldToken(const QByteArray& token)
{
    bool plain = true;
    for (const char c : token) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            plain = false;
            break;
        }
    }
    if (plain)
        return token;
    static const std::pair<char16_t, const char*> kFolds[]
        = { { u'ß', "ss" }, { u'ẞ', "ss" }, { u'æ', "ae" }, { u'œ', "oe" }, { u'ø', "o" }, { u'đ', "d" },
              { u'ð', "d" }, { u'þ', "th" }, { u'ł', "l" }, { u'ı', "i" }, { u'ŀ', "l" }, { u'ĳ', "ij" },
              { u'ſ', "s" }, { u'ŧ', "t" }, { u'ħ', "h" }, { u'ŋ', "n" } };
    const QString text = QString::fromUtf8(token);
    QString folded;
    folded.reserve(text.size() + 2);
    for (const QChar c : text) {
        const char* replacement = nullptr;
        for (const auto& [letter, fold] : kFolds) {
            if (c.unicode() == letter)
                replacement = fold;
        }
        if (replacement)
            folded += QLatin1String(replacement);
        else
            folded += c;
    }
    return folded.toUtf8();
}

QString foldForSearch(const QString& word)
{
    const QString decomposed = word.toLower().normalized(QString::NormalizationForm_D);
    QString bare;
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            bare += c;
    }
    return QString::fromUtf8(foldToken(bare.normalized(QString::NormalizationForm_C).toUtf8()));
}

QStringList searchWords(const QString& text)
{
    const QString folded = foldForSearch(text);
    QStringList words;
    QString word;
    for (const QChar c : folded) {
        if (c.isLetterOrNumber()) {
            word += c;
        } else if (!word.isEmpty()) {
            words << word;
            word.clear();
        }
    }
    if (!word.isEmpty())
        words << word;
    return words;
}

} // namespace corvane
