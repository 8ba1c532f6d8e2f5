#include "app/main_form.h"

#include "app/child_form.h"
#include "app/forms.h"
#include "app/shared.h"
#include "data/datamod1.h"
#include "platform/desktop.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QVBoxLayout>

namespace corvane {

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    menuBar()->setObjectName(QStringLiteral("MainMenu"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    SpeedPanel = new QFrame(client);
    SpeedPanel->setObjectName(QStringLiteral("SpeedPanel"));
    SpeedPanel->setFixedHeight(36);
    layout->addWidget(SpeedPanel);

    m_childArea = new QMdiArea(client);
    m_childArea->setObjectName(QStringLiteral("ChildArea"));
    m_childArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_childArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(m_childArea);
    setCentralWidget(client);

    connect(m_childArea, &QMdiArea::subWindowActivated, this, &TMainForm::childActivated);
    MainForm = this;
}

TMainForm::~TMainForm()
{
    if (MainForm == this)
        MainForm = nullptr;
}

QMdiSubWindow* TMainForm::addChild(TChildForm* form, Qt::WindowFlags flags)
{
    QMdiSubWindow* sub = m_childArea->addSubWindow(form, flags);
    sub->setObjectName(form->objectName() + QStringLiteral("Window"));
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    return sub;
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    resize(782, 561);
    resetSharedState();
    const QSize screen = platform::screenSize();
    move(std::max(0, (screen.width() - 782) / 2), std::max(0, (screen.height() - 561) / 2));
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // Ending the program must not lose text the user typed but did not store.
    if (DataModule1) {
        const QStringList refused = DataModule1->postAllPending();
        if (!refused.isEmpty()) {
            platform::messageBox({QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                  tr("Some of your changes could not be stored:\n\n%1")
                                      .arg(refused.join(QLatin1Char('\n'))),
                                  QMessageBox::Ok});
        }
    }
    event->accept();
}

void TMainForm::childActivated(QMdiSubWindow* window)
{
    // Activation goes to nothing when the frame loses focus; the menu of the
    // last active child stays.
    if (window)
        showMenuOf(window);
}

void TMainForm::showMenuOf(QMdiSubWindow* window)
{
    menuBar()->clear();
    const auto* form = qobject_cast<TChildForm*>(window->widget());
    if (form && form->childMenuBar())
        menuBar()->addActions(form->childMenuBar()->actions());
}

} // namespace corvane
