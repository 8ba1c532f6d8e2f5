#pragma once
// What the original program's table files hold, read without the library:
// text in their code pages, numbers as the desktop engine stores them, and
// the header checked before the library is given the file (it trusts every
// length and link it reads).

#include <QString>

#include <cstdio>
#include <optional>

namespace corvane::legacy {

// Text of a table written under Windows (code page 1252) or another code
// page (a table written under DOS), through the C library.
QString fromCp1252(const char* data, qsizetype size);
std::optional<QString> fromCodePage(int codePage, const char* data, qsizetype size);

struct Decoder {
    int codePage = 1252;
    QString operator()(const char* data, qsizetype size) const
    {
        if (codePage != 1252 && codePage != 0) {
            if (auto text = fromCodePage(codePage, data, size))
                return *text;
        }
        return fromCp1252(data, size);
    }
};

// A stored integer of `length` bytes, or a float; empty for a blank field.
std::optional<qint64> decodeInteger(const unsigned char* data, int length);
std::optional<double> decodeNumber(const unsigned char* data);

// The messages for a file that is not such a table, or a damaged one.
QString notOurTable(const QString& why);
QString damaged(const QString& why);

// Why the library must not be given this file; empty when it may.
QString headerProblem(FILE* file, qint64 fileSize);

// What the system said when a file could not be opened, in the user's words.
QString openProblem(int error);

} // namespace corvane::legacy
