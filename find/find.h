#pragma once
// The search window: one field that searches the sheets, counties, the
// gazetteer's towns, the user's places, descriptions and picture captions, and the glossary as
// the user types, the results grouped by kind, each with the words around
// the match. Enter or a double-click goes there through the shell; Esc
// puts the window away. The field takes the palette's paste hand-off.
// Created once by Ctrl+F or the tool-bar button and kept.

#include "core/child_form.h"
#include "data/search_index.h"

#include <memory>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class Find;
}

namespace corvane {

class TfrmFind : public TChildForm {
    Q_OBJECT
public:
    explicit TfrmFind(QWidget* parent = nullptr);
    ~TfrmFind() override;

    QLineEdit* edFind() const;
    QTreeWidget* lstFound() const;
    // Shows the window in front with the field ready to type in.
    void showFind();

public slots:
    void edFindChange();
    void edFindMouseDown();
    void lstFoundDblClick(QTreeWidgetItem* item);
    void btnCloseClick();
    // Goes to the selected hit (or the first one).
    void goToSelected();

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showHits(int ticket, const QList<FindHit>& hits);
    void goTo(const QTreeWidgetItem* item);
    void goToTown(const QStringList& keys);
    void moveToHit(int step);

    const std::unique_ptr<Ui::Find> ui;
    int m_ticket = 0;
};

// The frame's one search window; null before it is created.
inline TfrmFind* frmFind = nullptr;

} // namespace corvane
