#pragma once
// The "Places" group that the report and the place export share: all
// places, those ticked in a list (the current one ticked at first), or
// those pinned to one sheet.

#include <QGroupBox>

class QComboBox;
class QListWidget;
class QRadioButton;

namespace corvane {

class PlaceChoice : public QGroupBox {
    Q_OBJECT
public:
    // `sheet`, when it has pins, is the sheet offered first.
    explicit PlaceChoice(QWidget* parent, const QString& sheet = QString());

    // The places the choice stands for, as place numbers in list order.
    QList<int> chosenPlaces() const;

    QRadioButton* rdoAllPlaces;
    QRadioButton* rdoChosenPlaces;
    QRadioButton* rdoSheetPlaces;
    QListWidget* lstPlaces;
    QComboBox* cboSheet;
};

} // namespace corvane
