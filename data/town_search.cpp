#include "data/town_search.h"

#include "data/search_query.h"

namespace corvane {

namespace {

// Whether `wanted` occurs in `words` as consecutive words; the last one
// only needs to begin a word when `lastIsPrefix`.
bool containsRun(const QStringList& words, const QStringList& wanted, bool lastIsPrefix)
{
    const qsizetype n = wanted.size();
    for (qsizetype start = 0; start + n <= words.size(); ++start) {
        qsizetype i = 0;
        while (i < n
            && (words[start + i] == wanted[i]
                || (lastIsPrefix && i == n - 1 && words[start + i].startsWith(wanted[i]))))
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

// A typed word such as "o'brien" is, as in the index, its words in a row.
bool termMatches(const QStringList& nameWords, const TypedTerm& term)
{
    const QStringList wanted = townWords(term.text);
    return !wanted.isEmpty() && containsRun(nameWords, wanted, !term.phrase);
}

bool allTermsMatch(const QStringList& nameWords, const QList<TypedTerm>& terms)
{
    if (terms.isEmpty())
        return false;
    for (const TypedTerm& term : terms) {
        if (!termMatches(nameWords, term))
            return false;
    }
    return true;
}

} // namespace

QStringList townWords(const QString& name)
{
    return searchWords(name);
}

bool townNameMatches(const QStringList& nameWords, const QString& typed)
{
    return allTermsMatch(nameWords, typedTerms(typed));
}

QList<int> townsMatching(const QString& typed, const QList<GazetteerTown>& towns)
{
    QList<int> found;
    const QList<TypedTerm> terms = typedTerms(typed);
    if (terms.isEmpty())
        return found;
    for (qsizetype i = 0; i < towns.size(); ++i) {
        if (allTermsMatch(townWords(towns[i].name), terms))
            found << int(i);
    }
    return found;
}

QList<int> townsMatching(const QString& typed)
{
    return townsMatching(typed, gazetteer());
}

} // namespace corvane
