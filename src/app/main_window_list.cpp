// The main window's list: the view of the entries, its selection, drops
// from a file manager, and the question asked before unsaved entries go.
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMessageBox>

#include <algorithm>
#include <optional>

#include "app/file_list_model.h"
#include "app/item_views.h"
#include "app/main_window.h"
#include "app/path_elision.h"
#include "base/thread_role.h"
#include "engine/context.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "receive/midi_read.h"
#include "receive/received_entry.h"
#include "receive/reception.h"
#include "ui_main_window.h"

namespace j3 {
namespace {

// The name column is the window's frame width less this (the other columns,
// the scroll bar and the margins).
constexpr int kNameColumnMargin = 245;
constexpr int kSizeColumnWidth = 72;

}  // namespace

void MainWindow::set_up_list() {
    model_ = new FileListModel(ctx_, this);
    model_->set_replace_check([this] {
        return entries_settled(unsaved_entry_ids(ctx_.files),
                               tr("Save them before the list is replaced?"));
    });
    QTableView* list = ui_->fileList;
    list->setModel(model_);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->horizontalHeader()->setMinimumSectionSize(24);
    list->setColumnWidth(FileListModel::kSizeColumn, kSizeColumnWidth);
    list->setItemDelegateForColumn(FileListModel::kFileColumn, new PathElisionDelegate(list));
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::selection_changed);
    // Rows are reordered by dragging them; files come in from a file manager.
    list->setDragEnabled(true);
    list->setAcceptDrops(true);
    list->setDragDropMode(QAbstractItemView::DragDrop);
    list->setDefaultDropAction(Qt::MoveAction);
    list->setDragDropOverwriteMode(false);
    list->setDropIndicatorShown(true);
    list->viewport()->installEventFilter(this);
    connect(model_, &FileListModel::drop_problems, this, [this](const QStringList& problems) {
        show_problems(problems, problems.size() == 1 ? tr("A dropped file was not added.")
                                                     : tr("Some dropped files were not added."));
    });
    // Rebuilding the list drops the selection without a selection signal.
    connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::selection_state_changed);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::selection_state_changed);
}

bool MainWindow::received_data_settled() {
    if (quit_confirmed_) return true;
    // Entries the input thread has handed over are in the list first.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    const int count = unsaved_item_count(ctx_);
    if (count == 0) return quit_confirmed_ = true;

    const int answer = ask_unsaved(count, tr("Save them before quitting?"));
    if (answer == QMessageBox::Discard) return quit_confirmed_ = true;
    if (answer != QMessageBox::Save) return false;

    // Save: what is still being received becomes an entry, then every
    // unsaved entry gets its dialog.
    stop_receiving(ctx_);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QItemSelectionModel* selection = ui_->fileList->selectionModel();
    selection->clearSelection();
    for (uint32_t id : unsaved_entry_ids(ctx_.files)) list_select_item(id);
    if (refresh_selection(ctx_) >= 1) save_selected();
    if (unsaved_item_count(ctx_) > 0) return false;
    return quit_confirmed_ = true;
}

int MainWindow::ask_unsaved(int count, const QString& question) {
    if (unsaved_prompt_) return unsaved_prompt_(count);
    QMessageBox box(QMessageBox::Warning, tr("J3"),
                    count == 1 ? tr("An item has not been saved.")
                               : tr("%1 items have not been saved.").arg(count),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(question);
    box.setDefaultButton(QMessageBox::Save);
    return box.exec();
}

bool MainWindow::entries_settled(const std::vector<uint32_t>& ids, const QString& question) {
    // Entries the input thread has handed over are in the list first.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    auto unsaved_among = [this, &ids] {
        std::vector<uint32_t> unsaved;
        for (const uint32_t id : ids)
            if (const std::optional<FileEntry> e = ctx_.files.entry(id); e && e->unsaved)
                unsaved.push_back(id);
        return unsaved;
    };
    const std::vector<uint32_t> unsaved = unsaved_among();
    if (unsaved.empty()) return true;
    const int answer = ask_unsaved(int(unsaved.size()), question);
    if (answer == QMessageBox::Discard) return true;
    if (answer != QMessageBox::Save) return false;

    // Save: each unsaved entry gets its dialog; the selection is the user's
    // again afterwards.
    const std::vector<uint32_t> selected = list_selected_ids();
    QItemSelectionModel* selection = ui_->fileList->selectionModel();
    selection->clearSelection();
    for (const uint32_t id : unsaved) list_select_item(id);
    if (refresh_selection(ctx_) >= 1) save_selected();
    selection->clearSelection();
    for (const uint32_t id : selected) list_select_item(id);
    refresh_selection(ctx_);
    return unsaved_among().empty();
}

void MainWindow::selection_changed(const QItemSelection& selected, const QItemSelection&) {
    // Each newly selected row is reported; the last one's info stays shown.
    int last_row = -1;
    for (const QModelIndex& index : selected.indexes()) last_row = std::max(last_row, index.row());
    if (last_row >= 0) {
        show_item_info(ctx_, uint32_t(last_row) + 1, kItemSelectedNotification);
        show_item_views(uint32_t(last_row) + 1);
    }
    selection_state_changed();
}

void MainWindow::selection_state_changed() {
    if (!ui_->fileList->selectionModel()->hasSelection()) {
        // Queued behind what an earlier selection asked for, so that cannot
        // come back after it.
        enable_loop_button(false);
        enable_stereo_button(false);
        enable_waveform_button(false);
        set_info_text("");
        item_views_->clear();
        shown_data_ = nullptr;
    }
    apply_control_state();
}

void MainWindow::apply_control_state() {
    const bool selection = ui_->fileList->selectionModel()->hasSelection();
    ui_->loopButton->setEnabled(loop_allowed_);
    ui_->loopAction->setEnabled(loop_allowed_);
    ui_->stereoButton->setEnabled(stereo_allowed_);
    ui_->stereoAction->setEnabled(stereo_allowed_);
    ui_->waveformButton->setEnabled(waveform_allowed_);
    ui_->waveformAction->setEnabled(waveform_allowed_);
    // Erase is refused while a send runs (the send reads the entries).
    ui_->eraseAction->setEnabled(selection && !sending_);
    ui_->sendAction->setText(sending_ ? tr("&Stop!") : tr("&Send"));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Dropped files are appended whatever the drop position: the line that
    // shows where rows land is shown for rows dragged within the list only.
    if (watched == ui_->fileList->viewport() && event->type() == QEvent::DragEnter) {
        const auto* drag = static_cast<QDragEnterEvent*>(event);
        ui_->fileList->setDropIndicatorShown(drag->source() == ui_->fileList);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const int16_t width = int16_t(frameGeometry().width() - kNameColumnMargin);
    ui_->fileList->setColumnWidth(FileListModel::kFileColumn, std::max<int>(width, 40));
}

// --- List view -------------------------------------------------------------------

void MainWindow::list_add_item(uint32_t id) {
    expect_main_thread("list_add_item");
    model_->add_item(id);
}

void MainWindow::list_remove_all() {
    expect_main_thread("list_remove_all");
    // The entries shown may be gone.
    item_views_->clear();
    shown_data_ = nullptr;
    model_->remove_all();
}

std::vector<uint32_t> MainWindow::list_selected_ids() const {
    std::vector<uint32_t> ids;
    for (const QModelIndex& index : ui_->fileList->selectionModel()->selectedRows()) {
        ids.push_back(uint32_t(index.row()) + 1);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

void MainWindow::list_select_item(uint32_t id) {
    const QModelIndex index = model_->index(int(id) - 1, 0);
    if (!index.isValid()) return;
    ui_->fileList->selectionModel()->select(
        index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ui_->fileList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void MainWindow::list_reveal_item(uint32_t id) {
    const QModelIndex index = model_->index(int(id) - 1, 0);
    if (index.isValid()) ui_->fileList->scrollTo(index);
}

void MainWindow::list_update() {
    model_->refresh();
    // An entry's buffer may have been replaced (the waveform command): the
    // views show the last selected row again, from its current buffer.
    item_views_->clear();
    shown_data_ = nullptr;
    const QModelIndex current = ui_->fileList->selectionModel()->currentIndex();
    if (current.isValid()) show_item_views(uint32_t(current.row()) + 1);
}

}  // namespace j3
