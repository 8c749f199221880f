// The file list as a document: rows reordered by dragging, files dropped from
// a file manager, and the list saved and opened again through the window.
// Drags are given to the model directly (offscreen, no real drag can run).
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTableView>
#include <QUrl>
#include <QtTest>

#include <memory>

#include "app/app_test_support.h"
#include "app/file_list_model.h"
#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/held_send.h"
#include "filelist/list_file.h"

namespace j3::testing {

namespace fs = std::filesystem;

class FileListDropTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::filesystem::path prefs_;

    fs::path folder() const { return fs::path(dir_->path().toStdString()); }
    QTableView* list(Harness& h) { return qobject_cast<QTableView*>(h.window->control(kFileList)); }
    // Items named P.syx, Q.syx ... in the folder, in that order.
    void add_items(Harness& h, const std::string& names) {
        for (char c : names) {
            const auto p = write_file(*dir_, std::string(1, c) + ".syx", "\xF0\x01\xF7");
            QVERIFY(add_file_entry(h.ctx, p, nullptr).ok);
        }
    }
    // The list's order as the entries' first letters.
    std::string order(Harness& h) {
        std::string out;
        for (const FileEntry& e : h.ctx.files.entries())
            out += fs::path(e.file).filename().string()[0];
        return out;
    }
    std::unique_ptr<QMimeData> drag(Harness& h, const std::vector<int>& rows) {
        QModelIndexList indexes;
        for (int r : rows) {
            for (int column = 0; column < FileListModel::kColumnCount; ++column)
                indexes << h.window->file_list_model()->index(r, column);
        }
        return std::unique_ptr<QMimeData>(h.window->file_list_model()->mimeData(indexes));
    }
    static std::unique_ptr<QMimeData> uris(const std::vector<fs::path>& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const fs::path& p : paths)
            urls << QUrl::fromLocalFile(QString::fromStdString(p.string()));
        data->setUrls(urls);
        return data;
    }
    void select_only(Harness& h, std::vector<uint32_t> ids) {
        list(h)->clearSelection();
        for (uint32_t id : ids) h.window->list_select_item(id);
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        prefs_ = folder() / "prefs" / kPreferencesFileName;
        std::filesystem::create_directories(prefs_.parent_path());
    }
    void cleanup() { dir_.reset(); }

    void reorder_data() {
        QTest::addColumn<QList<int>>("dragged");  // rows, from 0
        QTest::addColumn<int>("row");             // between rows; -1: onto a row or below them
        QTest::addColumn<int>("onto");            // the row dropped on; -1: none
        QTest::addColumn<QString>("want");
        QTest::newRow("one down onto the next but one") << QList<int>{1} << -1 << 2 << "PRQS";
        QTest::newRow("one up onto the first") << QList<int>{2} << -1 << 0 << "RPQS";
        QTest::newRow("first down onto the last") << QList<int>{0} << -1 << 3 << "QRSP";
        QTest::newRow("onto itself") << QList<int>{1} << -1 << 1 << "PQRS";
        QTest::newRow("one past the last row") << QList<int>{0} << -1 << -1 << "QRSP";
        QTest::newRow("one between rows, up") << QList<int>{3} << 1 << -1 << "PSQR";
        QTest::newRow("one between rows, down") << QList<int>{0} << 3 << -1 << "QRPS";
        QTest::newRow("several down onto the last") << QList<int>{0, 2} << -1 << 3 << "QSPR";
        QTest::newRow("several up onto the first") << QList<int>{1, 3} << -1 << 0 << "QSPR";
        QTest::newRow("several around the drop point") << QList<int>{0, 3} << 2 << -1 << "QPSR";
        QTest::newRow("several past the last row") << QList<int>{2, 0} << -1 << -1 << "QSPR";
        QTest::newRow("several onto one of them") << QList<int>{1, 2} << -1 << 2 << "PQRS";
    }

    void reorder() {
        QFETCH(QList<int>, dragged);
        QFETCH(int, row);
        QFETCH(int, onto);
        QFETCH(QString, want);
        Harness h(prefs_);
        add_items(h, "PQRS");
        FileListModel* model = h.window->file_list_model();
        std::vector<uint32_t> selected;
        for (int r : dragged) selected.push_back(uint32_t(r) + 1);
        select_only(h, selected);

        const auto data = drag(h, std::vector<int>(dragged.begin(), dragged.end()));
        const QModelIndex parent = onto >= 0 ? model->index(onto, 0) : QModelIndex();
        QVERIFY(model->canDropMimeData(data.get(), Qt::MoveAction, row, 0, parent));
        QVERIFY(model->dropMimeData(data.get(), Qt::MoveAction, row, 0, parent));
        QCOMPARE(QString::fromStdString(order(h)), want);
        QCOMPARE(model->rowCount(), 4);
        // The moved entries stay selected in their new places.
        std::string selected_names;
        for (uint32_t id : h.window->list_selected_ids())
            selected_names += fs::path(h.ctx.files.entry(id).value().file).filename().string()[0];
        std::string dragged_names;
        for (int r : dragged) dragged_names += "PQRS"[r];
        std::sort(selected_names.begin(), selected_names.end());
        std::sort(dragged_names.begin(), dragged_names.end());
        QCOMPARE(QString::fromStdString(selected_names), QString::fromStdString(dragged_names));
    }

    // The view hands drops to the model: dragged rows by where they are let
    // go over a row, files anywhere.
    void theViewPassesDropsToTheModel() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, "PQRS");
        QTableView* view = list(h);
        const auto drop = [&](const QMimeData* data, QPoint at, Qt::DropAction action) {
            QDragEnterEvent enter(at, action, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view->viewport(), &enter);
            QDragMoveEvent move(at, action, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view->viewport(), &move);
            QDropEvent dropped(QPointF(at), action, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view->viewport(), &dropped);
            return dropped.isAccepted();
        };
        const QRect row_r = view->visualRect(h.window->file_list_model()->index(2, 0));

        const auto p_onto_r = drag(h, {0});
        QVERIFY(drop(p_onto_r.get(), row_r.center(), Qt::MoveAction));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("QRPS"));
        const auto s_above_p = drag(h, {3});
        QVERIFY(drop(s_above_p.get(), row_r.topLeft() + QPoint(4, 1), Qt::MoveAction));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("QRSP"));

        const auto files = uris({write_file(*dir_, "n.syx", "\xF0\xF7")});
        QVERIFY(drop(files.get(), row_r.center(), Qt::CopyAction));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("QRSPn"));
    }

    void dropsAreRefusedWhileSendingAndFromAnotherList() {
        Harness h(prefs_);
        Harness other(folder() / "prefs" / "other.plist");
        add_items(h, "PQRS");
        add_items(other, "PQRS");
        FileListModel* model = h.window->file_list_model();
        const auto rows = drag(h, {0});
        const auto files = uris({write_file(*dir_, "n.syx", "\xF0\xF7")});

        QVERIFY(start_held_send(h.ctx));
        for (const QMimeData* data : {static_cast<const QMimeData*>(rows.get()),
                                      static_cast<const QMimeData*>(files.get())}) {
            QVERIFY(!model->canDropMimeData(data, Qt::MoveAction, -1, -1, {}));
            QVERIFY(!model->dropMimeData(data, Qt::MoveAction, -1, -1, {}));
        }
        // Stopped, with its last request still held by the service.
        stop_sending(h.ctx);
        QVERIFY(!h.ctx.send.sending());
        QVERIFY(!model->dropMimeData(rows.get(), Qt::MoveAction, -1, -1, {}));
        QVERIFY(end_held_send(h.ctx, h.midi));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("PQRS"));

        // Row ids of another window's list name nothing here.
        const auto foreign = drag(other, {0});
        QVERIFY(!model->dropMimeData(foreign.get(), Qt::MoveAction, -1, -1, {}));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("PQRS"));
    }

    void droppedFilesAreAddedAndADroppedListEndsTheDrop() {
        Harness h(prefs_);
        FileListModel* model = h.window->file_list_model();
        const auto a = write_file(*dir_, "a.syx", "\xF0\xF7");
        const auto b = write_file(*dir_, "b.wav", "RIFF");
        const auto bare = write_file(*dir_, "README", "x");
        fs::create_directories(folder() / "sub.syx");
        QStringList problems;
        connect(model, &FileListModel::drop_problems, this,
                [&](const QStringList& p) { problems << p; });

        const auto files = uris({b, folder() / "sub.syx", bare, a});
        QVERIFY(model->canDropMimeData(files.get(), Qt::CopyAction, -1, -1, {}));
        QVERIFY(model->dropMimeData(files.get(), Qt::CopyAction, 0, 0, {}));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("ba"));
        QCOMPARE(model->rowCount(), 2);
        // The folder goes quietly; the file without an extension is named.
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems[0].contains(QString::fromStdString(bare.string())));
        QVERIFY(problems[0].contains(QStringLiteral("has no extension")));

        std::vector<FileEntry> saved(1);
        saved[0].file = a.string();
        saved[0].loop = 2;
        QVERIFY(write_file_list(folder() / "l.J3", saved, 12));
        const auto with_list = uris({folder() / "l.J3", b});
        QVERIFY(!model->dropMimeData(with_list.get(), Qt::CopyAction, -1, -1, {}));
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("a"));
        QCOMPARE(h.ctx.files.entry(1).value().loop, 2);
        QCOMPARE(model->rowCount(), 1);
        QTRY_COMPARE(qobject_cast<QLineEdit*>(h.window->control(kSampleNumberField))->text(),
                     QStringLiteral("12"));
    }

    void aListSavedMovedAndOpenedComesBackWhole() {
        const fs::path work = folder() / "my work";
        fs::create_directories(work);
        const auto x = write_file(*dir_, "my work/x.syx", "\xF0\x01\xF7");
        const auto y = write_file(*dir_, "my work/y.wav", "RIFF");
        QString proposed;
        {
            Harness h(prefs_);
            QVERIFY(h.window->start());
            h.window->set_file_chooser([&] {
                return QStringList{QString::fromStdString(x.string()),
                                   QString::fromStdString(y.string())};
            });
            h.window->command(kCmdOpen);
            select_only(h, {2});
            h.window->command(kCmdLoop);
            h.window->command(kCmdStereo);
            h.window->command(kCmdStereo);
            qobject_cast<QLineEdit*>(h.window->control(kSampleNumberField))->setText("25");
            const auto rows = drag(h, {1});
            QVERIFY(h.window->file_list_model()->dropMimeData(
                rows.get(), Qt::MoveAction, -1, 0, h.window->file_list_model()->index(0, 0)));
            list(h)->clearSelection();
            h.window->set_list_file_chooser([&](const QString& p) {
                proposed = p;
                return p;
            });
            h.window->command(kCmdSave);
            QCOMPARE(proposed, QString::fromStdString((work / "Filelist.j3").string()));
        }
        fs::rename(work, folder() / "moved");
        Harness h(prefs_);
        QVERIFY(h.window->start());
        h.window->set_file_chooser([&] {
            return QStringList{
                QString::fromStdString((folder() / "moved" / "Filelist.j3").string())};
        });
        h.window->command(kCmdOpen);
        QCOMPARE(QString::fromStdString(order(h)), QStringLiteral("yx"));
        QCOMPARE(h.ctx.files.entry(1).value().file, (folder() / "moved" / "y.wav").string());
        QCOMPARE(h.ctx.files.entry(1).value().loop, 1);
        QCOMPARE(h.ctx.files.entry(1).value().stereo, 2);
        QCOMPARE(h.ctx.files.entry(2).value().loop, 0);
        QCOMPARE(h.ctx.files.entry(2).value().data, (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
        QTRY_COMPARE(qobject_cast<QLineEdit*>(h.window->control(kSampleNumberField))->text(),
                     QStringLiteral("25"));
    }

    void aSavedListLeavesOutItemsMadeInMemoryAndSaysSo() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        add_items(h, "P");
        FileEntry received;
        received.file = "Received data 1.syx";
        received.is_new = 1;
        received.data = {0xF0, 0xF7};
        append_entry(h.ctx, std::move(received));
        list(h)->clearSelection();
        const fs::path target = folder() / "l.j3";
        h.window->set_list_file_chooser(
            [&](const QString&) { return QString::fromStdString(target.string()); });
        h.window->command(kCmdSave);
        const ListFileRead read = read_file_list(target);
        QCOMPARE(int(read.status), int(ListFileStatus::kRead));
        QCOMPARE(read.contents.entries.size(), size_t(1));
        QCOMPARE(read.contents.unusable, 0);
        auto* box = h.window->findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->informativeText(), QStringLiteral("Received data 1.syx"));
        box->close();
    }

    void aFailedSaveSaysWhy() {
        Harness h(prefs_);
        QVERIFY(h.window->start());
        const QString target = QString::fromStdString((folder() / "gone" / "l.j3").string());
        h.window->set_list_file_chooser([&](const QString&) { return target; });
        h.window->command(kCmdSave);
        auto* box = h.window->findChild<QMessageBox*>();
        QVERIFY(box);
        QVERIFY(box->informativeText().contains(target));
        box->close();
    }
};

}  // namespace j3::testing

QTEST_MAIN(j3::testing::FileListDropTest)
#include "file_list_drop_test.moc"
