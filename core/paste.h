#pragma once
// The palette's paste hand-off, once for the five text fields that take
// part in it. A palette click leaves one character on the clipboard and
// sets vPasteState to "Do"; the next mouse press, with any button, in one
// of the fields pastes it there at the pressed point, empties the
// clipboard and sets "Done".

#include <functional>

class QWidget;

namespace corvane {

// Runs `mouseDown` for every mouse press (any button) in the text field
// `control` (a QLineEdit, QTextEdit or QPlainTextEdit), after the press has
// had its ordinary effect there: the field has the focus and the caret
// stands at the pressed point. With a character waiting, any button's press
// is taken as a plain left one and clears a selection first, so that the
// caret moves even for a press inside it. The field's mouse-down handler.
void connectMouseDown(QWidget* control, std::function<void()> mouseDown);

// The hand-off's step in a target field, for its mouse-down handler: when
// a palette character waits, pastes the clipboard's text at the caret
// through the field's own paste (a bound field takes it as any paste),
// empties the clipboard and sets vPasteState to "Done". Otherwise nothing.
void completePendingPaste(QWidget* control);

} // namespace corvane
