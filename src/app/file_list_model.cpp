#include "app/file_list_model.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/context.h"
#include "engine/list_commands.h"
#include "filelist/move_entries.h"

namespace j3 {
namespace {

// Dragged ids name rows of one list only: the drag says whose they are, so
// ids from another J3 window or program are never taken for this list's.
QByteArray drag_owner(const FileListModel* model) {
    return QByteArray::number(QCoreApplication::applicationPid()) + '/' +
           QByteArray::number(quintptr(model)) + ':';
}

// What the view shows of entry e in column and role.
QVariant cell(FileEntry& e, int column, int role) {
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case FileListModel::kFileColumn:
                    return QString::fromStdString(e.file);
                case FileListModel::kSizeColumn:
                    return QString::fromStdString(size_text(int64_t(e.data.size())));
                case FileListModel::kTypeColumn:
                    return QString::fromStdString(std::string(entry_type_tag(e)));
            }
            return {};
        case Qt::ToolTipRole:
            if (column == FileListModel::kFileColumn) return QString::fromStdString(e.file);
            if (column == FileListModel::kSizeColumn)
                return QStringLiteral("%1 bytes").arg(e.data.size());
            return {};
        case Qt::TextAlignmentRole:
            if (column == FileListModel::kSizeColumn) return int(Qt::AlignRight | Qt::AlignVCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

}  // namespace

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
    const uint32_t id = uint32_t(index.row()) + 1;
    // A row beyond the entries (the list is being rebuilt) shows nothing.
    std::optional<FileEntry> e = ctx_.files.entry(id);
    if (!e) return {};
    // The type tag reads the item's bytes (a large file's pages too): worked
    // out on the copy, outside the list's lock, which a send waits for when
    // it loads its next item; then kept in the entry, unless its bytes were
    // replaced meanwhile.
    if (index.column() == kTypeColumn && role == Qt::DisplayRole && !e->type_tag_valid) {
        entry_type_tag(*e);
        ctx_.files.with_entry(id, [&](FileEntry& kept) {
            if (kept.type_tag_valid || kept.data.data() != e->data.data()) return;
            kept.type_tag = e->type_tag;
            kept.type_tag_valid = true;
        });
    }
    return cell(*e, index.column(), role);
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
    // The space below the rows takes drops too (they land at the end).
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren |
           Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

bool FileListModel::setData(const QModelIndex&, const QVariant&, int) {
    return false;
}

QStringList FileListModel::mimeTypes() const {
    return {QString::fromLatin1(kItemIdsMimeType), QStringLiteral("text/uri-list")};
}

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;
    for (const QModelIndex& i : indexes) {
        if (i.isValid()) rows.push_back(i.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QByteArray ids = drag_owner(this);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) ids += ',';
        ids += QByteArray::number(rows[i] + 1);
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kItemIdsMimeType), ids);
    return data;
}

Qt::DropActions FileListModel::supportedDropActions() const {
    // A file manager offers its files for copying; rows are moved.
    return Qt::MoveAction | Qt::CopyAction;
}

Qt::DropActions FileListModel::supportedDragActions() const {
    return Qt::MoveAction;
}

bool FileListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                    const QModelIndex&) const {
    if (!data || list_in_use(ctx_)) return false;
    return data->hasFormat(QString::fromLatin1(kItemIdsMimeType)) || data->hasUrls();
}

bool FileListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    if (data->hasFormat(QString::fromLatin1(kItemIdsMimeType))) return drop_rows(data, row, parent);
    return drop_files(data);
}

bool FileListModel::drop_rows(const QMimeData* data, int row, const QModelIndex& parent) {
    const QByteArray owner = drag_owner(this);
    const QByteArray dragged = data->data(QString::fromLatin1(kItemIdsMimeType));
    if (!dragged.startsWith(owner)) return false;
    const size_t count = ctx_.files.size();
    std::vector<uint32_t> ids;
    for (const QByteArray& part : dragged.mid(owner.size()).split(',')) {
        bool ok = false;
        const uint id = part.toUInt(&ok);
        // The list changed under the drag: nothing is moved.
        if (!ok || id == 0 || id > count) return false;
        ids.push_back(uint32_t(id));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    size_t gap = count;
    if (parent.isValid()) {
        gap = gap_for_drop_on(uint32_t(parent.row()) + 1, ids.front(), count);
    } else if (row >= 0) {
        gap = std::min(size_t(row), count);
    }
    emit layoutAboutToBeChanged();
    const std::vector<size_t> moved_to = move_entries(ctx_.files, ids, gap);
    // Persistent indexes, the selection's among them, follow their entries.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    for (const QModelIndex& i : from) {
        to.append(size_t(i.row()) < moved_to.size()
                      ? index(int(moved_to[size_t(i.row())]), i.column())
                      : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged();
    return true;
}

bool FileListModel::drop_files(const QMimeData* data) {
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.emplace_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    const FilesTaken taken = take_files(ctx_, paths, FilesFrom::kDrop, may_replace_);
    if (!taken.problems.empty()) {
        QStringList problems;
        for (const std::string& p : taken.problems) problems << QString::fromStdString(p);
        emit drop_problems(problems);
    }
    // A list file ends the drop, reported as refused.
    return !taken.ended_at_list;
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
