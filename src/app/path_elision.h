// Paths in the list's name column: shortened in the middle of the folder
// part, so the file name stays whole wherever it fits.
#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

namespace j3 {

// path as it fits into width pixels: whole when it fits; otherwise the folder
// part elided in its middle before the whole file name; when the file name
// alone is too wide, the file name elided in its middle.
QString elide_path(const QString& path, const QFontMetrics& metrics, int width);

// Draws the name column's paths through elide_path; the full path stays in
// the tooltip.
class PathElisionDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace j3
