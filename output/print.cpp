#include "output/print.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "output/report_dialog.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QTextEdit>
#include <QToolTip>

#include <memory>

namespace corvane {

namespace {

const QString kPictureHow = QStringLiteral(
    "This file is stored in the Path and File shown below. Open this file in your favorite Photo or Art "
    "program, and crop and print it as you prefer. If you have no such program, your Windows Paint accessory "
    "can be used.");

// Line ends as they may come from an imported or older description: each
// ends one paragraph, whatever its form.
QString paragraphs(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString descriptionOf(const NotesControls& notes)
{
    if (auto* plain = qobject_cast<QPlainTextEdit*>(notes.dbmemoDescrip)) {
        plain->selectAll();
        return plain->toPlainText();
    }
    if (auto* rich = qobject_cast<QTextEdit*>(notes.dbmemoDescrip)) {
        rich->selectAll();
        return rich->toPlainText();
    }
    platform::Table* descrip = DataModule1->tblDescrip;
    if (!descrip->active() || descrip->rowCount() == 0)
        return {};
    return descrip->fieldAsString(QStringLiteral("Memo"));
}

void exportDescription(const PrintPanels& panels, const NotesControls& notes)
{
    if (notes.pnlPictures)
        notes.pnlPictures->hide();
    const QString description = descriptionOf(notes);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    vPasteState = QStringLiteral("Done");
    platform::Table* pix = DataModule1->tblPix;
    pix->open();
    const QList<ExportPicture> pictures = picturesOfPlace(pix, vPlaceId);
    const QString last
        = composeDescriptionExport(panels.MainRichEdit->document(), vPlaceName, description, pictures);
    // The closing line without pictures is left on the clipboard, as when
    // each piece travelled through it.
    if (pictures.isEmpty())
        clipboard->setText(last);
    panels.MainRichEdit->moveCursor(QTextCursor::End);
    panels.pnlRTF->show();
}

QString realLocation(const QString& windowsPath)
{
    const auto host = platform::resolve(windowsPath);
    return host ? QDir::toNativeSeparators(*host) : QString();
}

// Tells where the file the print panel names lies on this computer, read
// when the tip is asked for, so it follows whoever filled the labels.
class RealLocationTip : public QObject {
public:
    RealLocationTip(const PrintPanels& panels, QObject* parent)
        : QObject(parent)
        , m_path(panels.lblPath)
        , m_file(panels.lblFilename1)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), tip(), qobject_cast<QWidget*>(watched));
        return true;
    }

    QString tip() const
    {
        const QString host = realLocation(m_path->text() + m_file->text());
        if (host.isEmpty())
            return QStringLiteral("This drive is not set up on this computer.");
        return QStringLiteral("On this computer: %1").arg(host);
    }

private:
    QLabel* m_path;
    QLabel* m_file;
};

QString safeFileName(QString name)
{
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            c = QLatin1Char('-');
    }
    name = name.trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    return name.isEmpty() ? QStringLiteral("Description") : name;
}

void tell(QMessageBox::Icon icon, const QString& text)
{
    platform::messageBox({ icon, platform::applicationTitle(), text, QMessageBox::Ok });
}

// Extra room below the print panel's OK for the line with the real place.
constexpr int kRealPathRoom = 22;
const char* const kRealPathName = "edRealPath";

// A web page for any browser: titled with the place, in the reader's own
// font rather than the tiny one the panel shows it in.
QByteArray webPage(const QTextDocument* document)
{
    const std::unique_ptr<QTextDocument> copy(document->clone());
    // Written out as it is stored: the name's own "&" or "<" must not be markup.
    copy->setMetaInformation(QTextDocument::DocumentTitle, document->firstBlock().text().toHtmlEscaped());
    QString html = copy->toHtml();
    static const QRegularExpression bodyStyle(QStringLiteral("<body style=\"[^\"]*\">"));
    html.replace(bodyStyle, QStringLiteral("<body>"));
    return html.toUtf8();
}

} // namespace

std::optional<PrintInfo> printInfoFor(const QString& view, const std::optional<QString>& shownPicture,
    const QString& mapFile, const QString& programPath, const QString& graphicsPath)
{
    if (view == QLatin1String("Notes")) {
        if (!shownPicture)
            return std::nullopt;
        return PrintInfo { QStringLiteral("to Print this Picture :"), kPictureHow,
            programPath + QStringLiteral("Pix\\"), *shownPicture };
    }
    if (view == QLatin1String("Abbrev")) {
        return PrintInfo { QStringLiteral("to Print the Table of Abbreviations :"),
            QStringLiteral("The Table of Abbreviations is stored in the Path and Filename shown below. "
                           "Open this file in your favorite word-processor program, and you may edit "
                           "and print it as you like. If you have no such program, your Windows "
                           "WordPad accessory can be used."),
            programPath + QStringLiteral("Reports\\"), QStringLiteral("ABBREV.RTF") };
    }
    if (view == QLatin1String("Atlas")) {
        return PrintInfo { QStringLiteral("to Print this Map :"),
            kPictureHow + QStringLiteral(" See Help for detailed instructions."),
            graphicsPath + QStringLiteral("Maps\\"), mapFile };
    }
    return std::nullopt;
}

NotesControls notesControlsOf(QWidget* notesWindow)
{
    if (!notesWindow)
        return {};
    return { notesWindow->findChild<QWidget*>(QStringLiteral("pnlPictures")),
        notesWindow->findChild<QWidget*>(QStringLiteral("pnlIfAdd")),
        notesWindow->findChild<QLabel*>(QStringLiteral("lblFile")),
        notesWindow->findChild<QWidget*>(QStringLiteral("dbmemoDescrip")),
        notesWindow->findChild<QWidget*>(QStringLiteral("btnAddPlace")) };
}

std::optional<QString> shownPictureFile(const NotesControls& notes)
{
    if (!notes.pnlPictures || notes.pnlPictures->isHidden())
        return std::nullopt;
    if (notes.pnlIfAdd && !notes.pnlIfAdd->isHidden())
        return std::nullopt;
    return notes.lblFile ? notes.lblFile->text() : vPixFileName + vPixType;
}

QString mapFileOf(QWidget* atlasWindow)
{
    const QLabel* label = atlasWindow ? atlasWindow->findChild<QLabel*>(QStringLiteral("Label1")) : nullptr;
    return label ? label->text() : vMapId + QStringLiteral(".JPG");
}

void showPrintInfo(const PrintPanels& panels, const PrintInfo& info)
{
    panels.pnlPrint->show();
    panels.lblWhatPrint->setText(info.whatPrint);
    panels.lblHowPrint->setText(info.howPrint);
    panels.lblPath->setText(info.path);
    panels.lblFilename1->setText(info.fileName);
    if (auto* real = panels.pnlPrint->findChild<QLineEdit*>(QLatin1String(kRealPathName))) {
        // The folder: the file's name is on the line above, and a long
        // folder still shows its start.
        const QString host = realLocation(info.path);
        real->setText(host.isEmpty() ? QStringLiteral("This drive is not set up on this computer.")
                                     : QStringLiteral("On this computer: %1").arg(host));
        real->setToolTip(real->text());
        real->setCursorPosition(0);
    }
}

QString withRealLocation(const QString& windowsPath)
{
    const QString host = realLocation(windowsPath);
    return host.isEmpty() ? windowsPath : QStringLiteral("%1 (on this computer: %2)").arg(windowsPath, host);
}

QList<ExportPicture> picturesOfPlace(platform::Table* pix, int placeId)
{
    pix->setIndexName(QString());
    const int placeField = pix->fieldIndex(QStringLiteral("Placeid"));
    const int nameField = pix->fieldIndex(QStringLiteral("Filename"));
    const int typeField = pix->fieldIndex(QStringLiteral("Type"));
    const int captionField = pix->fieldIndex(QStringLiteral("Caption"));
    QList<ExportPicture> pictures;
    for (int row = 0; row < pix->rowCount(); ++row) {
        const QString name = pix->valueAt(row, nameField).toString();
        if (name.isEmpty() || pix->valueAt(row, placeField).toInt() != placeId)
            continue; // a picture being added has no file yet
        pictures << ExportPicture { name + pix->valueAt(row, typeField).toString(),
            pix->valueAt(row, captionField).toString() };
    }
    return pictures;
}

QString composeDescriptionExport(QTextDocument* document, const QString& placeName,
    const QString& description, const QList<ExportPicture>& pictures)
{
    document->clear();
    QTextCursor cursor(document);
    QString last;
    const auto append = [&](const QString& piece) {
        cursor.insertText(piece);
        last = piece;
    };
    append(paragraphs(placeName) + QStringLiteral("\n\n") + paragraphs(description));
    for (const ExportPicture& picture : pictures) {
        append(
            QStringLiteral("\n\nAssociated graphics file in Corvane3\\Pix directory:  ") + picture.fileName);
        append(QStringLiteral("\n     ") + paragraphs(picture.caption));
    }
    if (pictures.isEmpty())
        append(QStringLiteral("\n\nNo associated graphics on file for this place."));
    return last;
}

void printAction(const PrintPanels& panels, const NotesControls& notes, const QString& mapFile)
{
    const bool notesView = vCurrentView == QLatin1String("Notes");
    const std::optional<QString> picture = notesView ? shownPictureFile(notes) : std::nullopt;
    if (const auto info = printInfoFor(vCurrentView, picture, mapFile, vProgramPath, vGraphicsPath))
        showPrintInfo(panels, *info);
    else if (notesView)
        exportDescription(panels, notes);
}

void closeDescriptionExport(const PrintPanels& panels, const NotesControls& notes)
{
    panels.pnlRTF->hide();
    if (notes.btnAddPlace && notes.btnAddPlace->isVisible())
        notes.btnAddPlace->setFocus(Qt::OtherFocusReason);
}

bool saveDescriptionExport(QWidget* parent, const QTextDocument* document)
{
    const QString name = safeFileName(document->firstBlock().text());
    const auto chosen = platform::saveFileDialog(parent, QStringLiteral("Save the description"),
        name + QStringLiteral(".odt"),
        { QStringLiteral("ODF text document (*.odt)"), QStringLiteral("Web page (*.html *.htm)") });
    if (!chosen)
        return false;
    QString path = platform::resolve(*chosen).value_or(QString());
    if (path.isEmpty()) {
        tell(QMessageBox::Warning,
            QStringLiteral("Cannot save as \"%1\": the drive does not exist.").arg(*chosen));
        return false;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool web = suffix == QLatin1String("html") || suffix == QLatin1String("htm");
    if (!web && suffix != QLatin1String("odt"))
        path += QStringLiteral(".odt");
    // Composed in memory first: the ODF writer closes its device, which a
    // QSaveFile must not be before it commits.
    QBuffer composed;
    composed.open(QIODevice::WriteOnly);
    QTextDocumentWriter writer(&composed, QByteArrayLiteral("odf"));
    const bool ready = web ? composed.write(webPage(document)) >= 0 : writer.write(document);
    QSaveFile file(path);
    const bool written = ready && file.open(QIODevice::WriteOnly)
        && file.write(composed.data()) == composed.data().size() && file.commit();
    if (!written) {
        tell(QMessageBox::Warning,
            QStringLiteral("The description could not be saved as \"%1\": %2")
                .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return written;
}

void openPrintedFile(const PrintPanels& panels)
{
    const QString target = panels.lblPath->text() + panels.lblFilename1->text();
    if (!platform::fileExists(target)) {
        const auto host = platform::resolve(target);
        tell(QMessageBox::Warning,
            QStringLiteral("The file %1 is not there%2.")
                .arg(target,
                    host ? QStringLiteral(" (on this computer: %1)").arg(QDir::toNativeSeparators(*host))
                         : QStringLiteral(": its drive is not set up on this computer")));
        return;
    }
    vShellTarget = target;
    if (!platform::shellOpen(target))
        tell(QMessageBox::Warning,
            QStringLiteral("The desktop has no program to open %1.").arg(withRealLocation(target)));
}

ExportButtons addExportButtons(const PrintPanels& panels)
{
    ExportButtons buttons;
    buttons.btnRTFSave = new QPushButton(QStringLiteral("Save..."), panels.pnlRTF);
    buttons.btnRTFSave->setObjectName(QStringLiteral("btnRTFSave"));
    buttons.btnRTFSave->setGeometry(232, 184, 60, 25);
    buttons.btnRTFSave->setToolTip(
        QStringLiteral("Click to save this text as a file for your word-processor."));
    buttons.btnPrintOpen = new QPushButton(QStringLiteral("Open"), panels.pnlPrint);
    buttons.btnPrintOpen->setObjectName(QStringLiteral("btnPrintOpen"));
    buttons.btnPrintOpen->setGeometry(303, 123, 66, 23);
    buttons.btnPrintOpen->setToolTip(
        QStringLiteral("Click to open this file with your desktop's own program."));
    // Where a user who has just exported one description looks for all of them.
    buttons.btnRTFReport = new QPushButton(QStringLiteral("Report..."), panels.pnlRTF);
    buttons.btnRTFReport->setObjectName(QStringLiteral("btnRTFReport"));
    buttons.btnRTFReport->setGeometry(300, 184, 70, 25);
    buttons.btnRTFReport->setToolTip(
        QStringLiteral("Click to make all your places, with their maps and pictures, into one document."));
    QObject::connect(buttons.btnRTFReport, &QPushButton::clicked, panels.pnlRTF,
        [window = panels.pnlRTF->window()] { platform::guarded([&] { showReportDialog(window); }); });
    for (QPushButton* button : { buttons.btnRTFSave, buttons.btnRTFReport, buttons.btnPrintOpen }) {
        QFont bold = button->font();
        bold.setBold(true);
        button->setFont(bold);
        button->setFocusPolicy(Qt::TabFocus); // hiding the panel must not hand the focus on
    }
    // The real place as text that can be selected and copied, below the
    // designed controls: the panel grows by that line.
    buttons.edRealPath = new QLineEdit(panels.pnlPrint);
    buttons.edRealPath->setObjectName(QLatin1String(kRealPathName));
    buttons.edRealPath->setReadOnly(true);
    buttons.edRealPath->setFrame(false);
    buttons.edRealPath->setFocusPolicy(Qt::ClickFocus);
    QPalette flat = buttons.edRealPath->palette();
    flat.setColor(QPalette::Base, flat.color(QPalette::Window));
    buttons.edRealPath->setPalette(flat);
    buttons.edRealPath->setGeometry(21, panels.pnlPrint->height() - 8, 348, 18);
    panels.pnlPrint->resize(panels.pnlPrint->width(), panels.pnlPrint->height() + kRealPathRoom);
    auto* tip = new RealLocationTip(panels, panels.pnlPrint);
    panels.lblPath->installEventFilter(tip);
    panels.lblFilename1->installEventFilter(tip);
    return buttons;
}

} // namespace corvane
