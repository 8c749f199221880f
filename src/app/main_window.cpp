// The main window: building it, start-up, placement on screen, and saving
// the preferences at quit (its other concerns: see main_window.h).
#include "app/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include "app/config_window.h"
#include "app/control_lookup.h"
#include "app/window_placement.h"
#include "engine/context.h"
#include "engine/preferences.h"
#include "engine/turbo.h"
#include "receive/midi_read.h"
#include "ui_main_window.h"
#include "waveform/fft.h"
#include "waveform/waveform_builder.h"

namespace j3 {
namespace {

// At first start the list shows this many rows, and the item views at least
// kItemViewsMinHeight, which they keep however the window or the divider moves.
constexpr int kFirstStartRows = 10;
constexpr int kItemViewsMinHeight = 150;

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
    connect_commands();
    // 3, 4. The sample-number field, the speed indicator, the progress bar
    // and the status timer.
    set_up_transfer_controls();
    // 5. The file list.
    set_up_list();
    fit_controls();
    // Beside the info text: the selected item's picture and messages.
    set_up_item_views();
}

void MainWindow::fit_controls() {
    // Nothing is selected yet: the item buttons wait for an item.
    apply_control_state();
    fit_titles(ui_->sendButton, {"Send", "Stop!"});
    fit_titles(ui_->receiveButton, {"Receive", "Stop!"});
    fit_titles(ui_->loopButton, {"Loop:File", "Loop On", "Loop Off"});
    fit_titles(ui_->stereoButton, {"L + R", "Left", "Right"});
    ui_->itemPane->setMinimumHeight(kItemViewsMinHeight);
    // No control is clipped at the smallest size.
    setMinimumSize(minimumSize().expandedTo(minimumSizeHint()));
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
    place_on_start(screen);
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

void MainWindow::place_on_start(QScreen* screen) {
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

}  // namespace j3
