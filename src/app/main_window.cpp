#include "app/main_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include "app/config_window.h"
#include "app/control_lookup.h"
#include "app/digit_field.h"
#include "app/file_list_model.h"
#include "app/item_views.h"
#include "app/path_elision.h"
#include "app/versions.h"
#include "app/window_placement.h"
#include "base/thread_role.h"
#include "engine/context.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "engine/outcomes.h"
#include "engine/preferences.h"
#include "engine/send_loop.h"
#include "engine/turbo.h"
#include "filelist/list_file.h"
#include "receive/midi_read.h"
#include "receive/received_entry.h"
#include "receive/reception.h"
#include "ui_main_window.h"
#include "waveform/fft.h"
#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

// The name column is the window's frame width less this (the other columns,
// the scroll bar and the margins).
constexpr int kNameColumnMargin = 245;
constexpr int kSizeColumnWidth = 72;
constexpr int kStatusIntervalMs = 100;
// At first start the list shows this many rows, and the item views at least
// kItemViewsMinHeight, which they keep however the window or the divider moves.
constexpr int kFirstStartRows = 10;
constexpr int kItemViewsMinHeight = 150;
// How long Turbo waits for the instrument's speed report before saying so.
constexpr int kSpeedReportWaitMs = 1000;

const char* const kOpenFilter =
    "J3 filetypes (*.syx *.wav *.aiff *.aifc *.aif *.j3);;All files (*)";
const char* const kListFilter = "J3 file lists (*.j3)";

const char* const kIndicatorOff =
    "border-radius: 5px; background: palette(mid); border: 1px solid palette(dark);";
const char* const kIndicatorOn =
    "border-radius: 5px; background: #2fbf4a; border: 1px solid #1c7a2e;";

// A button whose title changes keeps the width of its widest title, so the
// row neither jumps nor clips as the titles change.
void fit_titles(QPushButton* button, std::initializer_list<const char*> titles) {
    int width = 0;
    const QString shown = button->text();
    for (const char* title : titles) {
        button->setText(QString::fromUtf8(title));
        width = std::max(width, button->sizeHint().width());
    }
    button->setText(shown);
    button->setMinimumWidth(width);
}

}  // namespace

MainWindow::MainWindow(Context& ctx, std::filesystem::path preferences_file, QWidget* parent)
    : QMainWindow(parent),
      ctx_(ctx),
      preferences_file_(std::move(preferences_file)),
      ui_(std::make_unique<Ui::MainWindow>()) {
    // 1. The window and its menu bar.
    ui_->setupUi(this);
    ctx_.window = this;

    // 2. Handlers: buttons and menu items carry command ids.
    const std::pair<QObject*, uint32_t> commands[] = {
        {ui_->sendButton, kCmdSend},         {ui_->sendAction, kCmdSend},
        {ui_->receiveButton, kCmdReceive},   {ui_->receiveAction, kCmdReceive},
        {ui_->configButton, kCmdConfig},     {ui_->configAction, kCmdConfig},
        {ui_->eraseAction, kCmdErase},       {ui_->loopButton, kCmdLoop},
        {ui_->loopAction, kCmdLoop},         {ui_->stereoButton, kCmdStereo},
        {ui_->stereoAction, kCmdStereo},     {ui_->waveformButton, kCmdWaveform},
        {ui_->waveformAction, kCmdWaveform}, {ui_->openAction, kCmdOpen},
        {ui_->saveAction, kCmdSave},         {ui_->quitAction, kCmdQuit},
        {ui_->turboButton, kCmdTurbo},       {ui_->turboAction, kCmdTurbo},
    };
    for (const auto& [sender, id] : commands) {
        const uint32_t command_code = id;
        if (auto* button = qobject_cast<QAbstractButton*>(sender)) {
            connect(button, &QAbstractButton::clicked, this,
                    [this, command_code] { command(command_code); });
        } else if (auto* action = qobject_cast<QAction*>(sender)) {
            connect(action, &QAction::triggered, this,
                    [this, command_code] { command(command_code); });
        }
    }
    connect(ui_->selectAllAction, &QAction::triggered, ui_->fileList, &QTableView::selectAll);
    connect(ui_->aboutAction, &QAction::triggered, this, &MainWindow::show_about);
    add_request_actions();
    // Esc stops a running send, as Stop! does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (ctx_.send.sending()) command(kCmdSend);
    });

    // 3. The sample-number field: digits only, "0", centred. The engine reads
    // the copy kept beside it.
    make_digit_field(ui_->sampleNumberField);
    ui_->sampleNumberField->setText(QStringLiteral("0"));
    connect(ui_->sampleNumberField, &QLineEdit::textChanged, this,
            [this](const QString& text) { sample_number_ = text_to_int(text.toStdString()); });
    // Return or Enter ends the editing.
    connect(ui_->sampleNumberField, &QLineEdit::returnPressed, ui_->sampleNumberField,
            [this] { ui_->sampleNumberField->clearFocus(); });

    // 4. Speed indicator and the other plain controls.
    ui_->speedIndicator->setStyleSheet(QString::fromUtf8(kIndicatorOff));
    ui_->infoText->setTextFormat(Qt::PlainText);
    ui_->progressBar->setRange(0, 1);

    // 5. The file list.
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

    // Nothing is selected yet: the item buttons wait for an item.
    apply_control_state();
    fit_titles(ui_->sendButton, {"Send", "Stop!"});
    fit_titles(ui_->receiveButton, {"Receive", "Stop!"});
    fit_titles(ui_->loopButton, {"Loop:File", "Loop On", "Loop Off"});
    fit_titles(ui_->stereoButton, {"L + R", "Left", "Right"});
    ui_->itemPane->setMinimumHeight(kItemViewsMinHeight);
    // No control is clipped at the smallest size.
    setMinimumSize(minimumSize().expandedTo(minimumSizeHint()));

    // Beside the info text: the selected item's picture and messages.
    item_views_ = new ItemViews(ui_->itemViewsHolder);
    auto* views_layout = new QVBoxLayout(ui_->itemViewsHolder);
    views_layout->setContentsMargins(0, 0, 0, 0);
    views_layout->addWidget(item_views_);
    ui_->itemSplitter->setStretchFactor(0, 1);
    ui_->itemSplitter->setStretchFactor(1, 1);
    ui_->itemSplitter->setSizes({100, 100});

    status_timer_.setInterval(kStatusIntervalMs);
    connect(&status_timer_, &QTimer::timeout, this, &MainWindow::update_status);
}

MainWindow::~MainWindow() {
    if (ctx_.window == this) ctx_.window = nullptr;
}

bool MainWindow::start(QScreen* screen) {
    // 6. MIDI client, ports and endpoint names.
    scan_midi(*ctx_.midi, ctx_.endpoints, midi_read_proc(ctx_));
    // 7. Settings, chosen endpoints and the stored list.
    LoadNotes notes;
    load_preferences(ctx_, preferences_file_, &notes);
    // 8. The private virtual destination the speed request goes to.
    if (!create_virtual_destination(*ctx_.midi, ctx_.endpoints)) return false;
    // 9. FFT tables for the waveform builder.
    fft_setup(ctx_.fft, kWaveformMaxFrames, kFftAnySize);
    // 10. The instrument's speed, when both endpoints are chosen.
    if (ctx_.settings.selected_out != 0 && ctx_.settings.selected_in != 0)
        request_speed(ctx_, false);
    // 11, 12. Placement and show; a window that was maximised at quit comes
    // back maximised over its normal frame.
    place_window(screen, kDesignedWindowSize);
    const Settings& s = ctx_.settings;
    if (s.window_maximized && s.normal_w > 0 && s.normal_h > 0) {
        showMaximized();
    } else {
        show();
        if (s.window_x < 0 || s.window_y < 0 || s.window_w <= 0 || s.window_h <= 0) {
            // No stored size: now that the list has its laid-out height, as
            // tall as the first rows and the item views need.
            const int row = ui_->fileList->verticalHeader()->defaultSectionSize();
            const int list = ui_->fileList->horizontalHeader()->height() + kFirstStartRows * row +
                             2 * ui_->fileList->frameWidth();
            const int views =
                std::max(kItemViewsMinHeight, ui_->itemPane->minimumSizeHint().height());
            const int more =
                list + ui_->itemSplitter->handleWidth() + views - ui_->itemSplitter->height();
            place_window(screen, frameGeometry().size() + QSize(0, std::max(more, 0)));
            ui_->itemSplitter->setSizes({list, views});
        }
    }
    ui_->fileList->setFocus();
    report_load_notes(notes);
    show_ports();
    // Some window managers report the frame only a moment after the window
    // is shown: the placement is then made again, unless the window has been
    // moved or resized meanwhile (the later checks find nothing to do).
    for (int delay_ms : {0, 100, 300}) {
        QTimer::singleShot(delay_ms, this, [this] {
            if (geometry() == placed_content_ && frame_margins() != placed_margins_) {
                set_frame_bounds(placed_bounds_);
            }
        });
    }
    // 13. The status lines, ten times a second.
    status_timer_.start();
    return true;
}

void MainWindow::place_window(QScreen* screen, QSize first_size) {
    const Settings& s = ctx_.settings;
    // Maximised at quit: the stored bounds are the screen's; the normal
    // frame is kept beside them.
    const bool normal = s.window_maximized && s.normal_w > 0 && s.normal_h > 0;
    const int x = normal ? s.normal_x : s.window_x;
    const int y = normal ? s.normal_y : s.window_y;
    const int w = normal ? s.normal_w : s.window_w;
    const int h = normal ? s.normal_h : s.window_h;
    if (!screen && x >= 0 && y >= 0) {
        // A window stored on a second screen opens there.
        const QSize size(w > 0 ? w : kDesignedWindowSize.width(),
                         h > 0 ? h : kDesignedWindowSize.height());
        screen = QGuiApplication::screenAt(QRect(QPoint(x, y), size).center());
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    set_frame_bounds(place_main_window(x, y, w, h, available, first_size));
}

QMargins MainWindow::frame_margins() {
    // The platform window exists from here on, so its frame is known where
    // the platform can tell it before the window is shown.
    create();
    return windowHandle() ? windowHandle()->frameMargins() : QMargins();
}

void MainWindow::set_frame_bounds(const QRect& bounds) {
    placed_bounds_ = bounds;
    placed_margins_ = frame_margins();
    setGeometry(bounds.marginsRemoved(placed_margins_));
    placed_content_ = geometry();
}

ConfigWindow* MainWindow::config_window() const {
    return config_window_;
}

QWidget* MainWindow::control(int id) const {
    return find_control(this, id);
}

// --- Commands ---------------------------------------------------------------

void MainWindow::command(uint32_t id) {
    switch (id) {
        case kCmdSend:
            send_command();
            break;
        case kCmdReceive:
            receive_command();
            break;
        case kCmdConfig:
            open_config_window();
            break;
        case kCmdErase:
            if (refresh_selection(ctx_) < 1 || list_in_use(ctx_)) break;
            if (!entries_settled(ctx_.files.selected_ids(),
                                 tr("Save them before they are removed?")))
                break;
            remove_selected_entries(ctx_);
            apply_control_state();
            break;
        case kCmdLoop:
            loop_command(false);
            break;
        case kCmdStereo:
            loop_command(true);
            break;
        case kCmdWaveform:
            build_waveform_items(ctx_);
            break;
        case kCmdTurbo: {
            // At standard speed Turbo asks; an instrument that never answers
            // would otherwise leave the user looking at nothing.
            const bool asks = ctx_.send.speed_factor() == 10 &&
                              ctx_.endpoints.destination_endpoint != kNoEndpoint;
            clear_outcome_lines();
            turbo_command(ctx_);
            if (asks) {
                QTimer::singleShot(kSpeedReportWaitMs, this, [this, shown = speed_labels_shown_] {
                    if (speed_labels_shown_ == shown)
                        show_status_message("The instrument did not report its speed.");
                });
            }
            break;
        }
        case kCmdOpen:
            open_command();
            break;
        case kCmdSave:
            if (refresh_selection(ctx_) >= 1) {
                save_selected();
            } else {
                save_list_command();
            }
            break;
        case kCmdQuit:
            if (!received_data_settled() || !save_preferences_now()) break;
            QCoreApplication::quit();
            break;
    }
}

void MainWindow::send_command() {
    if (ctx_.send.sending()) {
        stop_sending(ctx_);
        return;
    }
    if (ctx_.endpoints.destination_count <= 0 || ctx_.settings.selected_out == 0) {
        // A remembered port that is not there is named: sending elsewhere
        // would surprise.
        const std::string& remembered = ctx_.settings.selected_out_name;
        show_condition_message(
            remembered.empty()
                ? tr("No MIDI destination: choose one with Configure…")
                : QString::fromStdString(port_not_connected_text(false, remembered)));
        return;
    }
    // The send starts now, or by itself once the previous send's last
    // request is back from the MIDI service.
    if (refresh_selection(ctx_) >= 1) {
        plan_send_time_left();
        clear_outcome_lines();
        start_sending(ctx_);
        return;
    }
    // Nothing selected: what the open dialog adds is sent at once.
    send_after_open_ = true;
    open_command();
}

void MainWindow::receive_command() {
    if (!ctx_.reception->receiving()) clear_outcome_lines();
    if (toggle_receiving(ctx_)) return;
    ui_->receiveStatus->setText(tr("No MIDI source: choose one with Configure…"));
}

void MainWindow::save_selected() {
    const SavePathChooser choose =
        [this](const std::string& proposed) -> std::optional<std::filesystem::path> {
        const QString name = QString::fromStdString(proposed);
        QString path;
        if (choose_save_path_) {
            path = choose_save_path_(name);
        } else {
            const QString folder = dialog_folder_.isEmpty() ? QDir::currentPath() : dialog_folder_;
            path = QFileDialog::getSaveFileName(this, tr("Save"), QDir(folder).filePath(name));
        }
        if (path.isEmpty()) return std::nullopt;
        dialog_folder_ = QFileInfo(path).absolutePath();
        return std::filesystem::path(path.toStdString());
    };
    const SaveOutcome saved = save_selected_entries(ctx_, choose);
    if (!saved.result.ok) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("J3"), tr("The item was not saved."),
                                    QMessageBox::Ok, this);
        box->setInformativeText(QString::fromStdString(saved.result.message));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
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

void MainWindow::clear_outcome_lines() {
    if (!ctx_.send.sending()) {
        ui_->sendStatus->clear();
        ui_->sendStatus->setToolTip({});
    }
    if (!ctx_.reception->receiving()) ui_->receiveStatus->clear();
}

void MainWindow::open_command() {
    QStringList paths;
    if (choose_files_) {
        paths = choose_files_();
    } else {
        paths = QFileDialog::getOpenFileNames(this, tr("Open"), dialog_folder_,
                                              QString::fromUtf8(kOpenFilter));
    }
    if (!paths.isEmpty()) dialog_folder_ = QFileInfo(paths.front()).absolutePath();
    add_files(paths);
}

void MainWindow::add_files(const QStringList& paths) {
    std::vector<std::filesystem::path> files;
    for (const QString& path : paths) files.emplace_back(QFile::encodeName(path).toStdString());
    const FilesTaken taken = take_files(ctx_, files, FilesFrom::kOpenDialog, [this] {
        return entries_settled(unsaved_entry_ids(ctx_.files),
                               tr("Save them before the list is replaced?"));
    });
    QStringList problems;
    for (const std::string& p : taken.problems) problems << QString::fromStdString(p);
    show_problems(problems, problems.size() == 1 ? tr("A file was not added.")
                                                 : tr("Some files were not added."));
    if (send_after_open_) {
        send_after_open_ = false;
        if (!paths.isEmpty() && refresh_selection(ctx_) >= 1) {
            plan_send_time_left();
            start_sending(ctx_);
        }
    }
}

void MainWindow::save_list_command() {
    const QString folder = dialog_folder_.isEmpty() ? QDir::currentPath() : dialog_folder_;
    const QString proposed =
        folder + '/' + QString::fromUtf8(kListFileName.data(), qsizetype(kListFileName.size()));
    QString path;
    if (choose_list_file_) {
        path = choose_list_file_(proposed);
    } else {
        QFileDialog dialog(this, tr("Save List"), folder, QString::fromUtf8(kListFilter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(
            QString::fromUtf8(kListFileExtension.data(), qsizetype(kListFileExtension.size())));
        dialog.selectFile(proposed);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front();
    }
    if (path.isEmpty()) return;
    dialog_folder_ = QFileInfo(path).absolutePath();
    const std::vector<FileEntry> entries = ctx_.files.entries();
    const Result written =
        write_file_list(QFile::encodeName(path).toStdString(), entries, sample_number_value());
    if (!written) {
        show_problems({QString::fromStdString(written.message)}, tr("The list was not saved."));
        return;
    }
    QStringList left_out;
    for (const FileEntry& e : entries) {
        if (!list_file_can_hold(e)) left_out << QString::fromStdString(e.file);
    }
    show_problems(left_out, tr("The list was saved without the items that are not files on disk. "
                               "Save them as files to keep them in the list."));
}

void MainWindow::show_problems(const QStringList& problems, const QString& summary) {
    if (problems.isEmpty()) return;
    auto* box = new QMessageBox(QMessageBox::Warning, tr("J3"), summary, QMessageBox::Ok, this);
    box->setInformativeText(problems.join('\n'));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::loop_command(bool stereo) {
    refresh_selection(ctx_);
    for (uint32_t id : ctx_.files.selected_ids()) {
        ctx_.files.with_entry(id, [&](FileEntry& e) {
            if (stereo) {
                e.stereo = set_stereo_button(*this, e.stereo, 1);
            } else {
                e.loop = set_loop_button(*this, e.loop, 1);
            }
            if (shown_data_ != nullptr && e.data.data() == shown_data_) {
                item_views_->set_choices(e.loop, e.stereo);
            }
        });
    }
}

void MainWindow::open_config_window() {
    if (config_window_) {
        config_window_->raise();
        config_window_->activateWindow();
        return;
    }
    ui_->configButton->setEnabled(false);
    ui_->configAction->setEnabled(false);
    config_window_ = new ConfigWindow(ctx_, this);
    connect(config_window_, &QDialog::finished, this, &MainWindow::config_window_closed);
    config_window_->show();
    show_ports();  // the rescan may have moved the ports or found one gone
}

void MainWindow::config_window_closed(int result) {
    ui_->configButton->setEnabled(true);
    ui_->configAction->setEnabled(true);
    show_ports();
    // A line about a missing destination or port goes once OK has mended it.
    if (result == QDialog::Accepted && !condition_message_.isEmpty() &&
        ui_->sendStatus->text() == condition_message_) {
        condition_message_.clear();
        const QString still = port_conditions();
        if (!still.isEmpty()) {
            show_condition_message(still);
        } else {
            show_status_message("");
        }
    }
}

QString MainWindow::port_conditions() const {
    const Settings& s = ctx_.settings;
    QStringList lines;
    if (s.selected_out == 0 && !s.selected_out_name.empty())
        lines << QString::fromStdString(port_not_connected_text(false, s.selected_out_name));
    if (s.selected_in == 0 && !s.selected_in_name.empty())
        lines << QString::fromStdString(port_not_connected_text(true, s.selected_in_name));
    return lines.join(QLatin1Char(' '));
}

void MainWindow::show_condition_message(const QString& text) {
    condition_message_ = text;
    show_status_message(text.toUtf8().constData());
}

void MainWindow::report_load_notes(const LoadNotes& notes) {
    QStringList lines;
    QStringList details;
    const auto count_line = [&](const std::vector<std::string>& files, const QString& one,
                                const QString& many) {
        if (files.empty()) return;
        lines << (files.size() == 1 ? one : many.arg(files.size()));
        for (const std::string& f : files) details << QString::fromStdString(f);
    };
    count_line(notes.files_not_found, tr("1 file of the list was not found."),
               tr("%1 files of the list were not found."));
    count_line(notes.files_unreadable, tr("1 file of the list could not be read."),
               tr("%1 files of the list could not be read."));
    const QString ports = port_conditions();
    if (lines.isEmpty() && ports.isEmpty()) return;
    if (!ports.isEmpty()) lines << ports;
    const QString text = lines.join(QLatin1Char(' '));
    if (ports.isEmpty()) {
        show_status_message(text.toUtf8().constData());
    } else {
        show_condition_message(text);
    }
    // The names of the dropped files, one a line.
    ui_->sendStatus->setToolTip(details.isEmpty() ? text : text + '\n' + details.join('\n'));
}

void MainWindow::show_ports() {
    const Settings& s = ctx_.settings;
    const MidiEndpoints& e = ctx_.endpoints;
    const auto port = [this](bool chosen, bool present, Endpoint endpoint,
                             const std::string& remembered) {
        const QString name =
            chosen ? QString::fromStdString(endpoint_display_name(*ctx_.midi, endpoint, false))
                   : QString::fromStdString(remembered);
        if (chosen && present) return name;
        // Chosen but gone from the system: it is connected again when it
        // comes back under its name.
        if (!name.isEmpty()) return tr("\"%1\" (not connected)").arg(name);
        return tr("none");
    };
    const Endpoint out = e.destination_endpoint;
    const QString text =
        tr("MIDI Out: %1    MIDI In: %2")
            .arg(port(s.selected_out != 0 && out != kNoEndpoint,
                      out != kNoEndpoint && ctx_.midi->destination_present(out), out,
                      s.selected_out_name),
                 port(e.source_connected, ctx_.midi->source_present(e.source_endpoint),
                      e.source_endpoint, s.selected_in_name));
    if (ui_->portsLabel->text() == text) return;
    ui_->portsLabel->setText(text);
    ui_->portsLabel->setToolTip(text);
}

QString MainWindow::about_text() {
    QString runs_on;
    for (const auto& [name, version] : library_versions())
        runs_on += QLatin1Char('\n') + name + QLatin1Char(' ') +
                   (version.isEmpty() ? tr("(not built in)") : version);
    return tr("J3 %1\n\nMoves SysEx files and samples between files and MIDI instruments.\n\n"
              "Runs on:%2")
        .arg(j3_version(), runs_on);
}

void MainWindow::show_about() {
    auto* box = new QMessageBox(QMessageBox::Information, tr("About J3"), about_text(),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIconPixmap(windowIcon().pixmap(64, 64));
    box->open();
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

void MainWindow::show_item_views(uint32_t id) {
    const std::optional<FileEntry> entry = ctx_.files.entry(id);
    if (!entry) return;
    item_views_->show_entry(*entry);
    shown_data_ = entry->data.data();
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

void MainWindow::show_status_message(const char* text) {
    ui_->sendStatus->setText(QString::fromUtf8(text));
    ui_->sendStatus->setToolTip(QString::fromUtf8(text));
}

void MainWindow::update_status() {
    // The progress lines; an ending is shown by the owner that ended, queued
    // behind this tick, so a stale progress line never follows it.
    if (const SendProgress sending = ctx_.send.progress(); sending.sending) {
        const QString line = QString::fromStdString(send_progress_text(sending));
        if (ui_->sendStatus->text() != line) {
            ui_->sendStatus->setText(line);
            ui_->sendStatus->setToolTip(line);  // whole, where the line is cut
        }
    }
    stop_receiving_if_source_gone(ctx_);
    // A chosen port that leaves (or comes back) shows within a second.
    if (++ports_ticks_ * kStatusIntervalMs >= 1000) {
        ports_ticks_ = 0;
        show_ports();
    }
    show_time_left();
    if (follow_request_series()) return;
    if (const ReceiveProgress receiving = ctx_.reception->progress(); receiving.receiving) {
        const QString line = QString::fromStdString(receive_progress_text(receiving.bytes));
        if (ui_->receiveStatus->text() != line) ui_->receiveStatus->setText(line);
    }
}

bool MainWindow::save_preferences_now() {
    const QRect bounds = frameGeometry();
    Settings& s = ctx_.settings;
    s.window_x = bounds.x();
    s.window_y = bounds.y();
    s.window_w = bounds.width();
    s.window_h = bounds.height();
    // The frame the window goes back to when it is no longer maximised.
    s.window_maximized = isMaximized();
    const QRect normal =
        s.window_maximized ? normalGeometry().marginsAdded(frame_margins()) : bounds;
    if (normal.isValid()) {
        s.normal_x = normal.x();
        s.normal_y = normal.y();
        s.normal_w = normal.width();
        s.normal_h = normal.height();
    }
    // A user who started J3 from the menu never sees standard error: the
    // settings and the list would be gone next time without a word.
    if (const Result saved = save_preferences(ctx_, preferences_file_); !saved) {
        std::fprintf(stderr, "j3: could not write the preferences to %s: %s\n",
                     preferences_file_.string().c_str(), saved.message.c_str());
        const QString reason = tr("They could not be written to \"%1\": %2")
                                   .arg(QString::fromStdString(preferences_file_.string()),
                                        QString::fromStdString(saved.message));
        bool quit = false;
        if (preferences_failure_prompt_) {
            quit = preferences_failure_prompt_(reason);
        } else {
            QMessageBox box(QMessageBox::Warning, tr("J3"),
                            tr("The settings and the file list were not saved."),
                            QMessageBox::Cancel, this);
            box.setInformativeText(reason);
            QPushButton* anyway = box.addButton(tr("Quit anyway"), QMessageBox::DestructiveRole);
            box.setDefaultButton(QMessageBox::Cancel);
            box.exec();
            quit = box.clickedButton() == anyway;
        }
        if (!quit) return false;
    }
    preferences_saved_ = true;
    return true;
}

// --- Window events ------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!received_data_settled()) {
        event->ignore();
        return;
    }
    if (!preferences_saved_ && !save_preferences_now()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
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

// --- WindowControls -------------------------------------------------------------
// Each setter may run on a MIDI thread: the widget change is queued to the
// GUI thread, behind the changes asked for before it.

template <typename Change>
void MainWindow::post(Change change) {
    QMetaObject::invokeMethod(this, std::move(change), Qt::QueuedConnection);
}

namespace {

QString qt_text(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

void MainWindow::show_sending(bool sending) {
    post([this, sending] {
        ui_->sendButton->setText(sending ? tr("Stop!") : tr("Send"));
        sending_ = sending;
        apply_control_state();
    });
}

void MainWindow::show_receiving(bool receiving) {
    post([this, receiving] {
        ui_->receiveButton->setText(receiving ? tr("Stop!") : tr("Receive"));
    });
}

void MainWindow::set_send_status(std::string_view text) {
    post([this, line = qt_text(text)] {
        ui_->sendStatus->setText(line);
        ui_->sendStatus->setToolTip(line);  // whole, where the line is cut
    });
}

void MainWindow::set_receive_status(std::string_view text) {
    post([this, line = qt_text(text)] { ui_->receiveStatus->setText(line); });
}

void MainWindow::set_speed_label(std::string_view text) {
    post([this, label = qt_text(text)] {
        ui_->speedLabel->setText(label);
        ++speed_labels_shown_;
    });
}

void MainWindow::set_speed_indicator(bool on) {
    post([this, on] {
        ui_->speedIndicator->setStyleSheet(QString::fromUtf8(on ? kIndicatorOn : kIndicatorOff));
    });
}

void MainWindow::show_loop_choice(LoopChoice choice) {
    post([this, choice] { ui_->loopButton->setText(QString::fromUtf8(loop_title(choice))); });
}

void MainWindow::show_stereo_choice(StereoChoice choice) {
    post([this, choice] { ui_->stereoButton->setText(QString::fromUtf8(stereo_title(choice))); });
}

void MainWindow::enable_loop_button(bool enabled) {
    post([this, enabled] {
        loop_allowed_ = enabled;
        apply_control_state();
    });
}

void MainWindow::enable_stereo_button(bool enabled) {
    post([this, enabled] {
        stereo_allowed_ = enabled;
        apply_control_state();
    });
}

void MainWindow::enable_waveform_button(bool enabled) {
    post([this, enabled] {
        waveform_allowed_ = enabled;
        apply_control_state();
    });
}

void MainWindow::set_info_text(std::string_view text) {
    post([this, info = qt_text(text)] { ui_->infoText->setText(info); });
}

void MainWindow::set_progress_range(int32_t minimum, int32_t maximum) {
    // An empty range would turn the bar into a busy indicator.
    post([this, minimum, maximum] {
        ui_->progressBar->setRange(minimum, std::max(maximum, minimum + 1));
    });
}

void MainWindow::set_progress_value(int32_t value) {
    post([this, value] {
        QProgressBar* bar = ui_->progressBar;
        bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
    });
}

void MainWindow::set_sample_number(int32_t number) {
    // The engine reads the field back before the queued update has run.
    sample_number_ = number;
    post([this, number] { ui_->sampleNumberField->setText(QString::number(number)); });
}

int32_t MainWindow::sample_number_value() const {
    return sample_number_;
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

void MainWindow::post_to_gui(std::function<void()> work) {
    post(std::move(work));
}

}  // namespace j3
