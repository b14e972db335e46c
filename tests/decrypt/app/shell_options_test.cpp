// The program's GNU-style options.
#include "decrypt/app/decrypt_app.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

CDecryptOptions Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "decrypt");
    return ParseDecryptOptions(static_cast<int>(args.size()), args.data());
}

TEST(ShellOptions, CommandsValuesAndFiles)
{
    auto o = Parse({"--batch", "--key", "k.der", "a.sig", "--password-fd=3", "b c.p7m"});
    EXPECT_TRUE(o.error.IsEmpty()) << static_cast<const char*>(o.error);
    EXPECT_TRUE(o.batch);
    EXPECT_FALSE(o.openSigned);
    EXPECT_TRUE(Parse({"--open-signed", "a.p7m"}).openSigned);
    EXPECT_TRUE(Parse({"--terminal", "a.p7m"}).terminal);
    EXPECT_STREQ(o.keyFile, "k.der");
    EXPECT_EQ(o.passwordFd, 3);
    ASSERT_EQ(o.files.GetSize(), 2);
    EXPECT_STREQ(JoinFileNames(o.files), "a.sig \"b c.p7m\"");

    o = Parse({"--change=id.key"});
    EXPECT_EQ(o.command, CDecryptOptions::Change);
    EXPECT_STREQ(o.commandFile, "id.key");
    EXPECT_EQ(Parse({"--new", "n.key"}).command, CDecryptOptions::New);
    EXPECT_EQ(Parse({"--view"}).command, CDecryptOptions::View);
    EXPECT_EQ(Parse({"--about"}).command, CDecryptOptions::About);
    EXPECT_EQ(Parse({"--help"}).command, CDecryptOptions::Help);
    EXPECT_EQ(Parse({"--version"}).command, CDecryptOptions::Version);

    o = Parse({"--", "--view", "-"});
    EXPECT_EQ(o.command, CDecryptOptions::None);
    EXPECT_EQ(o.files.GetSize(), 2);

    EXPECT_EQ(Parse({"a.p7m"}).jobs, 0);   // one per processor
    EXPECT_EQ(Parse({"-j", "3", "a.p7m"}).jobs, 3);
    EXPECT_EQ(Parse({"-j1"}).jobs, 1);
    EXPECT_EQ(Parse({"--jobs", "2"}).jobs, 2);
    EXPECT_EQ(Parse({"--jobs=16"}).jobs, 16);
    EXPECT_EQ(Parse({"--", "-j2"}).files.GetSize(), 1);
}

TEST(ShellOptions, RefusedCommandLines)
{
    EXPECT_FALSE(Parse({"--change"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--change="}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--view=x"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--frobnicate"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"-x"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--password-fd", "-1"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--password-fd", "3x"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--password-fd", "99999999999"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--view", "--about"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--terminal", "--json"}).error.IsEmpty());
    for (const char* jobs : {"0", "-1", "+2", " 2", "2x", "", "1025", "99999999999"}) {
        EXPECT_FALSE(Parse({"--jobs", jobs, "a.p7m"}).error.IsEmpty()) << jobs;
        EXPECT_FALSE(Parse({"-j", jobs, "a.p7m"}).error.IsEmpty()) << jobs;
    }
    EXPECT_FALSE(Parse({"-j"}).error.IsEmpty());
    EXPECT_FALSE(Parse({"--jobs"}).error.IsEmpty());
}

} // namespace
