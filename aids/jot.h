#pragma once
// The jot pad: one rich-text note kept in memory for the whole run, never
// saved or loaded; the user copies it elsewhere to keep it. Erase empties
// it, Close sends the pad back and returns to the current view. The pad is
// a target of the palette's paste hand-off (core/paste.h). Created once by
// the tool-bar button; its commands leave the current view alone (the pad
// is no view), but its Maps drops a pending paste.

#include "core/menu_form.h"

#include <QTextEdit>

#include <memory>

namespace Ui {
class Jot;
}

namespace corvane {

// The pad's editor. A paste of nothing, as an X11 clipboard that no
// program holds offers after a hand-off, inserts nothing: Qt 6.4's own
// editor crashes on it.
class TJotPad : public QTextEdit {
    Q_OBJECT
public:
    using QTextEdit::QTextEdit;

protected:
    void insertFromMimeData(const QMimeData* source) override;
};

class TfrmJot : public TMenuForm {
    Q_OBJECT
public:
    explicit TfrmJot(QWidget* parent = nullptr);
    ~TfrmJot() override;

    QTextEdit* rtfJotPad() const;

public slots:
    void OpenHelpFile1Click() { helpItemClick(); }
    void btnEraseClick();
    void btnCloseClick();
    void rtfJotPadMouseDown();

protected:
    void FormShow() override;

private:
    const std::unique_ptr<Ui::Jot> ui;
};

} // namespace corvane
