#pragma once
// A found item as two lines, its name and the words around the match with
// the match marked, drawn from a little HTML by a list's delegate.

#include <QStyledItemDelegate>

namespace corvane {

// The item role that holds the HTML markedHtml() made.
inline constexpr int kMarkedTextRole = Qt::UserRole + 20;

// The title on the first line, the context on the second, everything
// escaped; the context's match (between kMatchStart and kMatchEnd) marked.
QString markedHtml(const QString& title, const QString& context);

class MarkedTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace corvane
