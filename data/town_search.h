#pragma once
// The gazetteer's towns for the search window. The towns come from the
// atlas CD, not from a table file, so the full-text index never sees them;
// they are matched here by the index's own rules (case, accents and the
// letters foldToken() folds ignored; every typed word a prefix of a word of
// the name; a closed phrase as whole consecutive words). Cheap enough to run
// per keystroke over the gazetteer.

#include "data/georeferences.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace corvane {

// A name as the words the index would make of it, each folded.
QStringList townWords(const QString& name);

// Whether the name's words match the typed search; false when the search
// has nothing to search for.
bool townNameMatches(const QStringList& nameWords, const QString& typed);

// Indexes into `towns` of the matching towns, in gazetteer order.
QList<int> townsMatching(const QString& typed, const QList<GazetteerTown>& towns);
// The same over the atlas's gazetteer().
QList<int> townsMatching(const QString& typed);

} // namespace corvane
