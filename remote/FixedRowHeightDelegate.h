#pragma once
// Gives every entry of a list the same height in pixels, whatever the style
// would choose: the address field's drop-down list has 16-pixel entries.

#include <QStyledItemDelegate>

namespace relvane::remote {

class FixedRowHeightDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    FixedRowHeightDelegate(int rowHeight, QObject* parent) : QStyledItemDelegate(parent), RowHeight(rowHeight) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const int RowHeight;
};

}  // namespace relvane::remote
