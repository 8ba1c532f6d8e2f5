#include "core/menu_form.h"

#include "platform/error_report.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace corvane {

namespace {

struct ItemText {
    const char* name;
    const char* text;
    const char* hint = nullptr;
    bool enabled = true;
};

// What differs between the windows' menu bars: names, captions, access
// letters, hints and the one disabled item.
struct MenuText {
    const char* bar;
    ItemText first;
    ItemText notes;
    ItemText abbrev;
    const char* help;
    ItemText openHelp;
    const char* aboutHint;
};

MenuText menuText(Caller window)
{
    switch (window) {
    case Caller::Atlas:
        return { "AtlasMenu",
            { "mnuCatalog", "Catalog", "Open the Catalog to see a full listing of all maps." },
            { "mnuNotes", "&Descriptions", "Create and save an illustrated description of any place." },
            { "mnuAbbrev", "Abbreviations",
                "Click to see the list of Abbreviations and useful German words." },
            "Help", { "OpenHelpFileF1", "Open Help file" }, "Click to see information about this software." };
    case Caller::Notes:
        return { "NotesMenu", { "mnuMaps", "&Maps" }, { "mnuNotes", "Descriptions", nullptr, false },
            { "mnuAbbrev", "&Abbreviations" }, "&Help", { "mnuOpenHelp", "Open Help File" }, nullptr };
    case Caller::Abbrev:
        return { "AbbrevMenu", { "mnuMaps", "&Maps" }, { "mnuNotes", "&Descriptions" },
            { "mnuAbbrev", "Abbreviations", nullptr, false }, "&Help", { "OpenHelpFile1", "Open Help File" },
            nullptr };
    case Caller::Jot:
    case Caller::AltChar:
        break;
    }
    return { window == Caller::Jot ? "JotMenu" : "AltCharMenu", { "mnuMaps", "&Maps" },
        { "mnuNotes", "&Descriptions" }, { "mnuAbbrev", "Abbreviations" }, "&Help",
        { "OpenHelpFile1", "Open Help File" }, nullptr };
}

QAction* addItem(QWidget* menu, QWidget* form, const ItemText& item)
{
    auto* action = new QAction(QString::fromUtf8(item.text), form);
    action->setObjectName(QLatin1String(item.name));
    action->setEnabled(item.enabled);
    if (item.hint) {
        action->setStatusTip(QString::fromUtf8(item.hint));
        action->setToolTip(QString::fromUtf8(item.hint));
    }
    menu->addAction(action);
    return action;
}

} // namespace

StandardMenu buildStandardMenu(QWidget* form, Caller window)
{
    const MenuText text = menuText(window);
    StandardMenu m;
    m.bar = new QMenuBar(form);
    m.bar->setObjectName(QLatin1String(text.bar));
    m.first = addItem(m.bar, form, text.first);
    if (window != Caller::Atlas)
        m.mnuMaps = m.first;
    m.mnuNotes = addItem(m.bar, form, text.notes);
    m.mnuAbbrev = addItem(m.bar, form, text.abbrev);

    m.mnuHelp = new QMenu(QString::fromUtf8(text.help), form);
    m.mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    m.mnuHelp->menuAction()->setObjectName(QStringLiteral("mnuHelp"));
    m.mnuHelp->setToolTipsVisible(text.aboutHint != nullptr);
    m.bar->addMenu(m.mnuHelp);
    m.openHelp = addItem(m.mnuHelp, form, text.openHelp);
    m.openHelp->setShortcut(QKeySequence(Qt::Key_F1));
    m.mnuManual = addItem(m.mnuHelp, form, { "mnuManual", "Print the User's Manual" });
    m.mnuReconfig = addItem(m.mnuHelp, form, { "mnuReconfig", "Reconfigure" });
    m.mnuAbout = addItem(m.mnuHelp, form, { "mnuAbout", "About this Software", text.aboutHint });
    const QByteArray visit = visitCaption().toUtf8();
    m.mnuVisit = addItem(m.mnuHelp, form, { "mnuVisit", visit.constData() });
    return m;
}

TMenuForm::TMenuForm(Caller caller, QWidget* parent)
    : TChildForm(parent)
    , menu(buildStandardMenu(this, caller))
    , m_caller(caller)
{
    using platform::connectGuarded;
    setChildMenuBar(menu.bar);
    // The atlas window's first item is its catalogue, which it connects itself.
    if (menu.mnuMaps)
        connectGuarded(menu.mnuMaps, &QAction::triggered, this, &TMenuForm::mnuMapsClick);
    connectGuarded(menu.mnuNotes, &QAction::triggered, this, &TMenuForm::mnuNotesClick);
    connectGuarded(menu.mnuAbbrev, &QAction::triggered, this, &TMenuForm::mnuAbbrevClick);
    connectGuarded(menu.openHelp, &QAction::triggered, this, &TMenuForm::helpItemClick);
    connectGuarded(menu.mnuManual, &QAction::triggered, this, &TMenuForm::mnuManualClick);
    connectGuarded(menu.mnuReconfig, &QAction::triggered, this, &TMenuForm::mnuReconfigClick);
    connectGuarded(menu.mnuAbout, &QAction::triggered, this, &TMenuForm::mnuAboutClick);
    connectGuarded(menu.mnuVisit, &QAction::triggered, this, &TMenuForm::mnuVisitClick);
}

void TMenuForm::mnuMapsClick()
{
    shell().goToView(m_caller, View::Atlas);
}
void TMenuForm::mnuNotesClick()
{
    shell().goToView(m_caller, View::Notes);
}
void TMenuForm::mnuAbbrevClick()
{
    shell().goToView(m_caller, View::Abbrev);
}
void TMenuForm::helpItemClick()
{
    shell().openHelpPage(m_caller);
}
void TMenuForm::mnuManualClick()
{
    shell().showManualInfo();
}
void TMenuForm::mnuReconfigClick()
{
    shell().reconfigure();
}
void TMenuForm::mnuAboutClick()
{
    shell().showAbout();
}
void TMenuForm::mnuVisitClick()
{
    shell().visitMaker(m_caller);
}

} // namespace corvane
