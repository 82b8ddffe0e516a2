#include "remote/FixedRowHeightDelegate.h"

namespace relvane::remote {

QSize FixedRowHeightDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return {QStyledItemDelegate::sizeHint(option, index).width(), RowHeight};
}

}  // namespace relvane::remote
