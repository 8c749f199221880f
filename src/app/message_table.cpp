#include "app/message_table.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QPalette>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "format/sysex_split.h"

namespace j3 {
namespace {

QString hex_byte(uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

QColor error_colour(const QPalette& palette) {
    // Red that stays readable on light and dark bases alike.
    return palette.base().color().lightness() < 128 ? QColor(255, 110, 100) : QColor(200, 20, 20);
}

// --- MessageTableModel ----------------------------------------------------------

void MessageTableModel::set_buffer(const uint8_t* data, size_t size) {
    if (data == data_ && size == size_ && data_ != nullptr) return;
    beginResetModel();
    data_ = data;
    size_ = size;
    spans_ = index_messages(data, size);
    described_row_ = -1;
    endResetModel();
}

void MessageTableModel::clear() {
    beginResetModel();
    data_ = nullptr;
    size_ = 0;
    spans_.clear();
    spans_.shrink_to_fit();
    described_row_ = -1;
    endResetModel();
}

int MessageTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(std::min<size_t>(spans_.size(), size_t(INT32_MAX)));
}

int MessageTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

const MessageFacts& MessageTableModel::facts(int row) const {
    if (row != described_row_) {
        described_ = describe_message(data_, size_, spans_[size_t(row)]);
        described_row_ = row;
    }
    return described_;
}

QVariant MessageTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const MessageSpan& span = spans_[size_t(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case kOffset:
                return qulonglong(span.offset);
            case kLength:
                return qulonglong(span.length);
            case kMaker: {
                const MessageFacts& f = facts(index.row());
                QString text = QString::fromStdString(f.maker);
                if (!f.maker_name.empty()) {
                    text += QStringLiteral("  ") +
                            QString::fromUtf8(f.maker_name.data(), qsizetype(f.maker_name.size()));
                }
                return text;
            }
            case kFamily: {
                const MessageFacts& f = facts(index.row());
                return QString::fromUtf8(f.family.data(), qsizetype(f.family.size()));
            }
            case kKind:
                return QString::fromStdString(facts(index.row()).kind);
            case kCheck: {
                const std::string_view word = check_word(facts(index.row()).check);
                return QString::fromUtf8(word.data(), qsizetype(word.size()));
            }
        }
        return {};
    }
    if (role == Qt::ForegroundRole && facts(index.row()).check == MessageCheck::kBad) {
        return error_colour(QPalette());
    }
    if (role == Qt::TextAlignmentRole && (index.column() == kOffset || index.column() == kLength)) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant MessageTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case kOffset:
            return tr("Offset");
        case kLength:
            return tr("Length");
        case kMaker:
            return tr("Maker");
        case kFamily:
            return tr("Family");
        case kKind:
            return tr("Kind");
        case kCheck:
            return tr("Checksum");
    }
    return {};
}

// --- HexModel ---------------------------------------------------------------------

void HexModel::set_message(const uint8_t* data, uint32_t offset, uint32_t length) {
    beginResetModel();
    bytes_ = data ? data + offset : nullptr;
    offset_ = offset;
    length_ = data ? length : 0;
    endResetModel();
}

void HexModel::clear() {
    set_message(nullptr, 0, 0);
}

int HexModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int((uint64_t(length_) + kBytesPerRow - 1) / kBytesPerRow);
}

int HexModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kBytesPerRow + 1;
}

QVariant HexModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || bytes_ == nullptr) return {};
    const uint64_t row_start = uint64_t(index.row()) * kBytesPerRow;
    if (index.column() == kAsciiColumn) {
        if (role != Qt::DisplayRole) return {};
        QString text;
        const uint64_t end = std::min<uint64_t>(row_start + kBytesPerRow, length_);
        for (uint64_t i = row_start; i < end; ++i) {
            const uint8_t b = bytes_[i];
            text += (b >= 0x20 && b < 0x7F) ? QChar(b) : QChar('.');
        }
        return text;
    }
    const uint64_t i = row_start + uint64_t(index.column());
    if (i >= length_) return {};
    const uint8_t b = bytes_[i];
    const bool frame = b == kSysexStart || b == kSysexEnd;
    switch (role) {
        case Qt::DisplayRole:
            return hex_byte(b);
        case Qt::BackgroundRole:
            return frame ? QVariant(QPalette().highlight()) : QVariant();
        case Qt::ForegroundRole:
            return frame ? QVariant(QPalette().highlightedText()) : QVariant();
        case Qt::TextAlignmentRole:
            return int(Qt::AlignCenter);
    }
    return {};
}

QVariant HexModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        return section == kAsciiColumn ? tr("ASCII")
                                       : QStringLiteral("%1").arg(section, 0, 16).toUpper();
    }
    return QStringLiteral("%1")
        .arg(uint64_t(offset_) + uint64_t(section) * kBytesPerRow, 8, 16, QLatin1Char('0'))
        .toUpper();
}

// --- MessageView ------------------------------------------------------------------

MessageView::MessageView(QWidget* parent)
    : QWidget(parent),
      table_model_(new MessageTableModel(this)),
      hex_model_(new HexModel(this)),
      table_(new QTableView),
      hex_(new QTableView) {
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(table_);
    splitter->addWidget(hex_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    const int row_height = fontMetrics().height() + 4;
    table_->setModel(table_model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setAlternatingRowColors(true);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(row_height);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setHighlightSections(false);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    table_->setColumnWidth(MessageTableModel::kOffset, 10 * digit);
    table_->setColumnWidth(MessageTableModel::kLength, 8 * digit);
    table_->setColumnWidth(MessageTableModel::kMaker, 19 * digit);
    table_->setColumnWidth(MessageTableModel::kFamily, 7 * digit);
    table_->setColumnWidth(MessageTableModel::kKind, 14 * digit);

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    hex_->setModel(hex_model_);
    hex_->setFont(fixed);
    hex_->setShowGrid(false);
    hex_->setWordWrap(false);
    hex_->setSelectionMode(QAbstractItemView::NoSelection);
    hex_->verticalHeader()->setFont(fixed);
    hex_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    hex_->verticalHeader()->setDefaultSectionSize(QFontMetrics(fixed).height() + 2);
    hex_->horizontalHeader()->setMinimumSectionSize(8);
    hex_->horizontalHeader()->setStretchLastSection(true);
    const int cell = QFontMetrics(fixed).horizontalAdvance(QStringLiteral("00")) + 12;
    for (int c = 0; c < HexModel::kBytesPerRow; ++c) hex_->setColumnWidth(c, cell);

    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { row_changed(current); });
}

void MessageView::set_buffer(const uint8_t* bytes, size_t size) {
    const bool same = bytes == table_model_->data() && size == table_model_->size();
    table_model_->set_buffer(bytes, size);
    if (same) return;
    hex_model_->clear();
    if (!table_model_->spans().empty()) table_->selectRow(0);
}

void MessageView::clear() {
    table_model_->clear();
    hex_model_->clear();
}

void MessageView::row_changed(const QModelIndex& current) {
    if (!current.isValid() || size_t(current.row()) >= table_model_->spans().size()) {
        hex_model_->clear();
        return;
    }
    const MessageSpan& span = table_model_->spans()[size_t(current.row())];
    hex_model_->set_message(table_model_->data(), span.offset, span.length);
    emit message_chosen(table_model_->data() + span.offset, span.length);
}

}  // namespace j3
