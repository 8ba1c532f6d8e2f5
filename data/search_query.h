#pragma once
// What the user types into the find field, turned into a query of SQLite's
// full-text index, and the folding that makes "strasse" find "Straße". Pure
// functions: no index, no window.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// A word or closed phrase of a typed search, as matchExpression() reads it:
// a word matches as a prefix, a phrase as whole consecutive words.
struct TypedTerm {
    QString text;
    bool phrase = false;
};
// The terms of a typed search that have something to search for, in order.
QList<TypedTerm> typedTerms(const QString& typed);

// A typed search as the index runs it. Every word of every term is looked
// up on its own, so the index needs no word positions: a term of several
// words (a closed phrase, or a word such as "o'brien" that the index reads
// as two) is then checked on the matching rows' text as a run of
// consecutive words.
struct WordRun {
    QStringList words; // folded, as the index holds them
    bool lastIsPrefix = false;
};
struct FindQuery {
    QString expression; // the FTS5 MATCH expression; empty: nothing to search
    QList<WordRun> runs; // the terms of more than one word
};

// Every word must match, each as a word prefix ("kilb" finds "Kilbride");
// a phrase in closed double quotes must match as a phrase. Whatever else
// the user typed (an unbalanced quote, '*', '-', ':', parentheses, NEAR,
// AND, control characters) is searched as text, never read as query
// syntax. An empty expression when there is nothing to search for (only
// spaces or punctuation).
FindQuery findQuery(const QString& typed);
// The same query's expression alone.
QString matchExpression(const QString& typed);

// The folding the index's tokenizer adds to lower case and removed accents,
// for the letters Unicode does not decompose: ß -> ss, æ -> ae, ø -> o,
// ł -> l, þ -> th and the like. Takes and gives one lower-case token in
// UTF-8; a token without such letters comes back unchanged.
QByteArray foldToken(const QByteArray& token);

// The whole folding as the index applies it to a word: lower case, accents
// removed, then foldToken(). For showing and testing what matches what.
QString foldForSearch(const QString& word);

// The folded words the index makes of a text: runs of letters and digits.
QStringList searchWords(const QString& text);

} // namespace corvane
