#include "app/path_elision.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

namespace j3 {

QString elide_path(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return metrics.elidedText(path, Qt::ElideMiddle, width);
    const QString name = path.mid(slash);  // with its slash
    const int name_width = metrics.horizontalAdvance(name);
    const QString ellipsis(QChar(0x2026));
    if (name_width + metrics.horizontalAdvance(ellipsis) > width) {
        return metrics.elidedText(path.mid(slash + 1), Qt::ElideMiddle, width);
    }
    QString folder = metrics.elidedText(path.left(slash), Qt::ElideMiddle, width - name_width);
    if (folder.isEmpty()) folder = ellipsis;
    return folder + name;
}

void PathElisionDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
    // The style draws the text inside the cell less its focus margins.
    const int margin =
        style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    option->text = elide_path(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
}

}  // namespace j3
