// The configuration window: what it shows on opening, what OK takes and
// what Close leaves alone.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

#include "app/app_test_support.h"
#include "app/config_window.h"

namespace j3::testing {

class ConfigWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::filesystem::path prefs_;

    void write_prefs(const std::string& text) { std::ofstream(prefs_, std::ios::binary) << text; }
    ConfigWindow* open(Harness& h) {
        h.window->command(kCmdConfig);
        return h.window->config_window();
    }
    template <typename T>
    T* get(ConfigWindow* conf, int id) {
        return qobject_cast<T*>(conf->control(id));
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prefs_ = std::filesystem::path(dir_->path().toStdString()) / kPreferencesFileName;
    }
    void cleanup() { dir_.reset(); }

    void popupsMapToTurboLimitAndSdsFormat_data() {
        QTest::addColumn<int>("stored_turbo");
        QTest::addColumn<int>("shown_item");   // 1-based
        QTest::addColumn<int>("chosen_item");  // 0: leave as shown
        QTest::addColumn<int>("want_limit");
        QTest::addColumn<int>("stored_format");
        QTest::addColumn<int>("chosen_format");
        QTest::newRow("11 opens at item 1") << 11 << 1 << 0 << 11 << 1 << 0;
        QTest::newRow("item 3 stores 6, WAV") << 11 << 1 << 3 << 6 << 1 << 2;
        QTest::newRow("9 opens at item 1 and stores 11") << 9 << 1 << 0 << 11 << 3 << 0;
        QTest::newRow("0 opens at item 8 and stores 1") << 0 << 8 << 0 << 1 << 4 << 0;
        QTest::newRow("item 8 stores 1, AIFF") << 5 << 4 << 8 << 1 << 2 << 3;
    }
    void popupsMapToTurboLimitAndSdsFormat() {
        QFETCH(int, stored_turbo);
        QFETCH(int, shown_item);
        QFETCH(int, chosen_item);
        QFETCH(int, want_limit);
        QFETCH(int, stored_format);
        QFETCH(int, chosen_format);
        write_prefs(prefs_xml(
            {{"Turbo limit", int_xml(stored_turbo)}, {"SDS format", int_xml(stored_format)}}));
        Harness h(prefs_);
        QVERIFY(h.window->start());
        ConfigWindow* conf = open(h);
        QVERIFY(conf);
        auto* turbo = get<QComboBox>(conf, kTurboPopup);
        auto* format = get<QComboBox>(conf, kSdsFormatPopup);
        QCOMPARE(turbo->count(), 8);
        QCOMPARE(format->count(), 4);
        QCOMPARE(turbo->currentIndex() + 1, shown_item);
        QCOMPARE(format->currentIndex() + 1, stored_format);
        if (chosen_item) turbo->setCurrentIndex(chosen_item - 1);
        if (chosen_format) format->setCurrentIndex(chosen_format - 1);
        conf->ok();
        QCOMPARE(h.ctx.settings.turbo_limit, want_limit);
        QCOMPARE(h.ctx.settings.sds_format, chosen_format ? chosen_format : stored_format);
        QCOMPARE(h.ctx.settings.prefs_dict.find("Turbo limit")->integer, int64_t(want_limit));
    }

    void okTakesEveryValue() {
        Harness h(prefs_, 3, 2);
        QVERIFY(h.window->start());
        ConfigWindow* conf = open(h);
        QVERIFY(!h.window->control(kConfigButton)->isEnabled());
        get<QListWidget>(conf, kSourceList)->setCurrentRow(2);
        get<QListWidget>(conf, kDestinationList)->setCurrentRow(1);
        get<QCheckBox>(conf, kHandshakeCheckbox)->setChecked(true);
        get<QCheckBox>(conf, kSendFilenameCheckbox)->setChecked(true);
        get<QCheckBox>(conf, kExtendedSdsCheckbox)->setChecked(true);
        get<QLineEdit>(conf, kDelayField)->setText(QStringLiteral("30"));
        get<QLineEdit>(conf, kDeviceNumberField)->setText(QStringLiteral("200"));
        conf->ok();
        QTRY_VERIFY(h.window->config_window() == nullptr);
        QVERIFY(h.window->control(kConfigButton)->isEnabled());
        const Settings& s = h.ctx.settings;
        QCOMPARE(s.selected_in, 3);
        QCOMPARE(s.selected_out, 2);
        QCOMPARE(h.midi.connected, std::vector<Endpoint>{h.midi.source(2)});
        QCOMPARE(h.ctx.endpoints.destination_endpoint.load(), h.midi.destination(1));
        QVERIFY(!s.ignore_handshake);
        QVERIFY(s.send_filename);
        QVERIFY(s.extended_sds);
        QCOMPARE(s.send_delay.load(), 30);
        QCOMPARE(int(s.device_number), 127);  // typed 200
        QCOMPARE(s.prefs_dict.find("Device Number")->string, std::string("200"));
    }

    void closeKeepsTheSettingsAndTheConnections() {
        write_prefs(prefs_xml({{"Selected MIDI Interfaces In", int_xml(1)},
                               {"Selected MIDI Interfaces Out", int_xml(1)},
                               {"Delay", "<string>12</string>"}}));
        Harness h(prefs_, 2, 1);
        QVERIFY(h.window->start());
        QCOMPARE(h.midi.connected, std::vector<Endpoint>{h.midi.source(0)});
        ConfigWindow* conf = open(h);
        QCOMPARE(h.midi.connected, std::vector<Endpoint>{h.midi.source(0)});
        QCOMPARE(first_selected_position(get<QListWidget>(conf, kSourceList)), 1);
        QCOMPARE(get<QLineEdit>(conf, kDelayField)->text(), QStringLiteral("12"));
        get<QLineEdit>(conf, kDelayField)->setText(QStringLiteral("99"));
        get<QListWidget>(conf, kSourceList)->setCurrentRow(1);
        get<QCheckBox>(conf, kReloadCheckbox)->click();
        QVERIFY(h.ctx.settings.reload_files);  // each click changes the setting
        conf->refresh_endpoint_lists();        // the rescan each second while open
        QCOMPARE(h.midi.connected, std::vector<Endpoint>{h.midi.source(0)});
        conf->close_window();
        QTRY_VERIFY(h.window->config_window() == nullptr);
        QVERIFY(h.window->control(kConfigButton)->isEnabled());
        QCOMPARE(h.ctx.settings.send_delay.load(), 12);
        QCOMPARE(h.ctx.settings.prefs_dict.find("Delay")->string, std::string("12"));
        QCOMPARE(h.ctx.settings.selected_in, 1);
        QCOMPARE(h.midi.connected, std::vector<Endpoint>{h.midi.source(0)});
        QVERIFY(h.ctx.endpoints.source_connected);
        QCOMPARE(h.ctx.endpoints.destination_endpoint.load(), h.midi.destination(0));
        // The next opening shows the stored values again; Esc leaves the
        // connection too, also when the port has moved meanwhile.
        conf = open(h);
        QVERIFY(!get<QCheckBox>(conf, kReloadCheckbox)->isChecked());
        QCOMPARE(get<QLineEdit>(conf, kDelayField)->text(), QStringLiteral("12"));
        h.midi.sources.insert(h.midi.sources.begin(), EndpointInfo{"New"});
        conf->refresh_endpoint_lists();
        QTest::keyClick(conf, Qt::Key_Escape);
        QTRY_VERIFY(h.window->config_window() == nullptr);
        QCOMPARE(h.ctx.settings.selected_in, 2);
        QCOMPARE(h.midi.connected, std::vector<Endpoint>{h.midi.source(1)});
    }

    void theListsFollowPortsThatComeAndGo() {
        Harness h(prefs_, 1, 2);  // "Out 1", "Out 2"
        QVERIFY(h.window->start());
        ConfigWindow* conf = open(h);
        QVERIFY(conf);
        auto* destinations = get<QListWidget>(conf, kDestinationList);
        destinations->setCurrentRow(1);
        const auto names = [&] {
            QStringList shown;
            for (int i = 0; i < destinations->count(); ++i) shown << destinations->item(i)->text();
            return shown;
        };
        const struct {
            const char* description;
            std::vector<std::string> ports;  // as the system lists them now
            QStringList shown;
            int32_t chosen;
        } steps[] = {
            {"a port appears in front: the choice moves with its port",
             {"New", "Out 1", "Out 2"},
             {"New", "Out 1", "Out 2"},
             3},
            {"the chosen port leaves: nothing chosen", {"New", "Out 1"}, {"New", "Out 1"}, 0},
            {"nothing changed", {"New", "Out 1"}, {"New", "Out 1"}, 0},
            {"it comes back elsewhere: chosen again",
             {"Out 2", "New", "Out 1"},
             {"Out 2", "New", "Out 1"},
             1},
            {"it leaves again", {"Out 1"}, {"Out 1"}, 0},
        };
        for (const auto& step : steps) {
            h.midi.destinations.clear();
            for (const std::string& p : step.ports) h.midi.destinations.push_back({p});
            conf->refresh_endpoint_lists();
            QVERIFY2(names() == step.shown, step.description);
            QVERIFY2(first_selected_position(destinations) == step.chosen, step.description);
        }
        // OK while the chosen port is away keeps it by name: not "none".
        conf->ok();
        QCOMPARE(h.ctx.settings.selected_out, 0);
        QCOMPARE(h.ctx.settings.selected_out_name, std::string("Out 2"));
        QCOMPARE(h.ctx.settings.prefs_dict.find("Selected MIDI Interfaces Out Name")->string,
                 std::string("Out 2"));
    }

    void aRememberedPortIsChosenWhenItComesBack() {
        write_prefs(prefs_xml({{"Selected MIDI Interfaces Out", int_xml(2)},
                               {"Selected MIDI Interfaces Out Name", "<string>- Synth</string>"}}));
        Harness h(prefs_, 1, 1);
        QVERIFY(h.window->start());
        QCOMPARE(h.ctx.settings.selected_out, 0);
        ConfigWindow* conf = open(h);
        auto* destinations = get<QListWidget>(conf, kDestinationList);
        QCOMPARE(first_selected_position(destinations), 0);
        h.midi.destinations.push_back({"Synth"});
        conf->refresh_endpoint_lists();
        QCOMPARE(first_selected_position(destinations), 2);
        conf->ok();
        QCOMPARE(h.ctx.settings.selected_out, 2);
        QCOMPARE(h.ctx.endpoints.destination_endpoint, h.midi.destination(1));
    }

    void theFieldsTakeDigitsOnly() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        ConfigWindow* conf = open(h);
        auto* device = get<QLineEdit>(conf, kDeviceNumberField);
        device->clear();
        QTest::keyClicks(device, "1x2.7");
        QCOMPARE(device->text(), QStringLiteral("127"));
        conf->close_window();
    }
};

}  // namespace j3::testing

QTEST_MAIN(j3::testing::ConfigWindowTest)
#include "config_window_test.moc"
