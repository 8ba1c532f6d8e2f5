#include "find/marked_text.h"

#include "data/search_index.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTextDocument>

namespace corvane {

namespace {

QString oneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return line.simplified();
}

constexpr int kMargin = 2;
const QString kContextColour = QStringLiteral("#404040");

// Each line stays one line: what does not fit is cut at the right edge.
void layOut(QTextDocument& document, const QStyleOptionViewItem& option, const QString& html)
{
    document.setDefaultFont(option.font);
    document.setDocumentMargin(kMargin);
    QTextOption noWrap;
    noWrap.setWrapMode(QTextOption::NoWrap);
    document.setDefaultTextOption(noWrap);
    document.setHtml(html);
}

} // namespace

QString markedHtml(const QString& title, const QString& context)
{
    QString marked = oneLine(context).toHtmlEscaped();
    marked.replace(QChar(kMatchStart), QStringLiteral("<span style=\"background-color:#ffe27a\"><b>"));
    marked.replace(QChar(kMatchEnd), QStringLiteral("</b></span>"));
    return QStringLiteral("<b>%1</b><br><span style=\"color:%3\">%2</span>")
        .arg(oneLine(title).toHtmlEscaped(), marked, kContextColour);
}

void MarkedTextDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!index.data(kMarkedTextRole).isValid()) {
        // Headings and notes: drawn as text, not greyed out although they
        // cannot be chosen.
        QStyleOptionViewItem plain = option;
        plain.state |= QStyle::State_Enabled;
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
    const bool selected = option.state & QStyle::State_Selected;
    QString html = index.data(kMarkedTextRole).toString();
    if (selected) // the context's grey would not read on the selection's colour
        html.replace(QStringLiteral("color:") + kContextColour, QString());
    QTextDocument document;
    layOut(document, option, html);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(
        QPalette::Text, option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    context.clip = QRectF(QPointF(0, 0), QSizeF(option.rect.size()));
    painter->save();
    painter->setClipRect(option.rect);
    painter->translate(option.rect.topLeft());
    document.documentLayout()->draw(painter, context);
    painter->restore();
}

QSize MarkedTextDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!index.data(kMarkedTextRole).isValid())
        return QStyledItemDelegate::sizeHint(option, index);
    // Two lines, measured without laying the text out: a keystroke's
    // results are shown at once however many there are.
    const int width = option.widget ? option.widget->width() : 320;
    return { width, 2 * QFontMetrics(option.font).lineSpacing() + 2 * kMargin + 2 };
}

} // namespace corvane
