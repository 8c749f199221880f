// The main window: start-up, placement, the commands, the list and the
// control updates that arrive from other threads.
#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QtTest>

#include <thread>

#include "app/app_test_support.h"
#include "app/config_window.h"
#include "app/digit_field.h"
#include "app/file_list_model.h"
#include "app/open_with.h"
#include "app/path_elision.h"
#include "app/versions.h"
#include "app/window_placement.h"
#include "engine/clock.h"
#include "engine/config_values.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/held_send.h"
#include "fixtures/audio_files.h"
#include "format/plist_file.h"
#include "midi/midi_systems.h"
#include "receive/midi_read.h"

namespace j3::testing {

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::filesystem::path prefs_;

    QString text(Harness& h, int control) {
        QWidget* w = h.window->control(control);
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        if (auto* f = qobject_cast<QLineEdit*>(w)) return f->text();
        return {};
    }
    QTableView* list(Harness& h) { return qobject_cast<QTableView*>(h.window->control(kFileList)); }
    QString cell(Harness& h, int row, int column) {
        return h.window->file_list_model()->index(row, column).data().toString();
    }
    void write_prefs(const std::string& text) { std::ofstream(prefs_, std::ios::binary) << text; }
    // n items named 1.syx .. n.syx, each one message of i + 2 bytes.
    void add_items(Harness& h, int n) {
        for (int i = 1; i <= n; ++i) {
            const auto p = write_file(*dir_, std::to_string(i) + ".syx",
                                      "\xF0" + std::string(size_t(i), '\x01') + "\xF7");
            QVERIFY(add_file_entry(h.ctx, p, nullptr).ok);
        }
    }
    QAction* action(Harness& h, const char* name) {
        return h.window->findChild<QAction*>(QString::fromLatin1(name));
    }
    bool enabled(Harness& h, int control) { return h.window->control(control)->isEnabled(); }
    void select_only(Harness& h, std::vector<uint32_t> ids) {
        list(h)->clearSelection();
        for (uint32_t id : ids) h.window->list_select_item(id);
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prefs_ = std::filesystem::path(dir_->path().toStdString()) / "prefs" / kPreferencesFileName;
        std::filesystem::create_directories(prefs_.parent_path());
    }
    void cleanup() { dir_.reset(); }

    void startsWithoutPreferences() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        QCOMPARE(h.window->windowTitle(), QStringLiteral("J3"));
        QVERIFY(h.window->isVisible());
        QCOMPARE(h.midi.client_name, std::string("J3"));
        QCOMPARE(h.midi.virtual_destination, std::string("Brask"));
        QCOMPARE(text(h, kSendButton), QStringLiteral("Send"));
        QCOMPARE(text(h, kSampleNumberField), QStringLiteral("0"));
        QCOMPARE(h.window->file_list_model()->rowCount(), 0);
        // Window fields stay 0: at the screen's top left, at least the designed size.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(h.window->frameGeometry().topLeft(), available.topLeft());
        QVERIFY(h.window->frameGeometry().width() >= kDesignedWindowSize.width());
        QCOMPARE(h.ctx.settings.selected_out, 0);
    }

    void theFirstStartShowsTenRowsAndTheItemViewsWhichNeverCollapse() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        QCoreApplication::processEvents();
        auto* list = qobject_cast<QTableView*>(h.window->control(kFileList));
        QWidget* views = h.window->findChild<QWidget*>(QStringLiteral("itemPane"));
        auto* splitter = h.window->findChild<QSplitter*>(QStringLiteral("itemSplitter"));
        QVERIFY(list && views && splitter);
        const int row = list->verticalHeader()->defaultSectionSize();
        QVERIFY(list->viewport()->height() >= 10 * row);
        QVERIFY(views->height() >= 150);
        // Neither the smallest window nor the divider dragged down hides them.
        h.window->resize(1, 1);
        QCoreApplication::processEvents();
        QVERIFY(views->height() >= 150);
        splitter->setSizes({splitter->height(), 0});
        QCoreApplication::processEvents();
        QVERIFY(views->height() >= 150);
    }

    void aVersion2FileIsIgnoredAndOverwrittenAtQuit() {
        write_prefs(prefs_xml({{"Version", int_xml(2)},
                               {"Turbo limit", int_xml(3)},
                               {"Selected MIDI Interfaces Out", int_xml(1)}}));
        Harness h(prefs_);
        QVERIFY(h.window->start());
        QCOMPARE(h.ctx.settings.turbo_limit, 11);
        QCOMPARE(h.ctx.settings.selected_out, 0);
        h.window->command(kCmdQuit);
        std::ifstream in(prefs_, std::ios::binary);
        const std::string saved((std::istreambuf_iterator<char>(in)), {});
        auto d = parse_plist_xml(reinterpret_cast<const uint8_t*>(saved.data()), saved.size());
        QVERIFY(d);
        QCOMPARE(d->find("Version")->integer, int64_t(1));
        QVERIFY(d->find("Turbo limit") == nullptr);
        QCOMPARE(d->find("Window W")->integer, int64_t(h.window->frameGeometry().width()));
    }

    void storedEndpointsBeyondTheScannedCountsAreNotChosen() {
        write_prefs(prefs_xml({{"Selected MIDI Interfaces In", int_xml(3)},
                               {"Selected MIDI Interfaces Out", int_xml(2)}}));
        Harness h(prefs_, 2, 1);
        QVERIFY(h.window->start());
        QCOMPARE(h.ctx.settings.selected_in, 0);
        QCOMPARE(h.ctx.settings.selected_out, 0);
        QVERIFY(h.midi.connected.empty());
        h.window->command(kCmdConfig);
        ConfigWindow* conf = h.window->config_window();
        QVERIFY(conf);
        auto* sources = qobject_cast<QListWidget*>(conf->control(kSourceList));
        QCOMPARE(sources->count(), 2);
        QCOMPARE(sources->item(1)->text(), QStringLiteral("In 2"));
        QCOMPARE(first_selected_position(sources), 0);
        conf->close_window();
    }

    void endpointNamesShowAsTheSystemGivesThem() {
        Harness h(prefs_);
        h.midi.destinations[0].name =
            "Caf\xC3\xA9 \xE6\xB3\xA2\xE5\xBD\xA2 " + std::string(80, 'n');
        QVERIFY(h.window->start());
        h.window->command(kCmdConfig);
        ConfigWindow* conf = h.window->config_window();
        QVERIFY(conf);
        auto* destinations = qobject_cast<QListWidget*>(conf->control(kDestinationList));
        QCOMPARE(destinations->count(), 1);
        QCOMPARE(destinations->item(0)->text(),
                 QString::fromUtf8("Caf\xC3\xA9 \xE6\xB3\xA2\xE5\xBD\xA2 ") + QString(80, 'n'));
        conf->close_window();
    }

    void aFailedVirtualDestinationEndsTheStart() {
        Harness h(prefs_);
        h.midi.fail_virtual_destination = true;
        QVERIFY(!h.window->start());
        QVERIFY(!h.window->isVisible());
    }

    void placement_data() {
        QTest::addColumn<QRect>("stored");  // x, y, w, h as loaded
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("want");
        const QRect screen(0, 25, 1280, 775);
        QTest::newRow("no file: designed size moved below the top bar")
            << QRect(0, 0, 0, 0) << screen << QRect(0, 25, 674, 373);
        QTest::newRow("no location: centred whatever the size says")
            << QRect(-1, 50, 900, 500) << screen << QRect(303, 226, 674, 373);
        QTest::newRow("location without size")
            << QRect(100, 50, -1, -1) << screen << QRect(100, 50, 674, 373);
        QTest::newRow("stored bounds kept")
            << QRect(200, 100, 700, 400) << screen << QRect(200, 100, 700, 400);
        QTest::newRow("off the screen: moved back")
            << QRect(5000, 3000, 700, 400) << screen << QRect(580, 400, 700, 400);
        QTest::newRow("larger than the screen: top left stays visible")
            << QRect(300, 300, 2000, 1000) << screen << QRect(0, 25, 2000, 1000);
        QTest::newRow("second screen's area")
            << QRect(1900, 10, 674, 373) << QRect(1280, 0, 1024, 768) << QRect(1630, 10, 674, 373);
    }
    void placementAtFirstStart() {
        const QRect screen(0, 25, 1280, 775);
        // The first start's size where none is stored, cut to the screen.
        QCOMPARE(place_main_window(0, 0, 0, 0, screen, QSize(674, 540)), QRect(0, 25, 674, 540));
        QCOMPARE(place_main_window(-1, -1, 0, 0, screen, QSize(674, 540)),
                 QRect(303, 143, 674, 540));
        QCOMPARE(place_main_window(0, 0, 0, 0, QRect(0, 0, 800, 500), QSize(674, 540)),
                 QRect(0, 0, 674, 500));
        QCOMPARE(place_main_window(10, 20, 700, 400, screen, QSize(674, 540)),
                 QRect(10, 25, 700, 400));
    }
    void placement() {
        QFETCH(QRect, stored);
        QFETCH(QRect, available);
        QFETCH(QRect, want);
        // QRect(x, y, w, h) carries the four loaded numbers; width() is w.
        QCOMPARE(
            place_main_window(stored.x(), stored.y(), stored.width(), stored.height(), available),
            want);
    }

    void startPlacesTheWindowAtItsStoredLocation() {
        write_prefs(prefs_xml({{"Location X", int_xml(100)}, {"Location Y", int_xml(50)}}));
        Harness h(prefs_);
        QVERIFY(h.window->start(QGuiApplication::primaryScreen()));
        // Without a stored size: the first start's.
        QCOMPARE(h.window->frameGeometry().topLeft(), QPoint(100, 50));
        QCOMPARE(h.window->frameGeometry().width(), 674);
        QVERIFY(h.window->frameGeometry().height() > 373);
    }

    void sendToTheLoopbackShowsProgressAndDone() {
        MidiServiceOptions loopback_only;
        loopback_only.alsa = false;
        loopback_only.jack = false;
        auto loopback = make_midi_service(loopback_only);
        SystemClock clock;
        Harness h(prefs_);
        h.ctx.midi = loopback.get();
        h.ctx.clock = &clock;
        QVERIFY(h.window->start());
        QCOMPARE(h.ctx.endpoints.destination_count, 1);
        QCOMPARE(std::string(h.ctx.endpoints.destination_names[0].data()),
                 std::string("J3 Loopback"));
        ConfigValues v = open_config_values(h.ctx);
        v.selected_out = 1;
        apply_config_values(h.ctx, v);
        // Four messages of 500 bytes: about 0.6 s on the wire at 3125 bytes/s.
        std::string dump;
        for (int i = 0; i < 4; ++i) dump += "\xF0" + std::string(498, char(i + 1)) + "\xF7";
        QVERIFY(add_file_entry(h.ctx, write_file(*dir_, "dump.syx", dump), nullptr).ok);
        h.window->list_select_item(1);

        h.window->command(kCmdSend);
        QTRY_COMPARE(text(h, kSendButton), QStringLiteral("Stop!"));
        QTRY_VERIFY(text(h, kSendStatus).startsWith(QStringLiteral("Sending file 1 of 1. ")));
        QVERIFY(text(h, kSendStatus).endsWith(QStringLiteral(" bytes.")));
        QTRY_COMPARE_WITH_TIMEOUT(text(h, kSendButton), QStringLiteral("Send"), 10000);
        QTRY_COMPARE(text(h, kSendStatus), QStringLiteral("Done."));
        auto* bar = qobject_cast<QProgressBar*>(h.window->control(kProgressBar));
        QTRY_COMPARE(bar->value(), 0);
        QVERIFY(!h.ctx.send.sending());
        // The service goes first, as in main: nothing it still holds can
        // complete into a window that is gone.
        loopback.reset();
    }

    void sendWithoutADestinationDoesNothing() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 1);
        h.window->command(kCmdSend);
        QCOMPARE(h.midi.sent_copy().size(), size_t(0));
        QVERIFY(!h.ctx.send.sending());
        QVERIFY(text(h, kSendStatus).startsWith(QStringLiteral("No MIDI destination")));
    }

    void sendWithNothingSelectedSendsWhatTheOpenDialogAdds() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.ctx.settings.selected_out = choose_destination(*h.ctx.midi, h.ctx.endpoints, 1, false);
        const auto a = write_file(*dir_, "a.syx", "\xF0\x01\xF7");
        const auto b = write_file(*dir_, "b.syx", "\xF0\x02\xF7");
        h.window->set_file_chooser([&] {
            return QStringList{QString::fromStdString(a.string()),
                               QString::fromStdString(b.string())};
        });
        h.window->command(kCmdSend);
        QCOMPARE(int(h.ctx.files.size()), 2);
        // Only the first file added into an empty selection is selected and sent.
        h.midi.complete_all();
        QCOMPARE(h.midi.sent_bytes(), (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
        QVERIFY(!h.ctx.send.sending());
    }

    void openAddsTheReadableFilesAndSaysWhichWereNot() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        const auto good = write_file(*dir_, "good.syx", "\xF0\xF7");
        const std::string missing = dir_->path().toStdString() + "/missing.syx";
        h.window->set_file_chooser([&] {
            return QStringList{QString::fromStdString(missing),
                               QString::fromStdString(good.string())};
        });
        h.window->command(kCmdOpen);
        QCOMPARE(int(h.ctx.files.size()), 1);
        QCOMPARE(h.ctx.files.entry(1).value().file, good.string());
        auto* box = h.window->findChild<QMessageBox*>();
        QVERIFY(box);
        QVERIFY(box->informativeText().contains(QString::fromStdString(missing)));
        box->close();
    }

    void loopCyclesEachSelectedItem() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 3);
        h.ctx.files.with_entry(1, [](FileEntry& e) { e.loop = 0; });
        h.ctx.files.with_entry(3, [](FileEntry& e) { e.loop = 1; });
        select_only(h, {1, 3});
        const struct {
            int32_t first, third;
            const char* title;  // of the last selected item
        } presses[] = {{1, 2, "Loop Off"}, {2, 0, "Loop:File"}, {0, 1, "Loop On"}};
        for (const auto& p : presses) {
            h.window->command(kCmdLoop);
            QCoreApplication::processEvents();
            QCOMPARE(h.ctx.files.entry(1).value().loop, p.first);
            QCOMPARE(h.ctx.files.entry(2).value().loop, 0);
            QCOMPARE(h.ctx.files.entry(3).value().loop, p.third);
            QCOMPARE(text(h, kLoopButton), QString::fromUtf8(p.title));
        }
        select_only(h, {2});
        const char* stereo_titles[] = {"Left", "Right", "L + R"};
        for (const char* title : stereo_titles) {
            h.window->command(kCmdStereo);
            QCoreApplication::processEvents();
            QCOMPARE(text(h, kStereoButton), QString::fromUtf8(title));
        }
        QCOMPARE(h.ctx.files.entry(2).value().stereo, 0);
    }

    void eraseRemovesANonContiguousSelection() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 4);
        select_only(h, {1, 3});
        h.window->command(kCmdErase);
        QCOMPARE(int(h.ctx.files.size()), 2);
        QCOMPARE(h.window->file_list_model()->rowCount(), 2);
        QVERIFY(cell(h, 0, FileListModel::kFileColumn).endsWith(QStringLiteral("/2.syx")));
        QVERIFY(cell(h, 1, FileListModel::kFileColumn).endsWith(QStringLiteral("/4.syx")));
        QVERIFY(h.window->list_selected_ids().empty());
    }

    void eraseIsRefusedWhileSending() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.ctx.settings.selected_out = choose_destination(*h.ctx.midi, h.ctx.endpoints, 1, false);
        add_items(h, 2);
        select_only(h, {1, 2});
        h.window->command(kCmdSend);
        QVERIFY(h.ctx.send.sending());
        h.window->command(kCmdErase);
        QCOMPARE(int(h.ctx.files.size()), 2);
        h.window->command(kCmdSend);  // Stop
        QVERIFY(!h.ctx.send.sending());
        h.midi.complete_all();  // the cancelled request's late completion
        QTRY_COMPARE(text(h, kSendButton), QStringLiteral("Send"));
        QCOMPARE(h.midi.sent_copy().size(), size_t(1));
    }

    void sizeTexts_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("want");
        QTest::newRow("empty") << qint64(0) << "0";
        QTest::newRow("largest shown in bytes") << qint64(1023) << "1023";
        QTest::newRow("one KiB") << qint64(1024) << "1k";
        QTest::newRow("truncated") << qint64(2047) << "1k";
        QTest::newRow("a song file") << qint64(7027) << "6k";
        QTest::newRow("one MiB") << qint64(1048576) << "1024k";
    }
    void sizeTexts() {
        QFETCH(qint64, bytes);
        QFETCH(QString, want);
        QCOMPARE(QString::fromStdString(size_text(bytes)), want);
    }

    void listCellsComeFromTheEntries() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 1);
        FileListModel* m = h.window->file_list_model();
        QCOMPARE(cell(h, 0, FileListModel::kSizeColumn), QStringLiteral("3"));
        QCOMPARE(cell(h, 0, FileListModel::kTypeColumn), QStringLiteral("-"));
        QCOMPARE(m->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("File"));
        // A row beyond the entries (while the list is rebuilt) shows nothing.
        m->add_item(2);
        QVERIFY(!m->index(1, 0).data().isValid());
        // Cells cannot be edited.
        QVERIFY(!(m->flags(m->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!m->setData(m->index(0, 0), QStringLiteral("x"), Qt::EditRole));
        QVERIFY(cell(h, 0, 0).endsWith(QStringLiteral("/1.syx")));
    }

    void theNameColumnFollowsTheWindowWidth() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.window->set_frame_bounds(QRect(10, 10, 700, 400));
        QCoreApplication::processEvents();
        QCOMPARE(h.window->frameGeometry().width(), 700);
        QCOMPARE(list(h)->columnWidth(FileListModel::kFileColumn), 455);
    }

    void theSampleNumberFieldTakesDigitsOnly() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        auto* field = qobject_cast<QLineEdit*>(h.window->control(kSampleNumberField));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "1a2-3 ");
        QCOMPARE(field->text(), QStringLiteral("123"));
        QCOMPARE(h.window->sample_number_value(), 123);
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(h.window->sample_number_value(), 12);
    }

    void digitKeyFilter_data() {
        QTest::addColumn<int>("character");
        QTest::addColumn<bool>("passes");
        QTest::newRow("0") << int('0') << true;
        QTest::newRow("9") << int('9') << true;
        QTest::newRow("backspace") << 8 << true;
        QTest::newRow("left arrow") << 28 << true;
        QTest::newRow("down arrow") << 31 << true;
        QTest::newRow("letter") << int('a') << false;
        QTest::newRow("minus") << int('-') << false;
        QTest::newRow("space") << int(' ') << false;
        QTest::newRow("return") << 13 << false;
    }
    void digitKeyFilter() {
        QFETCH(int, character);
        QFETCH(bool, passes);
        QCOMPARE(digit_key_filter(character), passes);
    }

    void returnInTheSampleNumberFieldEndsTheEditing() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.window->activateWindow();
        auto* field = qobject_cast<QLineEdit*>(h.window->control(kSampleNumberField));
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!field->hasFocus());
    }

    void controlUpdatesFromAnotherThreadArriveInOrder() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        std::thread midi_thread([&] {
            for (int i = 0; i < 50; ++i) h.window->show_sending(i % 2 == 1);
            h.window->set_sample_number(42);
            h.window->set_progress_range(0, 100);
            h.window->set_progress_value(60);
            h.window->set_info_text("Ä info");
            h.window->enable_waveform_button(true);
        });
        midi_thread.join();
        // The engine reads the field back at once, before the widget changes.
        QCOMPARE(h.window->sample_number_value(), 42);
        QTRY_COMPARE(text(h, kSendButton), QStringLiteral("Stop!"));
        QCOMPARE(text(h, kSampleNumberField), QStringLiteral("42"));
        QCOMPARE(qobject_cast<QProgressBar*>(h.window->control(kProgressBar))->value(), 60);
        QCOMPARE(text(h, kInfoText), QStringLiteral("Ä info"));
        QVERIFY(h.window->control(kWaveformButton)->isEnabled());
    }

    void statusLinesShowTheProgressAndThenTheEnding() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        // A send at the second of three items, a sample whose last packet
        // is out: all 700 of its frames.
        const Bytes wav = canonical_wav(700, 1);
        const std::pair<const char*, std::string> items[] = {{"a.syx", "\xF0\x01\xF7"},
                                                             {"s.wav", {wav.begin(), wav.end()}},
                                                             {"c.syx", "\xF0\x02\xF7"}};
        for (const auto& [name, bytes] : items)
            QVERIFY(add_file_entry(h.ctx, write_file(*dir_, name, bytes), nullptr).ok);
        select_only(h, {1, 2, 3});
        QVERIFY(start_held_send(h.ctx));
        while (h.ctx.send.progress().index < 2 || h.ctx.send.progress().position < 700)
            QVERIFY(h.midi.complete_next());
        // A reception holding one 99-byte message.
        h.ctx.settings.selected_in = 1;
        QVERIFY(start_receiving(h.ctx));
        std::vector<uint8_t> message(99, 0x01);
        message.front() = 0xF0;
        message.back() = 0xF7;
        midi_read(h.ctx, {{0, message}});
        h.window->update_status();
        QCOMPARE(text(h, kSendStatus), QStringLiteral("Sending file 2 of 3. 700 samples."));
        QCOMPARE(text(h, kReceiveStatus), QStringLiteral("Receiving. 99 bytes."));
        // Once idle, the timer leaves the line the ending wrote.
        h.midi.complete_all();
        QVERIFY(!h.ctx.send.sending());
        stop_receiving(h.ctx);
        h.window->set_send_status("Done.");
        h.window->set_receive_status("Stopped: the source has gone away.");
        QCoreApplication::processEvents();
        h.window->update_status();
        QCOMPARE(text(h, kSendStatus), QStringLiteral("Done."));
        QCOMPARE(text(h, kReceiveStatus), QStringLiteral("Stopped: the source has gone away."));
    }

    // What the controls offer follows the list, the selection and the send.
    void controlsFollowTheListAndTheSend() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.ctx.settings.selected_out = choose_destination(*h.ctx.midi, h.ctx.endpoints, 1, false);
        struct Want {
            const char* state;
            std::function<void()> step;
            const char* send;  // the button's and the menu item's title
            bool erase, loop, stereo, waveform;
            bool info;  // the info text shows something
        };
        const auto stereo_wav = write_file(*dir_, "s.wav", [] {
            const Bytes b = canonical_wav(64);
            return std::string(b.begin(), b.end());
        }());
        std::string dump;
        for (int i = 0; i < 3; ++i) dump += "\xF0" + std::string(4, '\x01') + "\xF7";
        const auto syx = write_file(*dir_, "d.syx", dump);
        const Want steps[] = {
            {"empty list", [] {}, "Send", false, false, false, false, false},
            {"one selected",
             [&] {
                 QVERIFY(add_file_entry(h.ctx, stereo_wav, nullptr).ok);
                 QVERIFY(add_file_entry(h.ctx, syx, nullptr).ok);
             },
             "Send", true, true, true, true, true},
            {"nothing selected", [&] { list(h)->clearSelection(); }, "Send", false, false, false,
             false, false},
            {"sending",
             [&] {
                 select_only(h, {2});
                 h.window->command(kCmdSend);
             },
             "Stop!", false, false, false, false, false},
            {"after Esc",
             [&] {
                 QTest::keyClick(h.window.get(), Qt::Key_Escape);
                 // The service reports the cancelled request, as it does at once.
                 while (h.midi.complete_next()) {
                 }
             },
             "Send", true, false, false, false, false},
            {"one selected again", [&] { select_only(h, {1}); }, "Send", true, true, true, true,
             true},
            {"after Delete", [&] { QTest::keyClick(list(h), Qt::Key_Delete); }, "Send", false,
             false, false, false, false},
        };
        for (const Want& w : steps) {
            w.step();
            QCoreApplication::processEvents();
            const QString state = QString::fromLatin1(w.state);
            QVERIFY2(text(h, kSendButton) == QString::fromLatin1(w.send), qPrintable(state));
            QVERIFY2(action(h, "sendAction")->text().remove('&') == QString::fromLatin1(w.send),
                     qPrintable(state));
            QVERIFY2(action(h, "eraseAction")->isEnabled() == w.erase, qPrintable(state));
            QVERIFY2(enabled(h, kLoopButton) == w.loop, qPrintable(state));
            QVERIFY2(action(h, "loopAction")->isEnabled() == w.loop, qPrintable(state));
            QVERIFY2(enabled(h, kStereoButton) == w.stereo, qPrintable(state));
            QVERIFY2(enabled(h, kWaveformButton) == w.waveform, qPrintable(state));
            QVERIFY2(action(h, "waveformAction")->isEnabled() == w.waveform, qPrintable(state));
            QVERIFY2(!text(h, kInfoText).isEmpty() == w.info, qPrintable(state));
        }
        // Esc stopped the send: the line says so, and the bar is empty.
        h.midi.complete_all();
        QCoreApplication::processEvents();
        h.window->update_status();
        QCOMPARE(text(h, kSendStatus), QStringLiteral("Stopped."));
        QCOMPARE(qobject_cast<QProgressBar*>(h.window->control(kProgressBar))->value(), 0);
        QCOMPARE(int(h.ctx.files.size()), 1);
    }

    void theKeyboardReachesEveryControl() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 3);
        h.window->activateWindow();
        QTRY_VERIFY(list(h)->hasFocus());
        // Tab leaves the list instead of walking its cells.
        QTest::keyClick(list(h), Qt::Key_Tab);
        QVERIFY(!list(h)->hasFocus());
        // Every control can be reached with Tab and has a name for screen readers.
        for (QWidget* w : h.window->centralWidget()->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<QTableView*>(w);
            if (!control || w->objectName().isEmpty()) continue;  // parts of the list itself
            QVERIFY2(w->focusPolicy() & Qt::TabFocus, qPrintable(w->objectName()));
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
        }
    }

    void noControlIsClippedAtTheSmallestSize() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        // The designed size stays possible.
        QVERIFY(h.window->minimumWidth() <= kDesignedWindowSize.width());
        QVERIFY(h.window->minimumHeight() <= kDesignedWindowSize.height());
        h.window->resize(1, 1);
        QCoreApplication::processEvents();
        QCOMPARE(h.window->size(), h.window->minimumSize());
        // Every title shows whole, whichever it is.
        const struct {
            int control;
            std::vector<const char*> titles;
        } buttons[] = {
            {kSendButton, {"Send", "Stop!"}},
            {kReceiveButton, {"Receive", "Stop!"}},
            {kLoopButton, {"Loop:File", "Loop On", "Loop Off"}},
            {kStereoButton, {"L + R", "Left", "Right"}},
            {kWaveformButton, {"Waveform"}},
            {kConfigButton, {"Configure…"}},
        };
        for (const auto& b : buttons) {
            auto* button = qobject_cast<QPushButton*>(h.window->control(b.control));
            const QString shown = button->text();
            for (const char* title : b.titles) {
                button->setText(QString::fromUtf8(title));
                QVERIFY2(button->width() >= button->sizeHint().width(), title);
            }
            button->setText(shown);
        }
        auto* label = h.window->findChild<QLabel*>(QStringLiteral("sampleNumberLabel"));
        QVERIFY(label->width() >= label->sizeHint().width());
    }

    void aMaximisedWindowComesBackMaximisedOverItsNormalFrame() {
        const QRect normal(60, 40, 700, 420);
        {
            Harness h(prefs_);
            QVERIFY(h.window->start(QGuiApplication::primaryScreen()));
            h.window->set_frame_bounds(normal);
            h.window->showMaximized();
            QTRY_VERIFY(h.window->isMaximized());
            h.window->command(kCmdQuit);
        }
        {
            Harness h(prefs_);
            QVERIFY(h.window->start(QGuiApplication::primaryScreen()));
            QTRY_VERIFY(h.window->isMaximized());
            const QMargins frame = h.window->windowHandle()->frameMargins();
            QCOMPARE(h.window->normalGeometry().marginsAdded(frame), normal);
            h.window->showNormal();
            QTRY_COMPARE(h.window->frameGeometry(), normal);
            h.window->command(kCmdQuit);
        }
        // Quit unmaximised: the stored bounds are the window's, not maximised.
        Harness h(prefs_);
        QVERIFY(h.window->start(QGuiApplication::primaryScreen()));
        QVERIFY(!h.window->isMaximized());
        QCOMPARE(h.window->frameGeometry(), normal);
    }

    void portsAreChosenByNameAndShown() {
        write_prefs(prefs_xml({{"Selected MIDI Interfaces Out", int_xml(1)},
                               {"Selected MIDI Interfaces Out Name", "<string>- Synth</string>"}}));
        Harness h(prefs_, 1, 0);
        h.midi.destinations = {{"New port"}};  // the synth is not plugged in
        QVERIFY(h.window->start());
        auto* ports = h.window->findChild<QLabel*>(QStringLiteral("portsLabel"));
        const QString missing = QStringLiteral("MIDI Out \"- Synth\" is not connected.");
        QCOMPARE(text(h, kSendStatus), missing);
        QVERIFY(ports->text().contains(QStringLiteral("\"- Synth\" (not connected)")));
        // Nothing goes elsewhere.
        add_items(h, 1);
        h.window->command(kCmdSend);
        QCOMPARE(h.midi.sent_copy().size(), size_t(0));
        QCOMPARE(text(h, kSendStatus), missing);

        // It is plugged in: the configuration window finds it by name, and
        // its OK clears the line.
        h.midi.destinations = {{"New port"}, {"Synth"}};
        h.window->command(kCmdConfig);
        ConfigWindow* conf = h.window->config_window();
        QVERIFY(conf);
        QCOMPARE(
            first_selected_position(qobject_cast<QListWidget*>(conf->control(kDestinationList))),
            2);
        conf->ok();
        QCoreApplication::processEvents();
        QCOMPARE(text(h, kSendStatus), QString());
        // Stored in the older "- Synth" form, shown as the port is named now.
        QVERIFY(ports->text().startsWith(QStringLiteral("MIDI Out: Synth")));
        h.midi.complete_all();  // the speed request that follows OK
        h.midi.sent.clear();
        h.window->command(kCmdSend);
        QCOMPARE(h.midi.sent_copy().size(), size_t(1));
        QCOMPARE(h.midi.sent_copy()[0].destination, h.midi.destination(1));
        QVERIFY(h.midi.sent_copy()[0].bytes == (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
        h.midi.complete_all();
    }

    void theNoDestinationLineGoesOnceOkChoosesOne() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 1);
        h.window->command(kCmdSend);
        QVERIFY(text(h, kSendStatus).startsWith(QStringLiteral("No MIDI destination")));
        h.window->command(kCmdConfig);
        ConfigWindow* conf = h.window->config_window();
        qobject_cast<QListWidget*>(conf->control(kDestinationList))->setCurrentRow(0);
        conf->ok();
        QCoreApplication::processEvents();
        QCOMPARE(text(h, kSendStatus), QString());
    }

    void reloadSaysWhichFilesOfTheListWereNotFound() {
        const auto a = write_file(*dir_, "a.syx", "\xF0\x01\xF7");
        const std::string gone1 = dir_->path().toStdString() + "/gone1.syx";
        const std::string gone2 = dir_->path().toStdString() + "/gone2.syx";
        auto entry = [](const std::string& path) {
            return "<dict><key>File</key><string>" + path + "</string></dict>";
        };
        write_prefs(prefs_xml({{"Reload Files", "<true/>"},
                               {"File Array", "<array>" + entry(gone1) + entry(a.string()) +
                                                  entry(gone2) + "</array>"}}));
        Harness h(prefs_);
        QVERIFY(h.window->start());
        QCOMPARE(h.window->file_list_model()->rowCount(), 1);
        QCOMPARE(text(h, kSendStatus), QStringLiteral("2 files of the list were not found."));
        const QString tip = h.window->control(kSendStatus)->toolTip();
        QVERIFY(tip.contains(QString::fromStdString(gone1)));
        QVERIFY(tip.contains(QString::fromStdString(gone2)));
    }

    void filesFromTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files");
        // "@" stands for the current folder: a relative path is made
        // absolute, so it still names its file when J3 starts elsewhere.
        QTest::newRow("absolute paths as given, relative ones made absolute")
            << QStringList{"/a/b.syx", "c.j3"} << QStringList{"/a/b.syx", "@/c.j3"};
        QTest::newRow("relative paths in and out of folders")
            << QStringList{"sub/d.syx", "./e.wav", "../f.aiff"}
            << QStringList{"@/sub/d.syx", "@/e.wav", "@/../f.aiff"};
        QTest::newRow("a file URL, escaped")
            << QStringList{"file:///tmp/My%20Kit.syx"} << QStringList{"/tmp/My Kit.syx"};
        QTest::newRow("other URLs and empty arguments are not files")
            << QStringList{"", "https://example.org/x.syx", "/x.wav"} << QStringList{"/x.wav"};
    }
    void filesFromTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        for (QString& f : files) {
            if (f.startsWith(QLatin1Char('@'))) f = QDir::cleanPath(QDir::currentPath() + f.mid(1));
        }
        QCOMPARE(files_from_arguments(arguments), files);
    }

    void filesGivenAtStartAreListed() {
        const auto a = write_file(*dir_, "a.syx", "\xF0\x01\xF7");
        const auto b = write_file(*dir_, "b.syx", "\xF0\x02\xF7");
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.window->open_files(files_from_arguments(
            {QString::fromStdString(a.string()),
             QUrl::fromLocalFile(QString::fromStdString(b.string())).toString()}));
        QCOMPARE(h.window->file_list_model()->rowCount(), 2);
        QCOMPARE(cell(h, 1, 0), QString::fromStdString(b.string()));
        QCOMPARE(h.window->list_selected_ids(), std::vector<uint32_t>{1});
    }

    void longPathsKeepTheirFileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("width");  // in widths of "x"
        QTest::addColumn<QString>("ends");
        QTest::newRow("fits: whole") << "/a/b.syx" << 40 << "/a/b.syx";
        QTest::newRow("the folder gives way")
            << "/home/user/sounds/kits/2024/Drum Kit 12.syx" << 24 << "/Drum Kit 12.syx";
        QTest::newRow("no folder") << QString(60, 'n') + ".syx" << 20 << ".syx";
        QTest::newRow("the name alone too wide")
            << "/d/" + QString(60, 'n') + ".syx" << 20 << ".syx";
    }
    void longPathsKeepTheirFileName() {
        QFETCH(QString, path);
        QFETCH(int, width);
        QFETCH(QString, ends);
        const QFontMetrics metrics(QApplication::font());
        const int pixels = width * metrics.horizontalAdvance(QLatin1Char('x'));
        const QString shown = elide_path(path, metrics, pixels);
        QVERIFY2(shown.endsWith(ends), qPrintable(shown));
        QVERIFY(metrics.horizontalAdvance(shown) <= pixels);
        if (metrics.horizontalAdvance(path) <= pixels) QCOMPARE(shown, path);
        // The whole path stays in the tooltip.
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, 1);
        const QModelIndex index = h.window->file_list_model()->index(0, 0);
        QCOMPARE(index.data(Qt::ToolTipRole), index.data(Qt::DisplayRole));
    }

    void aboutNamesTheLibraries() {
        const QString about = MainWindow::about_text();
        QVERIFY(about.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
        QVERIFY(
            about.contains(QStringLiteral("RtMidi ") + QString::fromStdString(rtmidi_version())));
        QVERIFY(about.contains(QStringLiteral("JACK ")));
        QVERIFY(about.contains(QStringLiteral("libplist ") +
                               QString::fromLatin1(plist_library_version())));
        QVERIFY(!QString::fromStdString(rtmidi_version()).isEmpty());
        // `j3 --version` says the same: the version, then the same library lines.
        const QStringList version = version_text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(version.value(0), QStringLiteral("j3 ") + j3_version());
        QVERIFY(about.startsWith(QStringLiteral("J3 ") + j3_version() + QLatin1Char('\n')));
        QCOMPARE(version.size(), 5);
        for (const QString& line : version.mid(1)) QVERIFY2(about.contains(line), qPrintable(line));
    }

    void theSpeedIsAskedForAtStartAndAfterOkAndTurboSwitchesIt() {
        const Bytes request = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7};
        const auto speed_set = [](uint8_t ss) {
            return Bytes{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x03, ss, 0xF7};
        };
        write_prefs(prefs_xml({{"Selected MIDI Interfaces In", int_xml(1)},
                               {"Selected MIDI Interfaces Out", int_xml(1)},
                               {"Turbo limit", int_xml(9)}}));
        Harness h(prefs_);
        QVERIFY(h.window->start());
        const Endpoint out = h.ctx.endpoints.destination_endpoint;
        QCOMPARE(h.midi.sent_copy().size(), size_t(1));
        QVERIFY(h.midi.sent_copy()[0].destination == out);
        QVERIFY(h.midi.sent_copy()[0].bytes == request);

        // The button, then the menu's shortcut.
        qobject_cast<QPushButton*>(h.window->control(kTurboButton))->click();
        QVERIFY(h.midi.sent_copy().back().bytes == speed_set(9));
        MidiPacket report;
        report.bytes = {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 9, 0xF7};
        h.midi.read_proc({report});
        QTRY_COMPARE(text(h, kSpeedLabel), QStringLiteral("13.3x"));
        QCOMPARE(h.midi.max_sysex_speed(out), 41562);
        QTest::qWait(1200);  // an answered Turbo says nothing more
        QVERIFY(!text(h, kSendStatus).contains(QStringLiteral("did not report")));
        QTest::keyClick(h.window.get(), Qt::Key_T, Qt::ControlModifier);
        QVERIFY(h.midi.sent_copy()[h.midi.sent_copy().size() - 2].bytes == speed_set(1));
        QTRY_COMPARE(text(h, kSpeedLabel), QStringLiteral(" "));
        QCOMPARE(h.midi.max_sysex_speed(out), 3125);

        // OK: back to normal, then the instrument is asked again.
        h.midi.read_proc({report});
        QTRY_COMPARE(text(h, kSpeedLabel), QStringLiteral("13.3x"));
        h.midi.sent.clear();
        h.window->command(kCmdConfig);
        h.window->config_window()->ok();
        QTRY_COMPARE(text(h, kSpeedLabel), QStringLiteral(" "));
        QVERIFY(h.midi.sent_copy().back().destination == h.ctx.endpoints.destination_endpoint);
        QVERIFY(h.midi.sent_copy().back().bytes == request);
    }

    void aTurboNobodyAnswersSaysSo() {
        write_prefs(prefs_xml({{"Selected MIDI Interfaces In", int_xml(1)},
                               {"Selected MIDI Interfaces Out", int_xml(1)}}));
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.window->command(kCmdTurbo);
        QTRY_COMPARE(text(h, kSendStatus),
                     QStringLiteral("The instrument did not report its speed."));
    }

    void preferencesRoundTripThroughTheWindow() {
        const auto a = write_file(*dir_, "a.syx", "\xF0\x01\xF7");
        const auto gone = write_file(*dir_, "gone.syx", "\xF0\x02\xF7");
        {
            Harness h(prefs_, 2, 2);
            QVERIFY(h.window->start(QGuiApplication::primaryScreen()));
            h.window->command(kCmdConfig);
            ConfigWindow* conf = h.window->config_window();
            QVERIFY(conf);
            qobject_cast<QListWidget*>(conf->control(kDestinationList))->setCurrentRow(1);
            qobject_cast<QListWidget*>(conf->control(kSourceList))->setCurrentRow(0);
            qobject_cast<QCheckBox*>(conf->control(kReloadCheckbox))->click();
            qobject_cast<QLineEdit*>(conf->control(kDelayField))->setText(QStringLiteral("30"));
            conf->ok();
            QVERIFY(add_file_entry(h.ctx, a, nullptr).ok);
            QVERIFY(add_file_entry(h.ctx, gone, nullptr).ok);
            h.window->set_frame_bounds(QRect(40, 30, 720, 420));
            h.window->close();
        }
        std::filesystem::remove(gone);
        Harness h(prefs_, 2, 2);
        QVERIFY(h.window->start());
        QCOMPARE(h.ctx.settings.selected_out, 2);
        QCOMPARE(h.ctx.settings.selected_in, 1);
        QCOMPARE(h.ctx.settings.send_delay.load(), 30);
        QVERIFY(h.ctx.settings.reload_files);
        QCOMPARE(h.window->frameGeometry(), QRect(40, 30, 720, 420));
        QCOMPARE(h.window->file_list_model()->rowCount(), 1);
        QCOMPARE(cell(h, 0, 0), QString::fromStdString(a.string()));
    }

    void preferencesThatCannotBeWrittenAreToldAtQuit() {
        // A file where the preferences' folder should be: they cannot be written.
        const auto blocker = write_file(*dir_, "blocker", "x");
        Harness h(blocker / "prefs.plist");
        QVERIFY(h.window->start());
        QStringList reasons;
        bool quit_anyway = false;
        h.window->set_preferences_failure_prompt([&](const QString& reason) {
            reasons << reason;
            return quit_anyway;
        });
        QVERIFY(!h.window->close());  // Cancel: the window stays
        QCOMPARE(reasons.size(), 1);
        QVERIFY(reasons[0].contains(QString::fromStdString((blocker / "prefs.plist").string())));
        h.window->command(kCmdQuit);  // asked again
        QCOMPARE(reasons.size(), 2);
        quit_anyway = true;
        QVERIFY(h.window->close());
        QCOMPARE(reasons.size(), 3);
    }
};

}  // namespace j3::testing

QTEST_MAIN(j3::testing::MainWindowTest)
#include "main_window_test.moc"
