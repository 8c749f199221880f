#include "cli/console_window.h"

#include <algorithm>

namespace j3 {

ConsoleWindow::~ConsoleWindow() {
    {
        Lock lock(post_mutex_);
        stopping_ = true;
    }
    post_changed_.notify_all();
    // Unlocked: the thread takes the lock to end, and nothing posts now.
    if (post_thread_.joinable()) post_thread_.join();
}

void ConsoleWindow::post_to_gui(std::function<void()> work) {
    Lock lock(post_mutex_);
    posted_.push_back(std::move(work));
    if (!post_thread_.joinable()) post_thread_ = std::thread([this] { run_posted(); });
    post_changed_.notify_all();
}

void ConsoleWindow::run_posted() {
    UniqueLock lock(post_mutex_);
    for (;;) {
        while (!stopping_ && posted_.empty()) post_changed_.wait(lock);
        if (posted_.empty()) return;  // stopping, and nothing left to run
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        running_work_ = true;
        lock.unlock();
        work();
        lock.lock();
        running_work_ = false;
        ++work_done_;
        post_changed_.notify_all();
    }
}

void ConsoleWindow::drain() {
    UniqueLock lock(post_mutex_);
    while (!posted_.empty() || running_work_) post_changed_.wait(lock);
}

void ConsoleWindow::wait_for_work(std::chrono::milliseconds most) {
    const auto end = std::chrono::steady_clock::now() + most;
    UniqueLock lock(post_mutex_);
    const uint64_t before = work_done_;
    while (work_done_ == before)
        if (post_changed_.wait_until(lock, end) == std::cv_status::timeout) return;
}

void ConsoleWindow::print_status(std::string_view text) {
    Lock lock(mutex_);
    print_status_locked(text);
}

void ConsoleWindow::print_status_locked(std::string_view text) {
    // An empty line says nothing on a terminal (the window clears its line).
    if (!status_out_ || muted_ || text.empty() || text == last_status_) return;
    last_status_ = std::string(text);
    std::fprintf(status_out_, "%s\n", last_status_.c_str());
    std::fflush(status_out_);
}

void ConsoleWindow::show_sending(bool sending) {
    Lock lock(mutex_);
    sending_ = sending;
}

void ConsoleWindow::set_send_progress(std::string_view text) {
    Lock lock(mutex_);
    if (sending_) print_status_locked(text);
}

void ConsoleWindow::show_receiving(bool receiving) {
    Lock lock(mutex_);
    receiving_ = receiving;
}

void ConsoleWindow::set_receive_progress(std::string_view text) {
    Lock lock(mutex_);
    if (receiving_) print_status_locked(text);
}

void ConsoleWindow::mute_status() {
    Lock lock(mutex_);
    muted_ = true;
}

void ConsoleWindow::set_info_text(std::string_view text) {
    Lock lock(mutex_);
    info_text_ = std::string(text);
}

std::string ConsoleWindow::info_text() const {
    Lock lock(mutex_);
    return info_text_;
}

void ConsoleWindow::list_add_item(uint32_t id) {
    Lock lock(mutex_);
    item_count_ = std::max(item_count_, id);
}

void ConsoleWindow::list_remove_all() {
    Lock lock(mutex_);
    item_count_ = 0;
    selected_.clear();
}

std::vector<uint32_t> ConsoleWindow::list_selected_ids() const {
    Lock lock(mutex_);
    return selected_;
}

void ConsoleWindow::list_select_item(uint32_t id) {
    Lock lock(mutex_);
    if (id < 1 || id > item_count_) return;
    if (std::find(selected_.begin(), selected_.end(), id) == selected_.end()) {
        selected_.insert(std::upper_bound(selected_.begin(), selected_.end(), id), id);
    }
}

void ConsoleWindow::select_all() {
    Lock lock(mutex_);
    selected_.clear();
    for (uint32_t id = 1; id <= item_count_; ++id) selected_.push_back(id);
}

}  // namespace j3
