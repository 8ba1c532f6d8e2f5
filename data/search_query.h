#pragma once
// What the user types into the find field, turned into a query of SQLite's
// full-text index, and the folding that makes "strasse" find "Straße". Pure
// functions: no index, no window.

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvane {

// A word or closed phrase of a typed search, as matchExpression() reads it:
// a word matches as a prefix, a phrase as whole consecutive words.
struct TypedTerm {
    QString text;
    bool phrase = false;
};
// The terms of a typed search that have something to search for, in order.
QList<TypedTerm> typedTerms(const QString& typed);

// The FTS5 MATCH expression for a typed search: every word must match, each
// as a word prefix ("kilb" finds "Kilbride"); a phrase in closed double
// quotes must match as a phrase. Whatever else the user typed (an
// unbalanced quote, '*', '-', ':', parentheses, NEAR, AND, control
// characters) is searched as text, never read as query syntax. Empty when
// there is nothing to search for (only spaces or punctuation).
QString matchExpression(const QString& typed);

// The folding the index's tokenizer adds to lower case and removed accents,
// for the letters Unicode does not decompose: ß -> ss, æ -> ae, ø -> o,
// ł -> l, þ -> th and the like. Takes and gives one lower-case token in
// UTF-8; a token without such letters comes back unchanged.
QByteArray foldToken(const QByteArray& token);

// The whole folding as the index applies it to a word: lower case, accents
// removed, then foldToken(). For showing and testing what matches what.
QString foldForSearch(const QString& word);

} // namespace corvane
