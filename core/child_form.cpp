#include "core/child_form.h"

#include "platform/error_report.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>

namespace corvane {

TChildForm::TChildForm(QWidget* parent)
    : QWidget(parent)
{
}

QMdiSubWindow* TChildForm::subWindow() const
{
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void TChildForm::setOuterGeometry(int left, int top, int width, int height)
{
    if (QMdiSubWindow* sub = subWindow()) {
        if (m_fixedBorder)
            sub->setFixedSize(width, height);
        sub->setGeometry(left, top, width, height);
    } else
        setGeometry(left, top, width, height);
}

void TChildForm::moveTo(int left, int top)
{
    if (QMdiSubWindow* sub = subWindow())
        sub->move(left, top);
    else
        move(left, top);
}

QRect TChildForm::outerGeometry() const
{
    if (const QMdiSubWindow* sub = subWindow())
        return sub->geometry();
    return geometry();
}

void TChildForm::showChild()
{
    QMdiSubWindow* sub = subWindow();
    if (!sub) {
        show();
        raise();
        return;
    }
    if (!sub->isVisible())
        sub->show();
    if (!isVisible())
        show();
    sub->raise();
    if (QMdiArea* area = sub->mdiArea())
        area->setActiveSubWindow(sub);
}

void TChildForm::sendToBack()
{
    QMdiSubWindow* sub = subWindow();
    if (!sub)
        return;
    sub->lower();
    QMdiArea* area = sub->mdiArea();
    if (!area)
        return;
    // Activate the window that is now in front, so it is the one the user
    // sees, types into and whose menu is shown.
    const QList<QMdiSubWindow*> stack = area->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (*it != sub && (*it)->isVisible()) {
            area->setActiveSubWindow(*it);
            break;
        }
    }
}

void TChildForm::setChildMenuBar(QMenuBar* menuBar)
{
    m_menuBar = menuBar;
    if (m_menuBar)
        m_menuBar->hide(); // shown through the frame's menu bar only
}

void TChildForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        platform::guarded([this] { FormShow(); });
}

void TChildForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void TChildForm::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr)
        platform::guarded([this] { FormClick(); });
}

} // namespace corvane
