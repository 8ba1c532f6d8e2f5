#pragma once
// The accented-character palette: 35 positions, each with a lower-case and
// an upper-case character. A click puts the shown character on the system
// clipboard as plain text, sends the palette behind the other windows and
// sets vPasteState to "Do", so the next mouse press in a paste target
// (core/paste.h) pastes it there. Created once by the tool-bar button and
// kept until the program ends; never hidden, only sent back. Its menu
// commands leave the current view and a pending paste alone.

#include "core/menu_form.h"

#include <memory>

class QPushButton;
class QRadioButton;

namespace Ui {
class AltChar;
}

namespace corvane {

class TfrmAltChar : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmAltChar(QWidget* parent = nullptr);
    ~TfrmAltChar() override;

    QRadioButton* rdoLower = nullptr;
    QRadioButton* rdoUpper = nullptr;

    // The button that a press at row and column (1-based) reaches: in
    // upper case the capital picture buttons cover the small ones.
    QPushButton* buttonAt(int row, int column) const;

public slots:
    void OpenHelpFile1Click() { helpItemClick(); }
    void rdoLowerClick();
    void rdoUpperClick();
    void BitBtnCloseClick();

    void btnA224Click();
    void btnA225Click();
    void btnA226Click();
    void btnA228Click();
    void btnA229Click();
    void btnA227Click();
    void btnAE230Click();
    void btnC231Click();
    void btnE232Click();
    void btnE233Click();
    void btnE234Click();
    void btnE235Click();
    void btnI236Click();
    void btnI237Click();
    void btnI238Click();
    void btnI239Click();
    void btnN241Click();
    void btnO242Click();
    void btnO243Click();
    void btnO244Click();
    void btnO246Click();
    void btnO245Click();
    void btnO248Click();
    void btnOE156Click();
    void btnU249Click();
    void btnU250Click();
    void btnU251Click();
    void btnU252Click();
    void btnS154Click();
    void btnS138Click();
    void btnSS223Click();
    void btnY253Click();
    void btnZ158Click();
    void btnZ142Click();
    void btnC167Click();
    void btnC186Click();
    void btnL163Click();

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpButtons();
    void setUpKeyboard();
    void showCase(bool upper);
    void characterClick(const QPushButton* button);
    bool arrowKeyPress(QPushButton* button, int key);

    const std::unique_ptr<Ui::AltChar> ui;
};

} // namespace corvane
