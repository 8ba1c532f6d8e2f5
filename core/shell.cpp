#include "core/shell.h"

#include <QtGlobal>

namespace corvane {

namespace {
Shell* g_shell = nullptr;
} // namespace

QString viewKey(View view)
{
    switch (view) {
    case View::Atlas:
        return QStringLiteral("Atlas");
    case View::Notes:
        return QStringLiteral("Notes");
    case View::Abbrev:
        return QStringLiteral("Abbrev");
    }
    return {};
}

QString visitCaption()
{
    return QStringLiteral("Visit ") + kMakerSiteName;
}

Shell& shell()
{
    Q_ASSERT_X(g_shell, "shell", "no frame registered its shell yet");
    return *g_shell;
}

void setShell(Shell* shell)
{
    g_shell = shell;
}

} // namespace corvane
