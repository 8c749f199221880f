// The main window's commands: the menus, the buttons and Esc, the Open and
// Save dialogs, the configuration window and the About box.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QShortcut>

#include "app/config_window.h"
#include "app/main_window.h"
#include "app/versions.h"
#include "engine/context.h"
#include "engine/item_commands.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "engine/turbo.h"
#include "filelist/list_file.h"
#include "receive/received_entry.h"
#include "ui_main_window.h"

namespace j3 {
namespace {

// How long Turbo waits for the instrument's speed report before saying so.
constexpr int kSpeedReportWaitMs = 1000;

const char* const kOpenFilter =
    "J3 filetypes (*.syx *.wav *.aiff *.aifc *.aif *.j3);;All files (*)";
const char* const kListFilter = "J3 file lists (*.j3)";

}  // namespace

void MainWindow::connect_commands() {
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
}

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

}  // namespace j3
