#include "data/search_tokenizer.h"

#include "data/search_query.h"

#include <QByteArray>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

namespace {

struct Folding {
    fts5_tokenizer inner {};
    Fts5Tokenizer* innerHandle = nullptr;
};

fts5_api* fts5Of(sqlite3* db)
{
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    return api;
}

int createFolding(void* context, const char** /*arguments*/, int /*count*/, Fts5Tokenizer** made)
{
    auto* api = static_cast<fts5_api*>(context);
    void* innerContext = nullptr;
    auto folding = std::make_unique<Folding>();
    int rc = api->xFindTokenizer(api, "unicode61", &innerContext, &folding->inner);
    const char* options[] = { "remove_diacritics", "2" };
    if (rc == SQLITE_OK)
        rc = folding->inner.xCreate(innerContext, options, 2, &folding->innerHandle);
    if (rc != SQLITE_OK)
        return rc;
    *made = reinterpret_cast<Fts5Tokenizer*>(folding.release());
    return SQLITE_OK;
}

void deleteFolding(Fts5Tokenizer* handle)
{
    auto* folding = reinterpret_cast<Folding*>(handle);
    folding->inner.xDelete(folding->innerHandle);
    delete folding;
}

struct Passing {
    void* context;
    int (*token)(void*, int, const char*, int, int, int);
};

int foldOne(void* context, int flags, const char* token, int length, int start, int end)
{
    const auto* passing = static_cast<const Passing*>(context);
    for (int i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(token[i]) >= 0x80) {
            const QByteArray folded = foldToken(QByteArray(token, length));
            return passing->token(
                passing->context, flags, folded.constData(), int(folded.size()), start, end);
        }
    }
    return passing->token(passing->context, flags, token, length, start, end);
}

int tokenizeFolding(Fts5Tokenizer* handle, void* context, int flags, const char* text, int length,
    int (*token)(void*, int, const char*, int, int, int))
{
    auto* folding = reinterpret_cast<Folding*>(handle);
    Passing passing { context, token };
    return folding->inner.xTokenize(folding->innerHandle, &passing, flags, text, length, foldOne);
}

struct Run {
    std::vector<std::string> words;
    bool lastIsPrefix = false;
};

std::vector<Run> parseRuns(std::string_view text)
{
    std::vector<Run> runs;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        Run run;
        run.lastIsPrefix = !line.empty() && line.back() == '*';
        if (run.lastIsPrefix)
            line.remove_suffix(1);
        while (!line.empty()) {
            const size_t space = std::min(line.find(' '), line.size());
            if (space > 0)
                run.words.emplace_back(line.substr(0, space));
            line.remove_prefix(std::min(space + 1, line.size()));
        }
        if (!run.words.empty())
            runs.push_back(std::move(run));
    }
    return runs;
}

int collectWord(void* context, int flags, const char* token, int length, int /*start*/, int /*end*/)
{
    if (!(flags & FTS5_TOKEN_COLOCATED))
        static_cast<std::vector<std::string>*>(context)->emplace_back(token, size_t(length));
    return SQLITE_OK;
}

bool containsRun(const std::vector<std::string>& words, const Run& run)
{
    const size_t n = run.words.size();
    for (size_t start = 0; start + n <= words.size(); ++start) {
        size_t i = 0;
        while (i < n
            && (words[start + i] == run.words[i]
                || (run.lastIsPrefix && i == n - 1 && words[start + i].starts_with(run.words[i]))))
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

void deleteRuns(void* runs)
{
    delete static_cast<std::vector<Run>*>(runs);
}

// The runs are read once a query and kept with it.
const std::vector<Run>* runsOf(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_value* text)
{
    if (auto* kept = static_cast<std::vector<Run>*>(api->xGetAuxdata(fts, 0)))
        return kept;
    const auto* utf8 = reinterpret_cast<const char*>(sqlite3_value_text(text));
    auto* runs = new std::vector<Run>(
        parseRuns(utf8 ? std::string_view(utf8, size_t(sqlite3_value_bytes(text))) : std::string_view()));
    return api->xSetAuxdata(fts, runs, deleteRuns) == SQLITE_OK ? runs : nullptr;
}

void wordRuns(
    const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int count, sqlite3_value** values)
{
    const std::vector<Run>* runs = count == 2 ? runsOf(api, fts, values[0]) : nullptr;
    if (!runs) {
        sqlite3_result_error(result, "word_runs(table, runs, fields)", -1);
        return;
    }
    std::vector<bool> found(runs->size(), false);
    size_t left = runs->size();
    const int fields = std::min(sqlite3_value_int(values[1]), api->xColumnCount(fts));
    std::vector<std::string> words;
    for (int field = 0; field < fields && left > 0; ++field) {
        const char* text = nullptr;
        int length = 0;
        words.clear();
        if (api->xColumnText(fts, field, &text, &length) != SQLITE_OK
            || api->xTokenize(fts, text, length, &words, collectWord) != SQLITE_OK) {
            sqlite3_result_error_code(result, SQLITE_ERROR);
            return;
        }
        for (size_t i = 0; i < runs->size(); ++i) {
            if (!found[i] && containsRun(words, (*runs)[i])) {
                found[i] = true;
                --left;
            }
        }
    }
    sqlite3_result_int(result, left == 0 ? 1 : 0);
}

} // namespace

bool registerWordRuns(sqlite3* db)
{
    fts5_api* api = fts5Of(db);
    return api && api->xCreateFunction(api, kWordRuns, nullptr, wordRuns, nullptr) == SQLITE_OK;
}

bool registerSearchTokenizer(sqlite3* db)
{
    fts5_api* api = fts5Of(db);
    if (!api)
        return false;
    fts5_tokenizer folding { createFolding, deleteFolding, tokenizeFolding };
    return api->xCreateTokenizer(api, kSearchTokenizer, api, &folding, nullptr) == SQLITE_OK;
}

} // namespace corvane
