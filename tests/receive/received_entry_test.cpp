#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/list_commands.h"
#include "engine/send_loop.h"
#include "fakes/held_send.h"
#include "fakes/test_context.h"
#include "fakes/test_folder.h"
#include "receive/received_entry.h"

namespace j3 {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace testing;

struct SaveEntries : TestFolder {
    void SetUp() override {
        TestFolder::SetUp();
        for (int i = 1; i <= 3; ++i) {
            FileEntry e;
            e.file = i == 2 ? "/somewhere/else/Received data 2.syx"
                            : "Received data " + std::to_string(i) + ".syx";
            e.data = Bytes(size_t(10 * i), uint8_t(i));
            e.is_new = 1;
            e.unsaved = true;
            add_received_entry(t.ctx, std::move(e));
        }
    }
    // The dialog: records the names it proposes and answers from `answers`
    // (an empty name cancels).
    SavePathChooser chooser(std::vector<std::string> answers) {
        return
            [this, answers](const std::string& proposed) -> std::optional<std::filesystem::path> {
                proposed_names.push_back(proposed);
                const std::string& a = answers[proposed_names.size() - 1];
                if (a.empty()) return std::nullopt;
                return dir / a;
            };
    }
    FileEntry entry(int id) const { return t.ctx.files.entry(uint32_t(id)).value(); }

    TestContext t;
    std::vector<std::string> proposed_names;
};

TEST_F(SaveEntries, OneDialogPerSelectedEntryInOrderAndACancelEndsTheSequence) {
    t.ctx.files.set_selected_ids({1, 2, 3});
    const SaveOutcome out = save_selected_entries(t.ctx, chooser({"first.syx", "", "third.syx"}));
    EXPECT_EQ(out.saved, 1);
    EXPECT_TRUE(out.cancelled);
    EXPECT_TRUE(out.result.ok);
    EXPECT_EQ(proposed_names,
              (std::vector<std::string>{"Received data 1.syx", "Received data 2.syx"}));

    Bytes written;
    ASSERT_TRUE(read_whole_file(dir / "first.syx", written).ok);
    EXPECT_EQ(written, entry(1).data);
    EXPECT_EQ(entry(1).file, (dir / "first.syx").string());
    EXPECT_FALSE(entry(1).unsaved);
    EXPECT_TRUE(entry(2).unsaved);
    EXPECT_EQ(entry(3).file, "Received data 3.syx");
    EXPECT_FALSE(std::filesystem::exists(dir / "third.syx"));
    EXPECT_GE(t.window.list_updates, 1);
}

TEST_F(SaveEntries, AFailedWriteEndsTheSequenceWithItsReasonAndKeepsTheEntry) {
    t.ctx.files.set_selected_ids({1, 3});
    const SaveOutcome out =
        save_selected_entries(t.ctx, chooser({"no such folder/first.syx", "third.syx"}));
    EXPECT_EQ(out.saved, 0);
    EXPECT_FALSE(out.result.ok);
    EXPECT_NE(out.result.message.find("first.syx"), std::string::npos) << out.result.message;
    EXPECT_EQ(proposed_names.size(), 1u);
    EXPECT_EQ(entry(1).file, "Received data 1.syx");
    EXPECT_TRUE(entry(1).unsaved);
}

TEST_F(SaveEntries, SavingLeavesARunningSendsPositionAlone) {
    FileEntry sent;
    sent.file = "sent.syx";
    sent.data = {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7};
    append_entry(t.ctx, std::move(sent));
    t.window.select({4});
    ASSERT_TRUE(start_held_send(t.ctx));
    t.ctx.files.set_selected_ids({2, 3});
    const SaveOutcome out = save_selected_entries(t.ctx, chooser({"a.syx", "b.syx"}));
    EXPECT_EQ(out.saved, 2);
    EXPECT_TRUE(t.ctx.send.sending());
    EXPECT_EQ(t.ctx.send.progress().index, 1);
    EXPECT_EQ(entry(3).file, (dir / "b.syx").string());
    EXPECT_TRUE(end_held_send(t.ctx, t.midi));
}

}  // namespace
}  // namespace j3
