#pragma once
// The search on the frame: the tool-bar button spdFind and Ctrl+F, which
// open the one search window, and the index that follows the tables from
// the start (data/search_indexer.h).

namespace corvane {

class TMainForm;
class TDataModule1;

// Puts spdFind on the tool bar, shown and hidden with the other tool-bar
// buttons, and Ctrl+F on the frame.
void installFindCommand(TMainForm* frame);
// Creates the search window on first use and shows it, the field ready.
void showFindWindow();
// Starts the index over the data module's tables, in the user's cache.
void startSearchIndex(TDataModule1& data);

} // namespace corvane
