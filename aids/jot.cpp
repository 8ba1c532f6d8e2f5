#include "aids/jot.h"

#include "ui_jot.h"

#include "aids/tool_close.h"
#include "core/form_style.h"
#include "core/forms.h"
#include "core/paste.h"
#include "platform/error_report.h"

#include <QMimeData>
#include <QTextCursor>

namespace corvane {

namespace {

// The pad's first content tells the user how to keep a note: six lines and
// an empty one.
const QString kInstructions = QStringLiteral("Jot a note here!\n"
                                             "You may copy and paste it anywhere.\n"
                                             "Copy by blocking the text with a mouse-over, \n"
                                             "then type the Ctrl and C keys at the same time.\n"
                                             "Paste it where you want by typing the Ctrl and V \n"
                                             "keys at the same time.\n");

} // namespace

void TJotPad::insertFromMimeData(const QMimeData* source)
{
    if (!source->formats().isEmpty())
        QTextEdit::insertFromMimeData(source);
}

TfrmJot::TfrmJot(QWidget* parent)
    : TMenuForm(Caller::Jot, parent)
    , ui(std::make_unique<Ui::Jot>())
{
    using platform::connectGuarded;
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmJot"));
    setFixedBorder(true);
    applyFonts(this,
        { { "btnErase", "MS Sans Serif", 11, true }, { "btnClose", "MS Sans Serif", 11, true },
            { "rtfJotPad", "Arial", 12 } });
    ui->rtfJotPad->document()->setDefaultFont(ui->rtfJotPad->font());
    ui->rtfJotPad->setPlainText(kInstructions);
    connectGuarded(ui->btnErase, &QPushButton::clicked, this, &TfrmJot::btnEraseClick);
    connectGuarded(ui->btnClose, &QPushButton::clicked, this, &TfrmJot::btnCloseClick);
    connectMouseDown(ui->rtfJotPad, [this] { platform::guarded([this] { rtfJotPadMouseDown(); }); });
    frmJot = this;
}

TfrmJot::~TfrmJot()
{
    if (frmJot == this)
        frmJot = nullptr;
}

QTextEdit* TfrmJot::rtfJotPad() const
{
    return ui->rtfJotPad;
}

// Runs once: the pad is created visible and never hidden.
void TfrmJot::FormShow()
{
    setOuterGeometry(456, 2, 308, 360);
}

// No question: the pad is scratch paper. The erase is one step of the
// pad's undo, so a slip of the mouse can still be taken back with Ctrl+Z.
void TfrmJot::btnEraseClick()
{
    QTextCursor all(ui->rtfJotPad->document());
    all.beginEditBlock();
    all.select(QTextCursor::Document);
    all.removeSelectedText();
    all.setBlockFormat({});
    all.setBlockCharFormat({});
    all.endEditBlock();
    ui->rtfJotPad->setCurrentCharFormat({});
}

void TfrmJot::btnCloseClick()
{
    closeTool(*this);
}

void TfrmJot::rtfJotPadMouseDown()
{
    completePendingPaste(ui->rtfJotPad);
}

} // namespace corvane
