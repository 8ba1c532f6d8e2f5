#include "aids/altchar.h"

#include "ui_altchar.h"

#include "aids/tool_close.h"
#include "core/forms.h"
#include "core/shared.h"
#include "platform/drawing.h"
#include "platform/error_report.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QShortcut>

#include <algorithm>

namespace corvane {

namespace {

// How a position shows its character. The picture positions are two
// buttons at one place: the small letter's, always shown, and the
// capital's, shown on top of it in upper case only.
enum class Face { Fixed15, Fixed12, Arial13, Arial15, SmallPicture, CapitalPicture };

struct Position {
    QPushButton* Ui::AltChar::*button;
    void (TfrmAltChar::*click)();
    char16_t lower;
    char16_t upper; // a picture button delivers the same character in both cases
    int row;
    int column;
    Face face;
};

using F = Face;
using P = TfrmAltChar;
using U = Ui::AltChar;

// Button names carry the Windows-1252 code of the lower-case character
// (of the capital for btnS138 and btnZ142).
const Position kPositions[] = {
    { &U::btnA224, &P::btnA224Click, u'à', u'À', 1, 1, F::Fixed15 },
    { &U::btnA225, &P::btnA225Click, u'á', u'Á', 1, 2, F::Fixed15 },
    { &U::btnA226, &P::btnA226Click, u'â', u'Â', 1, 3, F::Fixed15 },
    { &U::btnA228, &P::btnA228Click, u'ä', u'Ä', 1, 4, F::Fixed15 },
    { &U::btnA229, &P::btnA229Click, u'å', u'Å', 1, 5, F::Fixed15 },
    { &U::btnA227, &P::btnA227Click, u'ã', u'Ã', 1, 6, F::Fixed15 },
    { &U::btnAE230, &P::btnAE230Click, u'æ', u'Æ', 1, 7, F::Arial13 },
    { &U::btnC231, &P::btnC231Click, u'ç', u'Ç', 2, 1, F::Fixed12 },
    { &U::btnE232, &P::btnE232Click, u'è', u'È', 2, 2, F::Fixed15 },
    { &U::btnE233, &P::btnE233Click, u'é', u'É', 2, 3, F::Fixed15 },
    { &U::btnE234, &P::btnE234Click, u'ê', u'Ê', 2, 4, F::Fixed15 },
    { &U::btnE235, &P::btnE235Click, u'ë', u'Ë', 2, 5, F::Fixed15 },
    { &U::btnI236, &P::btnI236Click, u'ì', u'Ì', 2, 6, F::Fixed15 },
    { &U::btnI237, &P::btnI237Click, u'í', u'Í', 2, 7, F::Fixed15 },
    { &U::btnI238, &P::btnI238Click, u'î', u'Î', 3, 1, F::Fixed15 },
    { &U::btnI239, &P::btnI239Click, u'ï', u'Ï', 3, 2, F::Fixed15 },
    { &U::btnN241, &P::btnN241Click, u'ñ', u'Ñ', 3, 3, F::Fixed15 },
    { &U::btnO242, &P::btnO242Click, u'ò', u'Ò', 3, 4, F::Fixed15 },
    { &U::btnO243, &P::btnO243Click, u'ó', u'Ó', 3, 5, F::Fixed15 },
    { &U::btnO244, &P::btnO244Click, u'ô', u'Ô', 3, 6, F::Fixed15 },
    { &U::btnO246, &P::btnO246Click, u'ö', u'Ö', 3, 7, F::Fixed15 },
    { &U::btnO245, &P::btnO245Click, u'õ', u'Õ', 4, 1, F::Fixed15 },
    { &U::btnO248, &P::btnO248Click, u'ø', u'Ø', 4, 2, F::Fixed15 },
    { &U::btnOE156, &P::btnOE156Click, u'œ', u'Œ', 4, 3, F::Arial13 },
    { &U::btnU249, &P::btnU249Click, u'ù', u'Ù', 4, 4, F::Fixed15 },
    { &U::btnU250, &P::btnU250Click, u'ú', u'Ú', 4, 5, F::Fixed15 },
    { &U::btnU251, &P::btnU251Click, u'û', u'Û', 4, 6, F::Fixed15 },
    { &U::btnU252, &P::btnU252Click, u'ü', u'Ü', 4, 7, F::Fixed15 },
    { &U::btnS154, &P::btnS154Click, u'š', u'š', 5, 1, F::SmallPicture },
    { &U::btnS138, &P::btnS138Click, u'Š', u'Š', 5, 1, F::CapitalPicture },
    { &U::btnSS223, &P::btnSS223Click, u'ß', u'µ', 5, 2, F::Arial15 },
    { &U::btnY253, &P::btnY253Click, u'ý', u'Ý', 5, 3, F::Fixed12 },
    { &U::btnZ158, &P::btnZ158Click, u'ž', u'ž', 5, 4, F::SmallPicture },
    { &U::btnZ142, &P::btnZ142Click, u'Ž', u'Ž', 5, 4, F::CapitalPicture },
    { &U::btnC167, &P::btnC167Click, u'§', u'¶', 5, 5, F::Arial13 },
    { &U::btnC186, &P::btnC186Click, u'º', u'¢', 5, 6, F::Arial15 },
    { &U::btnL163, &P::btnL163Click, u'£', u'€', 5, 7, F::Arial13 },
};

constexpr int kRows = 5;
constexpr int kColumns = 7;
constexpr QSize kGlyphSize { 16, 18 };
// Switches between the two cases from the keyboard, as word processors
// change case.
const QKeySequence kCaseKey { Qt::SHIFT | Qt::Key_F3 };

bool isPicture(Face face)
{
    return face == Face::SmallPicture || face == Face::CapitalPicture;
}

QFont faceFont(Face face)
{
    using platform::designFont;
    switch (face) {
    case Face::Fixed12:
        return designFont(QStringLiteral("Fixedsys"), 12);
    case Face::Arial13:
        return designFont(QStringLiteral("Arial"), 13);
    case Face::Arial15:
        return designFont(QStringLiteral("Arial"), 15);
    case Face::Fixed15:
    case Face::SmallPicture:
    case Face::CapitalPicture:
        break;
    }
    return designFont(QStringLiteral("Fixedsys"), 15);
}

// A letter as a small black glyph on white, for the picture buttons. The
// palette's own font, made smaller where a capital's caron would not fit.
QIcon glyphPicture(QChar letter)
{
    const QRectF box(QPointF(0, 0), kGlyphSize);
    QFont font = faceFont(Face::Fixed15);
    QRectF ink = QFontMetricsF(font).tightBoundingRect(letter);
    while (ink.height() > box.height() - 2 && font.pixelSize() > 8) {
        font.setPixelSize(font.pixelSize() - 1);
        ink = QFontMetricsF(font).tightBoundingRect(letter);
    }
    return platform::drawnIcon(
        kGlyphSize,
        [letter, font, ink, box](QPainter& p) {
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(box.center() - ink.center(), QString(letter));
        },
        Qt::white);
}

// The close button's boxed cross.
QIcon boxedCross()
{
    return platform::drawnIcon({ 12, 12 }, [](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(QRectF(0, 0, 11, 11));
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(Qt::black, 1.5, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(QPointF(3, 3), QPointF(9, 9));
        p.drawLine(QPointF(9, 3), QPointF(3, 9));
    });
}

// What a screen reader says for a character: "a with grave", "capital E
// with acute", "pound sign". Accented letters are named from their Unicode
// decomposition, the rest from a small table.
QString characterName(QChar c)
{
    static const QHash<char16_t, const char*> plain { { u'æ', "ae" }, { u'Æ', "capital AE" },
        { u'ø', "o with stroke" }, { u'Ø', "capital O with stroke" }, { u'œ', "oe" }, { u'Œ', "capital OE" },
        { u'ß', "sharp s" }, { u'µ', "micro sign" }, { u'§', "section sign" }, { u'¶', "pilcrow sign" },
        { u'º', "masculine ordinal indicator" }, { u'¢', "cent sign" }, { u'£', "pound sign" },
        { u'€', "euro sign" } };
    static const QHash<char16_t, const char*> marks { { u'\u0300', "grave" }, { u'\u0301', "acute" },
        { u'\u0302', "circumflex" }, { u'\u0303', "tilde" }, { u'\u0308', "diaeresis" },
        { u'\u030A', "ring above" }, { u'\u0327', "cedilla" }, { u'\u030C', "caron" } };
    if (const auto name = plain.constFind(c.unicode()); name != plain.constEnd())
        return QString::fromLatin1(*name);
    const QString parts = c.decomposition();
    if (parts.size() != 2 || !marks.contains(parts.at(1).unicode()))
        return QString(c);
    const QChar base = parts.at(0);
    const QString letter = base.isUpper() ? QStringLiteral("capital ") + base : QString(base);
    return letter + QStringLiteral(" with ") + QString::fromLatin1(marks.value(parts.at(1).unicode()));
}

} // namespace

TfrmAltChar::TfrmAltChar(QWidget* parent)
    : TMenuForm(Caller::AltChar, parent)
    , ui(std::make_unique<Ui::AltChar>())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmAltChar"));
    setFixedBorder(true);
    rdoLower = ui->rdoLower;
    rdoUpper = ui->rdoUpper;
    setUpButtons();
    setUpKeyboard();
    showCase(false);
    frmAltChar = this;
}

TfrmAltChar::~TfrmAltChar()
{
    if (frmAltChar == this)
        frmAltChar = nullptr;
}

void TfrmAltChar::setUpButtons()
{
    using platform::connectGuarded;
    const QFont caseFont = platform::designFont(QStringLiteral("MS Sans Serif"), 11, true);
    rdoUpper->setFont(caseFont);
    rdoLower->setFont(caseFont);
    // rdoUpper carries its hint but does not show it (see eventFilter).
    rdoUpper->installEventFilter(this);
    ui->BitBtnClose->setIcon(boxedCross());
    connectGuarded(ui->BitBtnClose, &QPushButton::clicked, this, &TfrmAltChar::BitBtnCloseClick);
    connect(rdoLower, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            platform::guarded([this] { rdoLowerClick(); });
    });
    connect(rdoUpper, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            platform::guarded([this] { rdoUpperClick(); });
    });
    for (const Position& position : kPositions) {
        QPushButton* button = ui.get()->*position.button;
        button->setFont(faceFont(position.face));
        if (isPicture(position.face)) {
            button->setIcon(glyphPicture(position.lower));
            button->setAccessibleName(characterName(position.lower));
        }
        button->installEventFilter(this); // arrow keys
        connectGuarded(button, &QPushButton::clicked, this, position.click);
    }
}

void TfrmAltChar::setUpKeyboard()
{
    auto* caseKey = new QShortcut(kCaseKey, this);
    caseKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(caseKey, &QShortcut::activated, this,
        [this] { (rdoUpper->isChecked() ? rdoLower : rdoUpper)->setChecked(true); });
    const QString caseHelp = QStringLiteral("Shift+F3 switches between the cases.");
    rdoUpper->setAccessibleDescription(caseHelp);
    rdoLower->setAccessibleDescription(caseHelp);
}

QPushButton* TfrmAltChar::buttonAt(int row, int column) const
{
    const bool upper = rdoUpper->isChecked();
    for (const Position& position : kPositions) {
        if (position.row != row || position.column != column)
            continue;
        if (position.face == Face::SmallPicture && upper)
            continue; // covered by the capital's button
        if (position.face == Face::CapitalPicture && !upper)
            continue;
        return ui.get()->*position.button;
    }
    return nullptr;
}

// Runs once: the palette is created visible and never hidden.
void TfrmAltChar::FormShow()
{
    setOuterGeometry(605, 4, 160, 193);
}

void TfrmAltChar::rdoLowerClick()
{
    showCase(false);
}

void TfrmAltChar::rdoUpperClick()
{
    showCase(true);
}

void TfrmAltChar::showCase(bool upper)
{
    for (const Position& position : kPositions) {
        QPushButton* button = ui.get()->*position.button;
        switch (position.face) {
        case Face::CapitalPicture:
            button->setVisible(upper);
            break;
        case Face::SmallPicture:
            // Covered in upper case: out of the keyboard's reach as well.
            button->setFocusPolicy(upper ? Qt::NoFocus : Qt::StrongFocus);
            break;
        default: {
            const QChar shown = upper ? position.upper : position.lower;
            button->setText(shown);
            button->setAccessibleName(characterName(shown));
        }
        }
    }
}

void TfrmAltChar::BitBtnCloseClick()
{
    closeTool(*this);
}

void TfrmAltChar::characterClick(const QPushButton* button)
{
    for (const Position& position : kPositions) {
        if (ui.get()->*position.button != button)
            continue;
        const QString character(QChar(rdoUpper->isChecked() ? position.upper : position.lower));
        sendToBack();
        QClipboard* clipboard = QApplication::clipboard();
        clipboard->setText(character);
        // The clipboard reports no failure of its own; what it now holds does.
        if (clipboard->text() != character)
            throw platform::AppError(QStringLiteral("The character could not be put on the clipboard."));
        vPasteState = QStringLiteral("Do");
        return;
    }
}

bool TfrmAltChar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == rdoUpper && event->type() == QEvent::ToolTip)
        return true;
    if (event->type() == QEvent::KeyPress) {
        auto* button = qobject_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && key->modifiers() == Qt::NoModifier)
            return arrowKeyPress(button, key->key());
    }
    return TMenuForm::eventFilter(watched, event);
}

// The arrow keys move through the positions as they lie on screen, and
// stop at the palette's edges.
bool TfrmAltChar::arrowKeyPress(QPushButton* button, int key)
{
    int dRow = 0;
    int dColumn = 0;
    switch (key) {
    case Qt::Key_Left:
        dColumn = -1;
        break;
    case Qt::Key_Right:
        dColumn = 1;
        break;
    case Qt::Key_Up:
        dRow = -1;
        break;
    case Qt::Key_Down:
        dRow = 1;
        break;
    default:
        return false;
    }
    for (const Position& position : kPositions) {
        if (ui.get()->*position.button != button)
            continue;
        const int row = std::clamp(position.row + dRow, 1, kRows);
        const int column = std::clamp(position.column + dColumn, 1, kColumns);
        if (QPushButton* next = buttonAt(row, column))
            next->setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

// One handler per button, as the buttons are named.
// clang-format off
void TfrmAltChar::btnA224Click() { characterClick(ui->btnA224); }
void TfrmAltChar::btnA225Click() { characterClick(ui->btnA225); }
void TfrmAltChar::btnA226Click() { characterClick(ui->btnA226); }
void TfrmAltChar::btnA228Click() { characterClick(ui->btnA228); }
void TfrmAltChar::btnA229Click() { characterClick(ui->btnA229); }
void TfrmAltChar::btnA227Click() { characterClick(ui->btnA227); }
void TfrmAltChar::btnAE230Click() { characterClick(ui->btnAE230); }
void TfrmAltChar::btnC231Click() { characterClick(ui->btnC231); }
void TfrmAltChar::btnE232Click() { characterClick(ui->btnE232); }
void TfrmAltChar::btnE233Click() { characterClick(ui->btnE233); }
void TfrmAltChar::btnE234Click() { characterClick(ui->btnE234); }
void TfrmAltChar::btnE235Click() { characterClick(ui->btnE235); }
void TfrmAltChar::btnI236Click() { characterClick(ui->btnI236); }
void TfrmAltChar::btnI237Click() { characterClick(ui->btnI237); }
void TfrmAltChar::btnI238Click() { characterClick(ui->btnI238); }
void TfrmAltChar::btnI239Click() { characterClick(ui->btnI239); }
void TfrmAltChar::btnN241Click() { characterClick(ui->btnN241); }
void TfrmAltChar::btnO242Click() { characterClick(ui->btnO242); }
void TfrmAltChar::btnO243Click() { characterClick(ui->btnO243); }
void TfrmAltChar::btnO244Click() { characterClick(ui->btnO244); }
void TfrmAltChar::btnO246Click() { characterClick(ui->btnO246); }
void TfrmAltChar::btnO245Click() { characterClick(ui->btnO245); }
void TfrmAltChar::btnO248Click() { characterClick(ui->btnO248); }
void TfrmAltChar::btnOE156Click() { characterClick(ui->btnOE156); }
void TfrmAltChar::btnU249Click() { characterClick(ui->btnU249); }
void TfrmAltChar::btnU250Click() { characterClick(ui->btnU250); }
void TfrmAltChar::btnU251Click() { characterClick(ui->btnU251); }
void TfrmAltChar::btnU252Click() { characterClick(ui->btnU252); }
void TfrmAltChar::btnS154Click() { characterClick(ui->btnS154); }
void TfrmAltChar::btnS138Click() { characterClick(ui->btnS138); }
void TfrmAltChar::btnSS223Click() { characterClick(ui->btnSS223); }
void TfrmAltChar::btnY253Click() { characterClick(ui->btnY253); }
void TfrmAltChar::btnZ158Click() { characterClick(ui->btnZ158); }
void TfrmAltChar::btnZ142Click() { characterClick(ui->btnZ142); }
void TfrmAltChar::btnC167Click() { characterClick(ui->btnC167); }
void TfrmAltChar::btnC186Click() { characterClick(ui->btnC186); }
void TfrmAltChar::btnL163Click() { characterClick(ui->btnL163); }
// clang-format on

} // namespace corvane
