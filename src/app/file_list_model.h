// The main window's file list (control 8): one row per entry of file_array,
// in its order; row n (from 0) is item id n + 1. The model holds no data of
// its own: every cell is read from the entry when the view draws it.
// GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <string>

namespace j3 {

struct Context;

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

    // The list view's items: ids are added at the end and removed all at once.
    void add_item(uint32_t id);
    void remove_all();
    // Every cell is read again (names, sizes or types changed in place).
    void refresh();

  private:
    Context& ctx_;
    int rows_ = 0;
};

}  // namespace j3
