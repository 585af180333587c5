#include "priority/OwnProcessPriority.h"

#include <gtest/gtest.h>

#include "priority/PriorityFakes.h"
#include "priority/TFrmPrioridade.h"
#include "support/ScriptedDialogs.h"

namespace zt::test {
namespace {

class OwnProcessRaise : public testing::Test {
protected:
    void SetUp() override {
        tree.Add(1, "systemd");
        kernel.processes[1] = {};
        tree.Add(900, "ZeltaTresonaTes");  // the kernel's cut of a longer name
        kernel.processes[900] = {};
    }

    FakeProcTree tree;
    FakePrioritySystem kernel;
    // Installed as the current dialogs too, so that a message sent past the
    // dialogs given would still be seen (twice).
    ScriptedDialogs dialogs;
};

TEST_F(OwnProcessRaise, RaisesTheRecordersProcessWithoutAWord) {
    kernel.privileged = true;
    EXPECT_TRUE(RaiseOwnProcessPriority(dialogs, tree.root(), kernel));
    EXPECT_EQ(kernel.processes[900].nice, -20);
    EXPECT_EQ(kernel.processes[1].nice, 0);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(OwnProcessRaise, NoProcessOfThatNameIsOneErrorAndNothingThrown) {
    tree.Remove(900);
    kernel.privileged = true;
    bool raised = true;
    EXPECT_NO_THROW(raised = RaiseOwnProcessPriority(dialogs, tree.root(), kernel));
    EXPECT_FALSE(raised);
    EXPECT_EQ(dialogs.shown,
              (std::vector<ShownDialog>{{DialogKind::Error, "List index out of bounds (-1)"}}));
    EXPECT_EQ(kernel.processes[1].nice, 0);
}

TEST_F(OwnProcessRaise, ARefusedRaiseIsReportedOnce) {
    kernel.niceLimit = {30, 30};  // a floor of -10 the kernel still refuses
    kernel.refuseAll = true;
    EXPECT_FALSE(RaiseOwnProcessPriority(dialogs, tree.root(), kernel));
    EXPECT_EQ(dialogs.shown,
              (std::vector<ShownDialog>{{DialogKind::Information, kPriorityChangeError}}));
}

TEST_F(OwnProcessRaise, AnUnreadableTreeReportsTheReadAndThenTheMissingProcess) {
    bool raised = true;
    EXPECT_NO_THROW(raised = RaiseOwnProcessPriority(dialogs, tree.root() + "/gone", kernel));
    EXPECT_FALSE(raised);
    EXPECT_EQ(dialogs.shown,
              (std::vector<ShownDialog>{{DialogKind::Information, kProcessListReadError},
                                        {DialogKind::Error, "List index out of bounds (-1)"}}));
}

}  // namespace
}  // namespace zt::test
