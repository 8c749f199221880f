// The message table of a SysEx item: one row per message (offset, length,
// maker, family, kind, checksum) and, under it, the bytes of the selected
// message in hex and ASCII, 16 a row, F0 and F7 marked. A message whose
// checksum is wrong shows in an error colour.
//
// The rows come from the core's message index (analysis/message_index.h),
// computed once per buffer; each row is described only when it is drawn, so
// an item of 100 MB opens without waiting for its rows.
//
// GUI thread. The models keep a pointer into the item's buffer: the caller
// shows another buffer or calls clear() before that buffer goes away.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/message_index.h"

class QTableView;

namespace j3 {

class MessageTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kOffset, kLength, kMaker, kFamily, kKind, kCheck, kColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Indexes the buffer unless it is the one already shown.
    void set_buffer(const uint8_t* data, size_t size);
    void clear();

    const std::vector<MessageSpan>& spans() const { return spans_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    std::vector<MessageSpan> spans_;
    // The description of the row drawn last: a row's cells are asked for
    // one after the other.
    mutable int described_row_ = -1;
    mutable MessageFacts described_;
    const MessageFacts& facts(int row) const;
};

// The bytes of one message: 16 hex columns and one of ASCII per row.
class HexModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kBytesPerRow = 16;
    static constexpr int kAsciiColumn = kBytesPerRow;

    using QAbstractTableModel::QAbstractTableModel;

    // The bytes [offset, offset + length) of data; the row headers count
    // from offset, as positions in the item.
    void set_message(const uint8_t* data, uint32_t offset, uint32_t length);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const uint8_t* bytes_ = nullptr;
    uint32_t offset_ = 0;
    uint32_t length_ = 0;
};

// The table over the hex view, in a splitter.
class MessageView : public QWidget {
    Q_OBJECT
  public:
    explicit MessageView(QWidget* parent = nullptr);

    void set_buffer(const uint8_t* bytes, size_t size);
    void clear();

    MessageTableModel* table_model() const { return table_model_; }
    HexModel* hex_model() const { return hex_model_; }
    QTableView* table() const { return table_; }

  signals:
    // A message was chosen in the table (its bytes are data + offset).
    void message_chosen(const uint8_t* message, uint32_t length);

  private:
    void row_changed(const QModelIndex& current);

    MessageTableModel* table_model_;
    HexModel* hex_model_;
    QTableView* table_;
    QTableView* hex_;
};

// The colour of a broken message's row, readable on the palette's base.
QColor error_colour(const QPalette& palette);

}  // namespace j3
