#include "data/search_tokenizer.h"

#include "data/search_query.h"

#include <QByteArray>

#include <sqlite3.h>

#include <memory>

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

} // namespace

bool registerSearchTokenizer(sqlite3* db)
{
    fts5_api* api = fts5Of(db);
    if (!api)
        return false;
    fts5_tokenizer folding { createFolding, deleteFolding, tokenizeFolding };
    return api->xCreateTokenizer(api, kSearchTokenizer, api, &folding, nullptr) == SQLITE_OK;
}

} // namespace corvane
