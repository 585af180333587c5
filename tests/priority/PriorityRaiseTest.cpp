#include "priority/PriorityRaise.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <thread>

#include "priority/PriorityFakes.h"
#include "priority/TFrmPrioridade.h"
#include "support/ScriptedDialogs.h"

namespace zt::test {
namespace {

// ---- Raising a process's nice value ----------------------------------------------------------

struct RaiseCase {
    const char* name;
    int startNice;
    rlim_t niceLimit;
    bool privileged;
    bool otherUser;
    bool refuseAll;
    bool gone;
    bool raised;
    int endNice;
};

void PrintTo(const RaiseCase& c, std::ostream* os) {
    *os << c.name;
}

class ProcessRaise : public testing::TestWithParam<RaiseCase> {};

// Through the form, so that the message shown (or not) is checked with the
// outcome.
TEST_P(ProcessRaise, GoesAsHighAsAllowedAndReportsOnlyWhenNothingWasPossible) {
    const RaiseCase& c = GetParam();
    constexpr pid_t kPid = 321;
    FakePrioritySystem kernel;
    if (!c.gone) kernel.processes[kPid] = {c.startNice, c.otherUser};
    kernel.niceLimit = {c.niceLimit, c.niceLimit};
    kernel.privileged = c.privileged;
    kernel.refuseAll = c.refuseAll;
    ScriptedDialogs dialogs;
    TFrmPrioridade form("/nonexistent", kernel);
    procObject entry;
    entry.pid = kPid;

    EXPECT_EQ(form.SetProcessPriority(entry, kHighestNice), c.raised);
    if (!c.gone) {
        EXPECT_EQ(kernel.processes[kPid].nice, c.endNice);
    }
    const std::vector<ShownDialog> message = {{DialogKind::Information, kPriorityChangeError}};
    EXPECT_EQ(dialogs.shown, c.raised ? std::vector<ShownDialog>{} : message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProcessRaise,
    testing::Values(
        // name, start, RLIMIT_NICE, privileged, other user, refuse all, gone, raised, end
        RaiseCase{"PrivilegedGetsTheHighest", 0, 0, true, false, false, false, true, -20},
        RaiseCase{"ALimitOf40AllowsTheHighest", 5, 40, false, false, false, false, true, -20},
        RaiseCase{"AnUnlimitedLimitAllowsTheHighest", 0, RLIM_INFINITY, false, false, false, false,
                  true, -20},
        RaiseCase{"RefusedGoesToTheLimitsFloor", 0, 30, false, false, false, false, true, -10},
        RaiseCase{"RefusedFromALowPriority", 10, 25, false, false, false, false, true, -5},
        RaiseCase{"AlreadyBelowTheFloorStays", -15, 30, false, false, false, false, true, -15},
        RaiseCase{"AtTheFloorAlready", -10, 30, false, false, false, false, true, -10},
        RaiseCase{"NoLimitKeepsTheNiceValue", 0, 0, false, false, false, false, true, 0},
        RaiseCase{"AnotherUsersProcess", 0, 0, false, true, false, false, false, 0},
        RaiseCase{"EveryChangeRefused", 0, 30, false, false, true, false, false, 0},
        RaiseCase{"TheProcessIsGone", 0, 40, false, false, false, true, false, 0}),
    [](const testing::TestParamInfo<RaiseCase>& info) { return std::string(info.param.name); });

TEST(ProcessRaiseReal, ThisProcessToItsOwnNiceValueSucceedsAndKeepsIt) {
    const int before = getpriority(PRIO_PROCESS, 0);
    EXPECT_TRUE(RaiseProcessNice(getpid(), RealPrioritySystem(), before));
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before);
}

TEST(ProcessRaiseReal, AProcessThatDoesNotExistIsNotRaised) {
    // Beyond any pid_max the kernel allows (2^22).
    EXPECT_FALSE(RaiseProcessNice(INT_MAX, RealPrioritySystem()));
}

TEST(ProcessRaiseReal, TheFloorOfTheLimitIsNeverBelowTheHighest) {
    EXPECT_EQ(NiceFloorOfLimit({0, 0}), kLowestNice);
    EXPECT_EQ(NiceFloorOfLimit({20, 20}), 0);
    EXPECT_EQ(NiceFloorOfLimit({40, 40}), kHighestNice);
    EXPECT_EQ(NiceFloorOfLimit({1000, 1000}), kHighestNice);
    EXPECT_EQ(NiceFloorOfLimit({RLIM_INFINITY, RLIM_INFINITY}), kHighestNice);
}

// ---- Real-time scheduling of one thread ------------------------------------------------------

struct RealtimeCase {
    const char* name;
    rlim_t rtprioLimit;
    int schedulerError;
    int askedPriority;
    bool raised;
};

void PrintTo(const RealtimeCase& c, std::ostream* os) {
    *os << c.name;
}

class ThreadRealtime : public testing::TestWithParam<RealtimeCase> {};

TEST_P(ThreadRealtime, AsksForFifoWithinTheLimitAndSaysWhetherItGotIt) {
    const RealtimeCase& c = GetParam();
    FakePrioritySystem kernel;
    kernel.rtprioLimit = {c.rtprioLimit, c.rtprioLimit};
    kernel.schedulerError = c.schedulerError;

    EXPECT_EQ(RaiseThreadToRealtime(4711, kernel), c.raised);
    const std::vector<FakePrioritySystem::SchedulerCall> expected = {
        {4711, SCHED_FIFO | SCHED_RESET_ON_FORK, c.askedPriority}};
    EXPECT_EQ(kernel.schedulerCalls, expected);
    EXPECT_TRUE(kernel.processes.empty());  // the process's nice value is left alone
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThreadRealtime,
    testing::Values(
        RealtimeCase{"Permitted", 99, 0, kCaptureRealtimePriority, true},
        RealtimeCase{"Unlimited", RLIM_INFINITY, 0, kCaptureRealtimePriority, true},
        RealtimeCase{"ALowLimitLowersThePriority", 5, 0, 5, true},
        RealtimeCase{"NoLimitStillAsksForPrivilege", 0, 0, kCaptureRealtimePriority, true},
        RealtimeCase{"Refused", 0, EPERM, kCaptureRealtimePriority, false},
        RealtimeCase{"RefusedWithinTheLimit", 99, EPERM, kCaptureRealtimePriority, false}),
    [](const testing::TestParamInfo<RealtimeCase>& info) { return std::string(info.param.name); });

TEST(ThreadRealtimeReal, TheAnswerIsWhatTheKernelThenReports) {
    // On a thread of its own, which ends right after: whether the machine
    // allows it or not, the answer must agree with the thread's policy.
    bool raised = false;
    int policy = -1;
    std::thread worker([&] {
        raised = RaiseThreadToRealtime(gettid(), RealPrioritySystem());
        policy = sched_getscheduler(0);
    });
    worker.join();
    EXPECT_EQ((policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO, raised) << "policy " << policy;
    // Programs started from a real-time thread do not inherit real-time.
    if (raised) {
        EXPECT_NE(policy & SCHED_RESET_ON_FORK, 0);
    }
}

}  // namespace
}  // namespace zt::test
