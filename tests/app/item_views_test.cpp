// The selected item's picture and message table: what the window feeds them
// on selection, Loop and Stereo, removal and the waveform command.
#include <QMessageBox>
#include <QTableView>
#include <QtTest>

#include "app/app_test_support.h"
#include "app/item_views.h"
#include "app/message_table.h"
#include "app/sample_view.h"
#include "engine/list_commands.h"
#include "fixtures/audio_files.h"
#include "fixtures/sds_dumps.h"
#include "fixtures/sysex_blocks.h"
#include "format/item_choices.h"

namespace j3::testing {

class ItemViewsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::filesystem::path prefs_;

    void add(Harness& h, const std::string& name, const Bytes& bytes) {
        const auto p = write_file(*dir_, name, std::string(bytes.begin(), bytes.end()));
        QVERIFY(add_file_entry(h.ctx, p, nullptr).ok);
    }
    void select_only(Harness& h, uint32_t id) {
        qobject_cast<QTableView*>(h.window->control(kFileList))->clearSelection();
        h.window->list_select_item(id);
        QCoreApplication::processEvents();
    }
    SampleView* picture(Harness& h) { return h.window->item_views()->sample_view(); }
    MessageView* messages(Harness& h) { return h.window->item_views()->message_view(); }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prefs_ = std::filesystem::path(dir_->path().toStdString()) / "prefs" / kPreferencesFileName;
        std::filesystem::create_directories(prefs_.parent_path());
    }
    void cleanup() { dir_.reset(); }

    void aLoopedSampleShowsItsLoopByTheLoopChoice() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.window->resize(800, 500);
        const std::vector<int16_t> frames =
            interleave(sine(3000, 3.0, 1000), sine(3000, 7.0, 1000, 0, 4000.0));
        add(h, "loop.wav", wav16(frames, 2, Loop{1000, 1999, 0}));
        select_only(h, 1);
        QCOMPARE(picture(h)->mode(), SampleView::Mode::kAudio);
        QVERIFY(picture(h)->peaks().columns > 0);
        QCOMPARE(picture(h)->peaks().channels, 2);

        // Each press of Loop cycles the choice; the picture follows at once.
        const struct {
            bool looped;
            int32_t start, end;
        } presses[] = {{true, 1000, 1999}, {false, 1000, 1999}, {true, 1000, 1999}};
        QVERIFY(picture(h)->loop().looped);  // the file's own loop
        for (const auto& want : presses) {
            h.window->command(kCmdLoop);
            QCoreApplication::processEvents();
            QCOMPARE(picture(h)->loop().looped, want.looped);
            QCOMPARE(picture(h)->loop().start, want.start);
            QCOMPARE(picture(h)->loop().end, want.end);
            QCOMPARE(picture(h)->seam().after.empty(), !want.looped);
        }

        // The Stereo choice picks the highlighted lane: the pictures differ.
        QImage images[3];
        for (QImage& image : images) {
            h.window->command(kCmdStereo);
            QCoreApplication::processEvents();
            image = picture(h)->grab().toImage();
        }
        QCOMPARE(picture(h)->stereo_choice(), int32_t(kStereoMix));
        QVERIFY(images[0] != images[1]);
        QVERIFY(images[1] != images[2]);
    }

    void aSysexItemShowsItsMessagesAndTheirBytes() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        const Bytes broken = block({0x02, 0x52, block_data(20), 9, 3});
        add(h, "bank.syx", cat({{0x00}, family_block(0x02, 0x52), broken, {0xF0, 0x43}}));
        select_only(h, 1);
        MessageTableModel* table = messages(h)->table_model();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->index(1, MessageTableModel::kOffset).data().toULongLong(),
                 qulonglong(1 + family_block(0x02, 0x52).size()));
        QCOMPARE(table->index(0, MessageTableModel::kKind).data().toString(), QString("Kit"));
        QCOMPARE(table->index(0, MessageTableModel::kCheck).data().toString(), QString("good"));
        QCOMPARE(table->index(1, MessageTableModel::kCheck).data().toString(), QString("bad"));
        QVERIFY(!table->index(0, 0).data(Qt::ForegroundRole).isValid());
        QCOMPARE(table->index(1, 0).data(Qt::ForegroundRole).value<QColor>(),
                 error_colour(QPalette()));
        QCOMPARE(picture(h)->mode(), SampleView::Mode::kEmpty);

        // The first message's bytes, 16 a row; F0 and F7 are marked.
        HexModel* hex = messages(h)->hex_model();
        const Bytes first = family_block(0x02, 0x52);
        QCOMPARE(hex->rowCount(), int((first.size() + 15) / 16));
        QCOMPARE(hex->index(0, 0).data().toString(), QString("F0"));
        QCOMPARE(hex->index(0, 3).data().toString(), QString("3C"));
        QVERIFY(hex->index(0, 0).data(Qt::BackgroundRole).isValid());
        QVERIFY(!hex->index(0, 1).data(Qt::BackgroundRole).isValid());
        QCOMPARE(hex->index(0, HexModel::kAsciiColumn).data().toString().left(4), QString(".. <"));
        const int last = int(first.size() - 1);
        QCOMPARE(hex->index(last / 16, last % 16).data().toString(), QString("F7"));
        QVERIFY(hex->index(last / 16, last % 16).data(Qt::BackgroundRole).isValid());
        QCOMPARE(hex->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QString("00000011"));

        messages(h)->table()->selectRow(1);
        QCOMPARE(hex->rowCount(), int((broken.size() + 15) / 16));
        QCOMPARE(hex->headerData(0, Qt::Vertical, Qt::DisplayRole).toString(),
                 QStringLiteral("%1").arg(1 + first.size(), 8, 16, QLatin1Char('0')).toUpper());
    }

    void storedDumpsAndWaveformMessagesHavePictures() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add(h, "dump.syx",
            sds_dump(3, {.length = 120, .loop_start = 10, .loop_end = 99, .loop_type = 0}));
        add(h, "cycle.wav", wav16(sine(1100, 1.0, 1024, 76), 1, Loop{76, 1099, 0}));
        select_only(h, 1);
        QCOMPARE(picture(h)->mode(), SampleView::Mode::kAudio);
        QCOMPARE(picture(h)->loop().start, 10);
        QCOMPARE(picture(h)->loop().end, 99);
        QCOMPARE(messages(h)->table_model()->rowCount(), 4);

        // The waveform command replaces the audio item: its cycles are shown.
        select_only(h, 2);
        QCOMPARE(picture(h)->mode(), SampleView::Mode::kAudio);
        h.window->command(kCmdWaveform);
        QCoreApplication::processEvents();
        QCOMPARE(picture(h)->mode(), SampleView::Mode::kWaveform);
        QCOMPARE(messages(h)->table_model()->rowCount(), 1);
        QCOMPARE(messages(h)->table_model()->index(0, MessageTableModel::kKind).data().toString(),
                 QString("Waveform"));

        // Removing the items leaves nothing that points into them. The built
        // item was never saved: Erase asks first, and is told to go on.
        int asked = 0;
        h.window->set_unsaved_prompt([&](int count) {
            asked = count;
            return int(QMessageBox::Discard);
        });
        h.window->command(kCmdErase);
        QCOMPARE(asked, 1);
        QCoreApplication::processEvents();
        QCOMPARE(picture(h)->mode(), SampleView::Mode::kEmpty);
        QCOMPARE(messages(h)->table_model()->rowCount(), 0);
    }
};

}  // namespace j3::testing

QTEST_MAIN(j3::testing::ItemViewsTest)
#include "item_views_test.moc"
