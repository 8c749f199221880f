// The window's commands that ask the instrument: Request Samples… over the
// fake MIDI service, a dump arriving for one number and none for the next;
// and the configuration window's Identify with a reply and with none.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <thread>

#include "app/app_test_support.h"
#include "app/config_window.h"
#include "app/file_list_model.h"
#include "engine/context.h"
#include "format/sds_messages.h"
#include "midi/endpoints.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3::testing {

class AskWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::filesystem::path prefs_;

    QString text(Harness& h, int control) {
        QWidget* w = h.window->control(control);
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        return {};
    }
    std::unique_ptr<Harness> started() {
        auto h = std::make_unique<Harness>(prefs_);
        h->window->start();
        h->ctx.settings.selected_in = 1;
        h->ctx.settings.selected_out = choose_destination(h->midi, h->ctx.endpoints, 1, false);
        return h;
    }
    void arrive(Harness& h, std::vector<uint8_t> bytes) {
        std::thread input([&] { midi_read(h.ctx, {{0, bytes}}); });
        input.join();
    }
    std::vector<uint8_t> last_sent(Harness& h) {
        const auto sent = h.midi.sent_copy();
        return sent.empty() ? std::vector<uint8_t>{} : sent.back().bytes;
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prefs_ = std::filesystem::path(dir_->path().toStdString()) / kPreferencesFileName;
    }
    void cleanup() { dir_.reset(); }

    void requestSamplesNamesWhatCameAndTheNumberThatDidNot() {
        auto h = started();
        h->ctx.settings.ignore_handshake = true;
        RequestSeries chosen;
        chosen.first = 3;
        chosen.last = 4;
        chosen.wait_ms = 100;
        h->window->set_request_chooser([&] { return std::optional<RequestSeries>(chosen); });
        h->window->request_samples_command();
        QCoreApplication::processEvents();
        QCOMPARE(text(*h, kReceiveStatus), QStringLiteral("Requesting sample 3 (1 of 2)."));
        QCOMPARE(text(*h, kReceiveButton), QStringLiteral("Stop!"));
        QCOMPARE(last_sent(*h), (std::vector<uint8_t>{0xF0, 0x7E, 0x00, 0x03, 0x03, 0x00, 0xF7}));

        // Sample 3: 40 words, one packet.
        SdsDumpHeader header;
        header.sample_number = 3;
        header.bits = 16;
        header.period_ns = 22676;
        header.length = 40;
        std::vector<uint8_t> dump(kSdsStandardHeaderSize);
        build_standard_header(dump.data(), header);
        std::vector<uint8_t> packet(kSdsPacketSize, 0);
        finish_data_packet(packet.data(), 0, 0);
        dump.insert(dump.end(), packet.begin(), packet.end());
        arrive(*h, dump);
        h->window->update_status();
        QCoreApplication::processEvents();
        QCOMPARE(text(*h, kReceiveStatus), QStringLiteral("Requesting sample 4 (2 of 2)."));
        QCOMPARE(last_sent(*h), (std::vector<uint8_t>{0xF0, 0x7E, 0x00, 0x03, 0x04, 0x00, 0xF7}));
        QCOMPARE(h->window->file_list_model()->index(0, 0).data().toString(),
                 QStringLiteral("Sample 3.syx"));

        // Sample 4 never comes.
        QTest::qWait(chosen.wait_ms + 20);
        h->window->update_status();
        QCoreApplication::processEvents();
        QCOMPARE(text(*h, kReceiveStatus), QStringLiteral("Done. No sample 4."));
        QCOMPARE(text(*h, kReceiveButton), QStringLiteral("Receive"));
        QVERIFY(!h->window->request_series());
    }

    void sendAndReceiveListensBeforeTheRequestGoesOut() {
        auto h = started();
        const std::filesystem::path request = write_file(*dir_, "ask.syx", "\xF0\x43\x20\xF7");
        h->window->open_files({QString::fromStdString(request.string())});
        QCoreApplication::processEvents();
        h->window->list_select_item(1);
        h->window->send_and_receive_command();
        QCoreApplication::processEvents();
        QVERIFY(h->reception.receiving());
        QCOMPARE(text(*h, kReceiveButton), QStringLiteral("Stop!"));
        h->midi.complete_all();
        QCOMPARE(h->midi.sent_bytes(), (std::vector<uint8_t>{0xF0, 0x43, 0x20, 0xF7}));
        // The answer is kept until Stop.
        arrive(*h, {0xF0, 0x43, 0x00, 0x01, 0xF7});
        QVERIFY(h->reception.receiving());
        h->window->command(kCmdReceive);
        QCoreApplication::processEvents();
        QCOMPARE(h->window->file_list_model()->rowCount(), 2);
    }

    void identifyShowsEachReplyOrNoAnswer() {
        auto h = started();
        for (const bool answered : {true, false}) {
            h->window->command(kCmdConfig);
            ConfigWindow* conf = h->window->config_window();
            QVERIFY(conf);
            qobject_cast<QListWidget*>(conf->control(kSourceList))->setCurrentRow(0);
            qobject_cast<QListWidget*>(conf->control(kDestinationList))->setCurrentRow(0);
            conf->identify();
            QCOMPARE(last_sent(*h), (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
            if (answered) {
                arrive(*h, {0xF0, 0x7E, 0x10, 0x06, 0x02, 0x43, 0x01, 0x02, 0x7F, 0x01, 1, 0, 12, 0,
                            0xF7});
            }
            QTRY_VERIFY_WITH_TIMEOUT(conf->identify_text() != QStringLiteral("Asking…"), 3000);
            QCOMPARE(conf->identify_text(),
                     answered ? QStringLiteral("Device 16: maker 43 (Yamaha), family 257, "
                                               "member 255, version 1.0.12.0")
                              : QStringLiteral("No answer."));
            conf->close_window();
            QTRY_VERIFY(h->window->config_window() == nullptr);
        }
    }
};

}  // namespace j3::testing

QTEST_MAIN(j3::testing::AskWindowTest)
#include "ask_window_test.moc"
