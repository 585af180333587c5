#include "priority/TFrmPrioridade.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "priority/PriorityFakes.h"
#include "support/ScriptedDialogs.h"

namespace zt::test {
namespace {

// ---- The prefix search ----------------------------------------------------------------------

struct PrefixCase {
    const char* name;
    std::vector<std::string> items;
    std::string text;
    int expected;
};

void PrintTo(const PrefixCase& c, std::ostream* os) {
    *os << c.name;
}

class PrefixSearch : public testing::TestWithParam<PrefixCase> {};

TEST_P(PrefixSearch, FindsTheFirstItemFromTheSecondOnThenTheFirst) {
    const PrefixCase& c = GetParam();
    EXPECT_EQ(FindItemByPrefix(c.items, c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrefixSearch,
    testing::Values(
        PrefixCase{"MatchesAtZeroAndFive",
                   {"ZeltaTresona", "bash", "init", "zsh", "Xorg", "ZeltaTresonaB"},
                   "ZeltaTresona",
                   5},
        PrefixCase{"OnlyTheFirstMatches", {"ZeltaTresona", "bash", "init"}, "ZeltaTresona", 0},
        PrefixCase{"NoneMatches", {"bash", "init", "Zelta"}, "ZeltaTresona", -1},
        PrefixCase{"CaseIsIgnored", {"bash", "zELTAtRESONA"}, "ZeltaTresona", 1},
        PrefixCase{"AnEarlierPrefixMatchWins", {"abc", "abd", "ab"}, "ab", 1},
        PrefixCase{"TheTextLongerThanAName", {"Zelta", "ZeltaTres"}, "ZeltaTresona", -1},
        PrefixCase{"AnExactNameMatches", {"init", "ZeltaTresona"}, "ZeltaTresona", 1},
        PrefixCase{"OneItemIsBothFirstAndLast", {"ZeltaTresona"}, "zelta", 0},
        PrefixCase{"AnEmptyList", {}, "ZeltaTresona", -1},
        PrefixCase{"AnEmptyTextBeginsEveryItem", {"init", "bash"}, "", 1}),
    [](const testing::TestParamInfo<PrefixCase>& info) { return std::string(info.param.name); });

// ---- The form over a process tree ------------------------------------------------------------

class PriorityForm : public testing::Test {
protected:
    // Six processes, two of them the recorder's name, at list positions 0
    // and 5; the fake kernel lets this user have -20.
    void SetUp() override {
        const std::vector<std::pair<pid_t, std::string>> processes = {
            {10, "ZeltaTresona"}, {11, "bash"}, {12, "init"},
            {13, "zsh"},          {14, "Xorg"}, {15, "ZeltaTresona"}};
        for (const auto& [pid, name] : processes) {
            tree.Add(pid, name);
            kernel.processes[pid] = {};
        }
        kernel.privileged = true;
    }

    FakeProcTree tree;
    FakePrioritySystem kernel;
    ScriptedDialogs dialogs;
};

TEST_F(PriorityForm, TheLaterOfTwoRecorderNamesIsTheOneRaised) {
    TFrmPrioridade form(tree.root(), kernel);
    form.RefreshProcessList();
    EXPECT_EQ(form.ItemIndex(), 0);
    form.SetEdProcesso("ZeltaTresona");
    ASSERT_EQ(form.ItemIndex(), 5);
    EXPECT_EQ(form.Object(5).pid, 15);

    EXPECT_TRUE(form.RaiseSelectedProcess());
    EXPECT_EQ(kernel.processes[15].nice, -20);
    EXPECT_EQ(kernel.processes[10].nice, 0);
    EXPECT_TRUE(dialogs.shown.empty());
    // The list was read again and the selection kept.
    EXPECT_EQ(form.Items().size(), 6u);
    EXPECT_EQ(form.ItemIndex(), 5);
}

TEST_F(PriorityForm, WithNothingSelectedTheRaiseIsAListErrorAndChangesNothing) {
    TFrmPrioridade form(tree.root(), kernel);
    form.RefreshProcessList();
    form.SetEdProcesso("Recorder");
    EXPECT_EQ(form.ItemIndex(), -1);
    try {
        form.RaiseSelectedProcess();
        ADD_FAILURE() << "no list error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.message(), "List index out of bounds (-1)");
    }
    for (const auto& [pid, process] : kernel.processes) EXPECT_EQ(process.nice, 0) << pid;
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PriorityForm, ARefreshKeepsThePositionWithinTheNewList) {
    TFrmPrioridade form(tree.root(), kernel);
    form.RefreshProcessList();
    form.SetItemIndex(3);
    form.RefreshProcessList();
    EXPECT_EQ(form.ItemIndex(), 3);

    // Two processes ended: the position is past the end, the last one is taken.
    form.SetItemIndex(5);
    tree.Remove(14);
    tree.Remove(15);
    form.RefreshProcessList();
    EXPECT_EQ(form.Items(), (std::vector<std::string>{"ZeltaTresona", "bash", "init", "zsh"}));
    EXPECT_EQ(form.ItemIndex(), 3);

    form.SetEdProcesso("nothing");
    form.RefreshProcessList();
    EXPECT_EQ(form.ItemIndex(), 0);
}

TEST_F(PriorityForm, ATreeThatCannotBeReadIsReportedOnceAndLeavesAnEmptyList) {
    TFrmPrioridade form(tree.root() + "/missing", kernel);
    form.RefreshProcessList();
    EXPECT_TRUE(form.Items().empty());
    EXPECT_EQ(form.ItemIndex(), -1);
    EXPECT_EQ(dialogs.shown,
              (std::vector<ShownDialog>{{DialogKind::Information, kProcessListReadError}}));
}

TEST_F(PriorityForm, TheEditKeepsAtMost255Characters) {
    TFrmPrioridade form(tree.root(), kernel);
    form.SetEdProcesso(std::string(300, 'z'));
    EXPECT_EQ(form.EdProcesso(), std::string(255, 'z'));
    // Characters, not bytes: no character is cut in half.
    std::string accented;
    for (int i = 0; i < 300; ++i) accented += "\xC3\xA9";
    form.SetEdProcesso(accented);
    EXPECT_EQ(form.EdProcesso(), accented.substr(0, 2 * 255));
}

TEST_F(PriorityForm, TheCutTextStillFindsANameItBegins) {
    const std::string longName(255, 'q');
    tree.Add(20, longName);
    TFrmPrioridade form(tree.root(), kernel);
    form.RefreshProcessList();
    form.SetEdProcesso(longName + "tail beyond the edit's length");
    EXPECT_EQ(form.ItemIndex(), 6);
}

}  // namespace
}  // namespace zt::test
