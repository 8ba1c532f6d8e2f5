#pragma once
// "Deleted places": the bin's places with the date each was deleted, "Put
// back" for the chosen ones and "Empty the bin". A tool window of the frame,
// made on first use and kept; it reads the bin afresh each time it shows.

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace corvane {

class TfrmBin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBin(QWidget* parent = nullptr);

    // Makes the window on first use, fills it and brings it up.
    static TfrmBin* showBin();
    void fillList();

public slots:
    void btnPutBackClick();
    void btnEmptyBinClick();

private:
    QTreeWidget* const grdBin;
    QPushButton* const btnPutBack;
    QPushButton* const btnEmptyBin;
    QPushButton* const btnCloseBin;
};

} // namespace corvane
