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

} // namespace corvane
