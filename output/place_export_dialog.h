#pragma once
// "Export places...": the small dialog that says which places leave the
// program, offered as the report offers them (all places, those ticked in
// a list with the current one ticked, or those pinned to one sheet), then
// asks for the file and writes it.

#include <QDialog>

class QPushButton;

namespace corvane {

class PlaceChoice;

class TfrmPlaceExport : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPlaceExport(QWidget* parent = nullptr);

    // The places the choice stands for, as place numbers in list order.
    QList<int> chosenPlaces() const;

public slots:
    void btnExportClick();

private:
    void buildControls();

    PlaceChoice* grpPlaces;
    QPushButton* btnExport;
    QPushButton* btnClose;
};

// Opens the dialog over `parent`, window-modal, and returns it.
TfrmPlaceExport* showPlaceExportDialog(QWidget* parent);

} // namespace corvane
