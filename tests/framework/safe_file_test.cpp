// Writing a whole file safely: links in the way are never followed, a writer that fails
// leaves the old file and no temporary, and a taken temporary name is passed over.
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/system.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

AfxFileWriter Writes(const std::string& text)
{
    return [text](CFile& file) { file.Write(text.data(), static_cast<UINT>(text.size())); };
}

// The names in the folder that start with "name" (the file and any temporary beside it).
size_t NamesBeside(const std::string& folder)
{
    size_t n = 0;
    for (auto& entry : std::filesystem::directory_iterator(folder))
        n += entry.path().filename().string().rfind("name", 0) == 0;
    return n;
}

}  // namespace

TEST(SafeFile, LinksAtTheNameAreNeverFollowed)
{
    struct Case {
        UINT options;
        DWORD result;
        bool linkStays;
    };
    for (Case c : {Case{AFX_WRITE_REPLACE, ERROR_SUCCESS, false}, Case{AFX_WRITE_CREATE_ONLY, ERROR_ALREADY_EXISTS, true}}) {
        SCOPED_TRACE(c.options);
        qmtest::ScratchFolder scratch;
        ASSERT_EQ(symlink(scratch.Path("target").c_str(), scratch.Path("name").c_str()), 0);
        EXPECT_EQ(AfxWriteFileSafely(scratch.Path("name").c_str(), Writes("new"), c.options), c.result);
        EXPECT_FALSE(std::filesystem::exists(scratch.Path("target")));
        EXPECT_EQ(std::filesystem::is_symlink(scratch.Path("name")), c.linkStays);
        if (!c.linkStays) {
            EXPECT_EQ(scratch.Read("name"), "new");
        }
        EXPECT_EQ(NamesBeside(scratch.Root()), 1u);
    }
}

TEST(SafeFile, AFailedWriteLeavesTheOldFileAndNoTemporary)
{
    qmtest::ScratchFolder scratch;
    scratch.Write("name", std::string_view("old"));
    DWORD result = AfxWriteFileSafely(scratch.Path("name").c_str(), [](CFile& file) {
        file.Write("part", 4);
        AfxThrowFileException(CFileException::diskFull, ENOSPC, "name");
    });
    EXPECT_EQ(result, ERROR_DISK_FULL);
    EXPECT_EQ(scratch.Read("name"), "old");
    EXPECT_EQ(NamesBeside(scratch.Root()), 1u);
    // A folder that is not there: the writer never runs.
    bool ran = false;
    EXPECT_NE(AfxWriteFileSafely(scratch.Path("gone/name").c_str(), [&](CFile&) { ran = true; }), ERROR_SUCCESS);
    EXPECT_FALSE(ran);
}

TEST(SafeFile, ATakenTemporaryNameIsPassedOverUnlessTheCallerHoldsTheLock)
{
    qmtest::ScratchFolder scratch;
    scratch.Write("name.tmp", std::string_view("someone else's"));
    ASSERT_EQ(AfxWriteFileSafely(scratch.Path("name").c_str(), Writes("mine"), AFX_WRITE_REPLACE, 0640), ERROR_SUCCESS);
    EXPECT_EQ(scratch.Read("name"), "mine");
    EXPECT_EQ(scratch.Read("name.tmp"), "someone else's");
    struct stat st {};
    ASSERT_EQ(stat(scratch.Path("name").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Under the caller's lock the leftover is a dead writer's and goes.
    ASSERT_EQ(AfxWriteFileSafely(scratch.Path("name").c_str(), Writes("again"), AFX_WRITE_SERIALISED), ERROR_SUCCESS);
    EXPECT_EQ(scratch.Read("name"), "again");
    EXPECT_EQ(NamesBeside(scratch.Root()), 1u);
}
