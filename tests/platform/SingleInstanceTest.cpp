#include <gtest/gtest.h>

#include <QByteArray>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/SingleInstance.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value)
        : name_(name), saved_(qgetenv(name)), wasSet_(qEnvironmentVariableIsSet(name)) {
        if (value) {
            qputenv(name, QByteArray::fromStdString(*value));
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (wasSet_) {
            qputenv(name_, saved_);
        } else {
            qunsetenv(name_);
        }
    }

private:
    const char* name_;
    QByteArray saved_;
    bool wasSet_;
};

// What TryAcquire answers in another process (a forked child that exits
// without releasing, the way a crashed recorder leaves its lock behind).
bool TryAcquireInChild() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        SingleInstance other;
        ::_exit(other.TryAcquire() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(SingleInstance, OneHolderAtATimeAcrossProcessesAndACrashedOneIsTakenOver) {
    test::TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());

    auto first = std::make_unique<SingleInstance>();
    EXPECT_EQ(first->LockPath(), runtime.file("Zelta Tresona 2012.lock"));
    EXPECT_FALSE(first->Held());
    ASSERT_TRUE(first->TryAcquire());
    EXPECT_TRUE(first->Held());
    EXPECT_TRUE(fs::exists(first->LockPath()));
    EXPECT_EQ(FirstLine(test::ReadFileBytes(first->LockPath())), std::to_string(::getpid()));

    // A lock that has not been touched for a year still belongs to a live
    // owner: age never makes it stale.
    const struct timespec yearAgo[2] = {{::time(nullptr) - 365 * 86400, 0},
                                        {::time(nullptr) - 365 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, first->LockPath().c_str(), yearAgo, 0), 0);

    SingleInstance sameProcess;
    EXPECT_FALSE(sameProcess.TryAcquire());
    EXPECT_FALSE(sameProcess.Held());
    EXPECT_FALSE(TryAcquireInChild());
    EXPECT_TRUE(first->Held());

    // Released: the next one gets it; that child dies holding it.
    first.reset();
    EXPECT_FALSE(fs::exists(runtime.file("Zelta Tresona 2012.lock")));
    EXPECT_TRUE(TryAcquireInChild());
    EXPECT_TRUE(fs::exists(runtime.file("Zelta Tresona 2012.lock")));

    // The dead child's lock is taken over.
    EXPECT_TRUE(sameProcess.TryAcquire());
    EXPECT_TRUE(sameProcess.Held());
    EXPECT_EQ(FirstLine(test::ReadFileBytes(sameProcess.LockPath())), std::to_string(::getpid()));
}

TEST(SingleInstance, LockWrittenForADeadProcessIsTakenOver) {
    test::TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());

    // A lock file in the very format the lock writes, with another PID.
    std::string contents;
    {
        SingleInstance model("model");
        ASSERT_TRUE(model.TryAcquire());
        contents = test::ReadFileBytes(model.LockPath());
    }
    ASSERT_EQ(FirstLine(contents), std::to_string(::getpid()));
    const std::string stale = std::to_string(DeadPid()) + contents.substr(contents.find('\n'));
    const std::string path = runtime.file("Zelta Tresona 2012.lock");
    test::WriteFileBytes(path, stale);

    SingleInstance instance;
    EXPECT_TRUE(instance.TryAcquire());
    EXPECT_TRUE(instance.Held());
    EXPECT_EQ(FirstLine(test::ReadFileBytes(path)), std::to_string(::getpid()));
}

TEST(SingleInstance, AnUnusableRuntimeVariableFallsBackToAPrivateFolder) {
    test::TempDir scratch;
    test::WriteFileBytes(scratch.file("a-file"), "x");
    // A missing folder may be created in place (0700) by the runtime
    // location lookup; a file or a relative path is never used.
    struct Case {
        const char* what;
        std::optional<std::string> value;
        bool mustAvoid;
    };
    const Case cases[] = {
        {"unset", std::nullopt, false},
        {"empty", std::string(), false},
        {"missing folder", scratch.file("missing"), false},
        {"a file", scratch.file("a-file"), true},
        {"relative", std::string("relative/run"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv env("XDG_RUNTIME_DIR", c.value);
        const std::string folder = SingleInstance::RuntimeFolder();
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.back(), '/');
        if (c.mustAvoid) {
            EXPECT_NE(folder.find(*c.value), 0u);
        }
        struct stat st;
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::getuid());
        EXPECT_EQ(st.st_mode & (S_IWGRP | S_IWOTH), 0u);

        SingleInstance instance("zt-fallback-test");
        EXPECT_EQ(instance.LockPath(), folder + "zt-fallback-test.lock");
        EXPECT_TRUE(instance.TryAcquire());
        EXPECT_TRUE(instance.Held());
    }
}

TEST(SingleInstance, PrivateFolderIsMadeForUsOnlyAndRefusedWhenOthersCouldWrite) {
    test::TempDir good;
    test::TempDir other;
    test::TempDir tmp;
    test::WriteFileBytes(good.file("a-file"), "x");
    const std::string own = tmp.dir() + "zelta-tresona-" + std::to_string(::getuid());
    struct Case {
        const char* what;
        std::string xdg;
        std::string qt;
        std::function<void()> prepare;
        std::string expected;
    };
    const Case cases[] = {
        {"variable usable", good.path().string(), other.path().string(), [] {}, good.dir()},
        {"variable a file", good.file("a-file"), other.path().string(), [] {}, other.dir()},
        {"neither: made 0700", "", good.file("missing"), [] {}, own + "/"},
        {"neither: made before by us", "", "", [&] { ::mkdir(own.c_str(), 0700); }, own + "/"},
        {"neither: others may write", "", "",
         [&] {
             ::mkdir(own.c_str(), 0700);
             ::chmod(own.c_str(), 0777);
         },
         ""},
        {"neither: a symlink", "", "", [&] { ::symlink(other.path().c_str(), own.c_str()); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        fs::remove(own, ec);
        c.prepare();
        EXPECT_EQ(SingleInstance::ChooseRuntimeFolder(c.xdg, c.qt, tmp.path().string()),
                  c.expected);
        struct stat st;
        if (c.expected == own + "/") {
            ASSERT_EQ(::lstat(own.c_str(), &st), 0);
            EXPECT_TRUE(S_ISDIR(st.st_mode));
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
    }
}

}  // namespace
}  // namespace zt
