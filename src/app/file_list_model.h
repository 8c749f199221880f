// The main window's file list (control 8): one row per entry of the FileList,
// in its order; row n (from 0) is item id n + 1. The model holds no data of
// its own: every cell is read from the entry when the view draws it.
//
// Drag and drop: rows dragged within the list carry their item ids (as they
// were when the drag started) under kItemIdsMimeType and are moved to the
// drop position; files dropped from a file manager (text/uri-list) are added,
// and a dropped list file opens the list. Drops are refused while the list is
// in use by a send.
// GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <string>

#include "engine/list_commands.h"

namespace j3 {

struct Context;

// The type of the rows dragged within the list: their item ids, as decimal
// text separated by commas.
inline constexpr char kItemIdsMimeType[] = "application/x-j3-item-ids";

// The SIZE column's text: "%d" up to 1023 bytes, else "%dk" of whole KiB.
std::string size_text(int64_t bytes);

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kFileColumn = 0, kSizeColumn = 1, kTypeColumn = 2, kColumnCount = 3 };

    explicit FileListModel(Context& ctx, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Cells cannot be edited.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    // Dragged rows dropped onto a row land before it when they come from
    // below and after it when they come from above; dropped between rows they
    // land there, and below the last row at the end. Files are appended in
    // drop order. false (refused) while a send runs, and when a dropped list
    // file was opened, which ends the drop.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The list view's items: ids are added at the end and removed all at once.
    void add_item(uint32_t id);
    void remove_all();
    // Every cell is read again (names, sizes or types changed in place).
    void refresh();
    // Asked before a dropped list file replaces entries that were never
    // saved (load_file_list's may_replace).
    void set_replace_check(ReplaceCheck check) { may_replace_ = std::move(check); }

  signals:
    // What a drop could not take, in words for the user.
    void drop_problems(const QStringList& problems);

  private:
    bool drop_rows(const QMimeData* data, int row, const QModelIndex& parent);
    bool drop_files(const QMimeData* data);

    Context& ctx_;
    int rows_ = 0;
    ReplaceCheck may_replace_;
};

}  // namespace j3
