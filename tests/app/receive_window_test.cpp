// The window's side of receiving: the Receive button, the received entries
// arriving from the input thread, Save with a selection, and the question
// before received data that was never saved is lost.
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QtTest>

#include <thread>

#include "app/app_test_support.h"
#include "app/file_list_model.h"
#include "engine/list_commands.h"
#include "engine/outcomes.h"
#include "filelist/file_entry.h"
#include "filelist/list_file.h"
#include "receive/midi_read.h"
#include "receive/reception.h"

namespace j3::testing {

class ReceiveWindowTest : public QObject {
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
    QTableView* list(Harness& h) { return qobject_cast<QTableView*>(h.window->control(kFileList)); }
    QString name(Harness& h, int row) {
        return h.window->file_list_model()->index(row, 0).data().toString();
    }
    std::unique_ptr<Harness> started() {
        auto h = std::make_unique<Harness>(prefs_);
        h->window->start();
        h->ctx.settings.selected_in = 1;
        return h;
    }
    // Bytes arriving on a thread of their own, as the MIDI service's input thread.
    void arrive(Harness& h, std::vector<uint8_t> bytes) {
        std::thread input([&] { midi_read(h.ctx, {{0, bytes}}); });
        input.join();
    }
    // n received entries, each one message, then the window has taken them.
    void receive_entries(Harness& h, int n) {
        for (int i = 0; i < n; ++i) {
            h.window->command(kCmdReceive);
            arrive(h, {0xF0, uint8_t(i), 0xF7});
            h.window->command(kCmdReceive);
        }
        QCoreApplication::processEvents();
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prefs_ = std::filesystem::path(dir_->path().toStdString()) / kPreferencesFileName;
    }
    void cleanup() { dir_.reset(); }

    void receiveAndStopMakeAnEntryWithoutTouchingTheSelection() {
        auto h = started();
        receive_entries(*h, 1);  // an entry to hold the selection
        h->window->list_select_item(1);
        h->window->command(kCmdReceive);
        QCoreApplication::processEvents();
        QCOMPARE(text(*h, kReceiveButton), QStringLiteral("Stop!"));
        arrive(*h, {0xF0, 0x01, 0x02, 0xF7});
        h->window->update_status();
        QCOMPARE(text(*h, kReceiveStatus), QStringLiteral("Receiving. 4 bytes."));
        h->window->command(kCmdReceive);
        QCoreApplication::processEvents();
        h->window->update_status();
        QCOMPARE(text(*h, kReceiveButton), QStringLiteral("Receive"));
        // The ending keeps the count; the next command clears it.
        QCOMPARE(text(*h, kReceiveStatus), QStringLiteral("Received 4 bytes."));
        QCOMPARE(h->window->file_list_model()->rowCount(), 2);
        QCOMPARE(name(*h, 1), QStringLiteral("Received data 2.syx"));
        QCOMPARE(h->window->list_selected_ids(), std::vector<uint32_t>{1});
        QCOMPARE(h->ctx.files.entry(2).value().data,
                 (std::vector<uint8_t>{0xF0, 0x01, 0x02, 0xF7}));
    }

    void aNewCommandClearsThePreviousOnesOutcome() {
        const QString xrun = QString::fromStdString(send_outcome_text({SendEnd::kXrun}));
        for (const int command : {int(kCmdReceive), int(kCmdTurbo)}) {
            auto h = started();
            h->window->set_send_status(xrun.toStdString());
            QCoreApplication::processEvents();
            QCOMPARE(text(*h, kSendStatus), xrun);
            h->window->command(uint32_t(command));
            QCoreApplication::processEvents();
            QVERIFY2(text(*h, kSendStatus) != xrun, qPrintable(text(*h, kSendStatus)));
        }
    }

    void receiveWithoutASourceSaysSo() {
        auto h = started();
        h->ctx.settings.selected_in = 0;
        h->window->command(kCmdReceive);
        QVERIFY(!h->ctx.reception->receiving());
        QVERIFY(text(*h, kReceiveStatus).startsWith(QStringLiteral("No MIDI source")));
    }

    void saveWritesTheSelectedEntriesOneDialogEach() {
        auto h = started();
        receive_entries(*h, 3);
        h->window->list_select_item(1);
        h->window->list_select_item(3);
        QStringList proposed;
        h->window->set_save_chooser([&](const QString& p) {
            proposed << p;
            return dir_->filePath(QStringLiteral("saved ") + p);
        });
        h->window->command(kCmdSave);
        QCOMPARE(proposed, (QStringList{QStringLiteral("Received data 1.syx"),
                                        QStringLiteral("Received data 3.syx")}));
        std::vector<uint8_t> written;
        QVERIFY(
            read_whole_file(
                dir_->filePath(QStringLiteral("saved Received data 3.syx")).toStdString(), written)
                .ok);
        QCOMPARE(written, (std::vector<uint8_t>{0xF0, 0x02, 0xF7}));
        QVERIFY(!h->ctx.files.entry(1).value().unsaved);
        QVERIFY(h->ctx.files.entry(2).value().unsaved);
    }

    void commandsThatReplaceOrRemoveUnsavedEntriesAskFirst() {
        // A list of one item on disk, to be opened over a received entry.
        const std::filesystem::path folder(dir_->path().toStdString());
        const std::filesystem::path item = folder / "item.syx";
        QVERIFY(write_whole_file(item, std::vector<uint8_t>{0xF0, 0x01, 0xF7}.data(), 3).ok);
        FileEntry listed;
        listed.file = item.string();
        const std::filesystem::path list_file = folder / "list.j3";
        QVERIFY(write_file_list(list_file, std::span<const FileEntry>(&listed, 1), 0).ok);
        const QString list_path = QString::fromStdString(list_file.string());

        enum How { kErase, kOpen, kDrop, kArgument };
        const char* const how_names[] = {"Erase", "File > Open", "a drop", "j3 LIST.j3"};
        struct Case {
            const char* what;
            bool unsaved;
            int answer;
            bool save_chosen;  // the save dialog gives a path
            bool want_asked;
            bool want_gone;  // the received entry was removed or replaced
        };
        const Case cases[] = {
            {"saved: no question", false, QMessageBox::Cancel, false, false, true},
            {"cancel keeps it", true, QMessageBox::Cancel, false, true, false},
            {"discard lets it go", true, QMessageBox::Discard, false, true, true},
            {"save, then it goes", true, QMessageBox::Save, true, true, true},
            {"save cancelled keeps it", true, QMessageBox::Save, false, true, false},
        };
        for (const How how : {kErase, kOpen, kDrop, kArgument}) {
            for (const Case& c : cases) {
                const QString where = QString::fromUtf8(how_names[how]) + QStringLiteral(", ") +
                                      QString::fromUtf8(c.what);
                const QByteArray where_text = where.toUtf8();
                auto h = started();
                receive_entries(*h, 1);
                h->ctx.files.with_entry(1, [&](FileEntry& e) { e.unsaved = c.unsaved; });
                int asked = 0;  // the count the question named
                h->window->set_unsaved_prompt([&](int count) {
                    asked = count;
                    return c.answer;
                });
                const QString saved_as = dir_->filePath(where + QStringLiteral(".syx"));
                h->window->set_save_chooser(
                    [&](const QString&) { return c.save_chosen ? saved_as : QString(); });
                switch (how) {
                    case kErase:
                        h->window->list_select_item(1);
                        h->window->command(kCmdErase);
                        break;
                    case kOpen:
                        h->window->set_file_chooser([&] { return QStringList{list_path}; });
                        h->window->command(kCmdOpen);
                        break;
                    case kDrop: {
                        QMimeData data;
                        data.setUrls({QUrl::fromLocalFile(list_path)});
                        h->window->file_list_model()->dropMimeData(&data, Qt::CopyAction, -1, -1,
                                                                   {});
                        break;
                    }
                    case kArgument:
                        h->window->open_files({list_path});
                        break;
                }
                QCoreApplication::processEvents();
                QVERIFY2(asked == (c.want_asked ? 1 : 0), where_text.constData());
                const std::vector<FileEntry> files = h->ctx.files.entries();
                const bool still_there =
                    !files.empty() && files[0].data == std::vector<uint8_t>{0xF0, 0x00, 0xF7};
                QVERIFY2(still_there == !c.want_gone, where_text.constData());
                if (c.want_gone && how != kErase) {
                    QVERIFY2(files.size() == 1 && files[0].file == item.string(),
                             where_text.constData());
                }
                QVERIFY2(QFile::exists(saved_as) == (c.unsaved && c.save_chosen),
                         where_text.constData());
            }
        }
    }

    void quittingAsksBeforeUnsavedReceivedDataIsLost() {
        struct Case {
            const char* what;
            int answer;
            bool save_chosen;  // the save dialog gives a path
            bool want_closed;
            bool want_saved;
        };
        const Case cases[] = {
            {"cancel stays", QMessageBox::Cancel, false, false, false},
            {"discard quits", QMessageBox::Discard, false, true, false},
            {"save quits once saved", QMessageBox::Save, true, true, true},
            {"save stays when the dialog is cancelled", QMessageBox::Save, false, false, false},
        };
        for (const Case& c : cases) {
            auto h = started();
            receive_entries(*h, 1);
            // A reception still holding data counts too.
            h->window->command(kCmdReceive);
            arrive(*h, {0xF0, 0x05, 0xF7});
            int asked = 0;
            h->window->set_unsaved_prompt([&](int count) {
                asked = count;
                return c.answer;
            });
            h->window->set_save_chooser([&](const QString& p) {
                return c.save_chosen ? dir_->filePath(QString::fromUtf8(c.what) + p) : QString();
            });
            const bool closed = h->window->close();
            QVERIFY2(asked == 2, c.what);
            QVERIFY2(closed == c.want_closed, c.what);
            QVERIFY2(QFile::exists(dir_->filePath(QString::fromUtf8(c.what) +
                                                  QStringLiteral("Received data 2.syx"))) ==
                         c.want_saved,
                     c.what);
        }
        // Nothing received: no question.
        auto h = started();
        bool asked = false;
        h->window->set_unsaved_prompt([&](int) {
            asked = true;
            return int(QMessageBox::Cancel);
        });
        QVERIFY(h->window->close());
        QVERIFY(!asked);
    }
};

}  // namespace j3::testing

QTEST_MAIN(j3::testing::ReceiveWindowTest)
#include "receive_window_test.moc"
