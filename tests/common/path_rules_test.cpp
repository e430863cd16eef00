#include "common/path_rules.h"

#include <gtest/gtest.h>

using namespace kestrane;

TEST(PathRules, ParentDirectoryWindowsStyle)
{
    const auto parent = [](std::string_view path) { return parent_directory(path, PathStyle::Windows); };
    EXPECT_EQ(parent("C:\\"), "C:\\");
    EXPECT_EQ(parent("abc"), "abc");
    EXPECT_EQ(parent("C:\\dir"), "C:\\");
    EXPECT_EQ(parent("C:\\dir\\"), "C:\\");
    EXPECT_EQ(parent("C:\\release\\build"), "C:\\release");
    EXPECT_EQ(parent("C:\\release\\build\\"), "C:\\release");
    EXPECT_EQ(parent("relative"), "relative");
    EXPECT_EQ(parent("a\\b"), "a\\b"); // three characters: unchanged
    EXPECT_EQ(parent("abc\\d"), "abc");
    EXPECT_EQ(parent("ab\\cd"), "ab\\"); // a separator at index 2 keeps three characters
}

TEST(PathRules, ParentDirectoryPosixStyle)
{
    const auto parent = [](std::string_view path) { return parent_directory(path, PathStyle::Posix); };
    EXPECT_EQ(parent("/"), "/");
    EXPECT_EQ(parent(""), "");
    EXPECT_EQ(parent("/usr"), "/");
    EXPECT_EQ(parent("/usr/"), "/");
    EXPECT_EQ(parent("/opt/kestrane/kestrane"), "/opt/kestrane");
    EXPECT_EQ(parent("/release/build/"), "/release");
    EXPECT_EQ(parent("relative"), "relative");
    EXPECT_EQ(parent("a/b"), "a");
}

TEST(PathRules, JoinInsertsExactlyOneSeparator)
{
    EXPECT_EQ(join_path("C:\\pkg", "a.enc", PathStyle::Windows), "C:\\pkg\\a.enc");
    EXPECT_EQ(join_path("C:\\pkg\\", "a.enc", PathStyle::Windows), "C:\\pkg\\a.enc");
    EXPECT_EQ(join_path("C:\\", "-K1.0.wrp", PathStyle::Windows), "C:\\-K1.0.wrp");
    EXPECT_EQ(join_path("/pkg", "a.enc", PathStyle::Posix), "/pkg/a.enc");
    EXPECT_EQ(join_path("/pkg/", "a.enc", PathStyle::Posix), "/pkg/a.enc");
    EXPECT_EQ(join_path("/", "-K1.0.wrp", PathStyle::Posix), "/-K1.0.wrp");
    // A backslash means nothing on POSIX, a slash nothing on Windows.
    EXPECT_EQ(join_path("dir\\", "x", PathStyle::Posix), "dir\\/x");
    EXPECT_EQ(join_path("dir/", "x", PathStyle::Windows), "dir/\\x");
}

TEST(PathRules, LastComponent)
{
    EXPECT_EQ(last_path_component("C:\\release\\build", PathStyle::Windows), "build");
    EXPECT_EQ(last_path_component("C:\\", PathStyle::Windows), "");
    EXPECT_EQ(last_path_component("name.enc", PathStyle::Windows), "name.enc");
    EXPECT_EQ(last_path_component("/release/build", PathStyle::Posix), "build");
    EXPECT_EQ(last_path_component("/", PathStyle::Posix), "");
    EXPECT_EQ(last_path_component("/release/build/", PathStyle::Posix), "");
}

TEST(PathRules, PackageDestinationRuleForRoots)
{
    // Parent of Path joined with last component of Path + "-K" + version + ".wrp".
    const auto destination = [](std::string_view path, PathStyle style) {
        return join_path(parent_directory(path, style), last_path_component(path, style) + "-K1.0.wrp", style);
    };
    EXPECT_EQ(destination("C:\\", PathStyle::Windows), "C:\\-K1.0.wrp");
    EXPECT_EQ(destination("C:\\pkg", PathStyle::Windows), "C:\\pkg-K1.0.wrp");
    EXPECT_EQ(destination("/", PathStyle::Posix), "/-K1.0.wrp");
    EXPECT_EQ(destination("/pkg", PathStyle::Posix), "/pkg-K1.0.wrp");
}
