// corvane3-legacy-reader FOLDER: reads the original program's place and
// picture tables in FOLDER (opened for reading only) and writes them to
// standard output for the import command, which runs this in its own
// process so that a damaged table cannot take the program down, and waits
// for it without blocking its window. Progress goes to standard error as
// "@file NAME" and "@records DONE TOTAL" lines; the command ignores any
// other line there.

#include "import/legacy_reader.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: corvane3-legacy-reader FOLDER\n");
        return 2;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 2;
    return corvane::legacy::runReaderHelper(args.at(1), out);
}
