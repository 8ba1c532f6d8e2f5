#pragma once
// The full-text index's tokenizer, "corvane": SQLite's unicode61 with
// accents removed (remove_diacritics 2), each token then folded by
// foldToken() (data/search_query.h). It keeps unicode61's offsets, so
// snippets show the text as the user wrote it.

struct sqlite3;

namespace corvane {

inline constexpr const char* kSearchTokenizer = "corvane";

// Registers the tokenizer on the connection; false when SQLite has no FTS5.
bool registerSearchTokenizer(sqlite3* db);

// An FTS5 function for an index that keeps no word positions:
// word_runs(table, runs, fields) is 1 when every run occurs as consecutive
// words, as the tokenizer makes them, of one of the row's first `fields`
// fields. `runs` holds a run a line, its folded words separated by
// spaces, with a final '*' when the last word need only begin a word.
inline constexpr const char* kWordRuns = "word_runs";
bool registerWordRuns(sqlite3* db);

} // namespace corvane
