// The per-user store of binary values under the configuration folder.

#include "platform/UserStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Exceptions.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;

class UserStoreTest : public ::testing::Test {
protected:
    UserStoreTest() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
        if (const char* home = std::getenv("HOME")) home_ = home;
        ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    ~UserStoreTest() override {
        if (old_)
            ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        if (home_)
            ::setenv("HOME", home_->c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    test::TempDir dir_;
    std::optional<std::string> old_, home_;
};

TEST_F(UserStoreTest, ValuesRoundTripAndReadingCreatesNothing) {
    const std::string key = "SOFTWARE\\Zelta Tresona";
    EXPECT_FALSE(ReadUserValue(key, "Formato").has_value());
    EXPECT_TRUE(fs::is_empty(dir_.path())) << "a read must not create the key";

    const std::string bytes(
        "\x31\x00\x01\x00\x40\x1f\x00\x00\x00\x00\x41\x00\x00\x00\x02\x00\x40\x01", 18);
    WriteUserValue(key, "Formato", bytes);
    EXPECT_TRUE(fs::exists(dir_.path() / "SOFTWARE" / "Zelta Tresona" / "Formato"));
    EXPECT_EQ(ReadUserValue(key, "Formato"), bytes);
    WriteUserValue(key, "Formato", "x");
    EXPECT_EQ(ReadUserValue(key, "Formato"), "x");
}

TEST_F(UserStoreTest, NamesThatWouldLeaveTheStoreAreRefused) {
    for (const char* key : {"..\\x", "SOFTWARE\\..", "a/b", "", "SOFTWARE\\\\x"}) {
        EXPECT_THROW(WriteUserValue(key, "Formato", "x"), Exception) << key;
        EXPECT_FALSE(ReadUserValue(key, "Formato").has_value()) << key;
    }
    EXPECT_THROW(WriteUserValue("SOFTWARE", "../Formato", "x"), Exception);
    EXPECT_THROW(WriteUserValue("SOFTWARE", "..", "x"), Exception);
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(UserStoreTest, TheRootFollowsTheEnvironment) {
    EXPECT_EQ(UserStoreRoot(), dir_.path().string());
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/operador", 1);
    EXPECT_EQ(UserStoreRoot(), "/home/operador/.config");
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(UserStoreRoot(), "/home/operador/.config");
}

}  // namespace
}  // namespace zt
