#include "priority/ProcessTree.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "priority/PriorityFakes.h"

namespace zt::test {
namespace {

std::vector<std::string> Names(const std::vector<procObject>& processes) {
    std::vector<std::string> names;
    for (const procObject& p : processes) names.push_back(p.name);
    return names;
}

TEST(ProcessTree, ReadsEveryNumericFolderInPidOrder) {
    FakeProcTree tree;
    tree.Add(300, "ZeltaTresona", 1, 4, -5);
    tree.Add(1, "systemd");
    tree.Add(20, "kworker/0:1");
    // Not processes: /proc's own folders and files beside them.
    tree.Folder("self");
    tree.Folder("12abc");
    WriteFileBytes(tree.root() + "/uptime", "1.0 2.0\n");

    const ProcessTreeRead read = ReadProcessTree(tree.root());
    EXPECT_TRUE(read.complete);
    EXPECT_EQ(Names(read.processes),
              (std::vector<std::string>{"systemd", "kworker/0:1", "ZeltaTresona"}));
    const procObject& recorder = read.processes.back();
    EXPECT_EQ(recorder.pid, 300);
    EXPECT_EQ(recorder.parentPid, 1);
    EXPECT_EQ(recorder.threadCount, 4);
    EXPECT_EQ(recorder.nice, -5);
    EXPECT_EQ(recorder.priority, 15);
}

TEST(ProcessTree, ANameWithSpacesAndParenthesesDoesNotShiftTheFields) {
    FakeProcTree tree;
    tree.Add(77, "a) (b c) 9 9", 55, 6, 3);
    const ProcessTreeRead read = ReadProcessTree(tree.root());
    ASSERT_EQ(read.processes.size(), 1u);
    EXPECT_EQ(read.processes[0].name, "a) (b c) 9 9");
    EXPECT_EQ(read.processes[0].parentPid, 55);
    EXPECT_EQ(read.processes[0].threadCount, 6);
    EXPECT_EQ(read.processes[0].nice, 3);
}

TEST(ProcessTree, EmptyOrUnreadableNamesAreUnknownAndEndedProcessesAreLeftOut) {
    FakeProcTree tree;
    tree.Add(2, "bash");
    tree.WriteComm(3, "\n");  // an empty name
    tree.WriteStat(3, FakeProcTree::StatLine(3, "", 1, 1, 0));
    tree.WriteStat(4, FakeProcTree::StatLine(4, "x", 1, 1, 0));  // no comm at all
    tree.WriteComm(5, "gone\n");  // ended between the listing and its stat line
    tree.Folder("6");             // ended before anything was read

    const ProcessTreeRead read = ReadProcessTree(tree.root());
    EXPECT_TRUE(read.complete);
    EXPECT_EQ(Names(read.processes),
              (std::vector<std::string>{"bash", kUnknownProcessName, kUnknownProcessName}));
    EXPECT_EQ(read.processes[1].pid, 3);
    EXPECT_EQ(read.processes[2].pid, 4);
}

TEST(ProcessTree, ATreeThatCannotBeListedIsIncompleteAndEmpty) {
    FakeProcTree tree;
    const ProcessTreeRead read = ReadProcessTree(tree.root() + "/missing");
    EXPECT_FALSE(read.complete);
    EXPECT_TRUE(read.processes.empty());
}

TEST(ProcessTree, TheRealTreeHoldsThisProcessAsTheKernelSeesIt) {
    const ProcessTreeRead read = ReadProcessTree();
    ASSERT_TRUE(read.complete);
    EXPECT_TRUE(
        std::is_sorted(read.processes.begin(), read.processes.end(),
                       [](const procObject& a, const procObject& b) { return a.pid < b.pid; }));
    const auto self = std::find_if(read.processes.begin(), read.processes.end(),
                                   [](const procObject& p) { return p.pid == getpid(); });
    ASSERT_NE(self, read.processes.end());
    std::string comm = ReadFileBytes("/proc/self/comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    EXPECT_EQ(self->name, comm);
    EXPECT_EQ(self->parentPid, getppid());
    EXPECT_GE(self->threadCount, 1);
    EXPECT_EQ(self->nice, getpriority(PRIO_PROCESS, 0));
}

}  // namespace
}  // namespace zt::test
