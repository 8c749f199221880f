#include "app/file_list_model.h"

#include "app/app_hooks.h"
#include "engine/context.h"

namespace j3 {

std::string size_text(int64_t bytes) {
    if (bytes <= 1023) return std::to_string(bytes);
    return std::to_string(bytes / 1024) + "k";
}

FileListModel::FileListModel(Context& ctx, QObject* parent)
    : QAbstractTableModel(parent), ctx_(ctx) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const size_t id = size_t(index.row()) + 1;
    // A row beyond the entries (the list is being rebuilt) shows nothing.
    if (id > ctx_.files.file_array.size()) return {};
    FileEntry& e = ctx_.files.file_array[id - 1];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case kFileColumn:
                    return QString::fromStdString(e.file);
                case kSizeColumn:
                    return QString::fromStdString(size_text(int64_t(e.data.size())));
                case kTypeColumn:
                    return QString::fromStdString(type_tag_text(ctx_, e));
            }
            return {};
        case Qt::ToolTipRole:
            if (index.column() == kFileColumn) return QString::fromStdString(e.file);
            if (index.column() == kSizeColumn) return QStringLiteral("%1 bytes").arg(e.data.size());
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == kSizeColumn) return int(Qt::AlignRight | Qt::AlignVCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
            case kFileColumn:
                return tr("File");
            case kSizeColumn:
                return tr("Size");
            case kTypeColumn:
                return tr("Type");
        }
    }
    if (role == Qt::TextAlignmentRole) {
        return int((section == kSizeColumn ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

bool FileListModel::setData(const QModelIndex&, const QVariant&, int) {
    return false;
}

void FileListModel::add_item(uint32_t id) {
    // Ids are always 1 .. count; an id past the end extends the rows to it.
    if (int(id) <= rows_) return;
    beginInsertRows({}, rows_, int(id) - 1);
    rows_ = int(id);
    endInsertRows();
}

void FileListModel::remove_all() {
    beginResetModel();
    rows_ = 0;
    endResetModel();
}

void FileListModel::refresh() {
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kColumnCount - 1));
}

}  // namespace j3
