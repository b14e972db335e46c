// The registry calls: keys, values, sizes, rights, enumeration, and several processes
// writing one hive at once.
#include "framework/registry.h"
#include "framework/testing_hooks.h"

#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

namespace {

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr, REGSAM sam = KEY_ALL_ACCESS)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, sam, nullptr, &key, disposition), ERROR_SUCCESS);
    return key;
}

LONG SetDword(HKEY key, const char* name, DWORD v)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

DWORD GetDword(HKEY key, const char* name, LONG* result = nullptr)
{
    DWORD v = 0, type = 0, size = sizeof v;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
    if (result)
        *result = r;
    return r == ERROR_SUCCESS && type == REG_DWORD ? v : 0xFFFFFFFF;
}

// Runs body in a child process; returns its exit status.
template <typename Body>
pid_t Spawn(Body body)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int code = body();
        ::_exit(code);
    }
    return pid;
}

int Join(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(RegistryApi, KeysOpenCreateAndCompareWithoutCase)
{
    qmtest::ScratchFolder scratch;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);

    DWORD disposition = 0;
    HKEY created = Create(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HKEY again = Create(HKEY_CURRENT_USER, "SOFTWARE\\quillmar\\UNSEALER", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\QUILLMAR", 0, KEY_READ | KEY_CREATE_SUB_KEY, &key), ERROR_SUCCESS);

    // A subkey through a handle; the first spelling of a name stays.
    HKEY sub = Create(key, "Unsealer\\USER INFORMATION");
    char name[64];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Unsealer");
    EXPECT_EQ(nameSize, 8u);
    EXPECT_EQ(RegEnumKeyA(key, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);

    for (HKEY k : {created, again, key, sub})
        EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetDword(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x12345)), "x", 1), ERROR_INVALID_HANDLE);
}

TEST(RegistryApi, ValuesTypesAndSizes)
{
    qmtest::ScratchFolder scratch;
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Quillmar\\Postlantern");
    const char text[] = "hello";
    // A string given without its NUL gets one.
    ASSERT_EQ(RegSetValueExA(key, "Greeting", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 5), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "greeting", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    char small[3];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    char buffer[16];
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "hello");

    // Binary data of any length, including empty, and replacement in place.
    std::string blob(1000, '\0');
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = static_cast<char>(i * 7);
    ASSERT_EQ(RegSetValueExA(key, "SN_ABC", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()), 1000), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    std::string back(1000, 'x');
    size = 1000;
    ASSERT_EQ(RegQueryValueExA(key, "sn_abc", nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(back, blob);
    size = 10;
    ASSERT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);

    ASSERT_EQ(SetDword(key, "Count", 7), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "COUNT", 8), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "count"), 8u);

    // Enumeration keeps the order of first setting.
    char name[32];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 3, name, &nameSize, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Count");
    EXPECT_EQ(type, REG_DWORD);
    nameSize = 3;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    DWORD values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 4u);
    EXPECT_EQ(maxName, 8u);
    EXPECT_EQ(maxData, 1000u);

    EXPECT_EQ(RegDeleteValueA(key, "GREETING"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Greeting"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST(RegistryApi, RightsAndDeletedKeys)
{
    qmtest::ScratchFolder scratch;
    HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Q");
    HKEY child = Create(parent, "Child");
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Q\\Child", 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(reader, "v", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
    ASSERT_EQ(SetDword(child, "v", 1), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(reader, "v"), 1u);

    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Q"), ERROR_ACCESS_DENIED);   // has a subkey
    EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_SUCCESS);
    LONG r = 0;
    GetDword(child, "v", &r);
    EXPECT_EQ(r, ERROR_KEY_DELETED);
    EXPECT_EQ(SetDword(child, "v", 2), ERROR_KEY_DELETED);

    Create(parent, "A\\B\\C");
    ASSERT_EQ(SetDword(parent, "kept", 3), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Q\\A"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Q\\A\\B", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetDword(parent, "kept"), 3u);
    EXPECT_EQ(RegDeleteTreeA(parent, nullptr), ERROR_SUCCESS);   // empties the key itself
    GetDword(parent, "kept", &r);
    EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
    for (HKEY k : {parent, child, reader})
        RegCloseKey(k);
}

TEST(RegistryApi, ChangesOfOtherProcessesAreSeen)
{
    qmtest::ScratchFolder scratch;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared");
    pid_t pid = Spawn([] {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_WRITE, &k) != ERROR_SUCCESS)
            return 1;
        return SetDword(k, "FromChild", 5) == ERROR_SUCCESS ? 0 : 2;
    });
    ASSERT_EQ(Join(pid), 0);
    EXPECT_EQ(GetDword(key, "FromChild"), 5u);
    RegCloseKey(key);
}

TEST(RegistryApi, TwoProcessesWritingAtOnceLoseNothing)
{
    qmtest::ScratchFolder scratch;
    constexpr int kValues = 40;
    auto writer = [](char tag) {
        return [tag] {
            HKEY k = nullptr;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quillmar\\Postlantern", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                nullptr) != ERROR_SUCCESS)
                return 1;
            for (int i = 0; i < kValues; ++i) {
                std::string name = std::string("SN_") + tag + std::to_string(i);
                if (SetDword(k, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
                    return 2;
            }
            return 0;
        };
    };
    pid_t a = Spawn(writer('A'));
    pid_t b = Spawn(writer('B'));
    ASSERT_EQ(Join(a), 0);
    ASSERT_EQ(Join(b), 0);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quillmar\\Postlantern", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (char tag : {'A', 'B'})
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(GetDword(key, (std::string("SN_") + tag + std::to_string(i)).c_str()), static_cast<DWORD>(i));
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(values, 2u * kValues);
    RegCloseKey(key);
}

TEST(RegistryApi, CrashMidWriteLeavesTheHiveIntact)
{
    qmtest::ScratchFolder scratch;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer");
    ASSERT_EQ(SetDword(key, "Before", 1), ERROR_SUCCESS);
    const std::string path = scratch.Config() + "/HKEY_CURRENT_USER.reg";
    const std::string before = qmtest::ReadText(path);

    pid_t pid = Spawn([] {
        AfxSetCrashPointForTesting(30);
        HKEY k = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer", 0, KEY_WRITE, &k);
        SetDword(k, "Lost", 2);
        return 0;   // not reached: the write ends the process
    });
    EXPECT_EQ(Join(pid), 86);
    EXPECT_EQ(qmtest::ReadText(path), before);
    EXPECT_TRUE(std::filesystem::exists(path + ".tmp"));   // the torn temporary file

    // The lock died with the writer; the next write goes through and tidies up.
    LONG r = 0;
    GetDword(key, "Lost", &r);
    EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetDword(key, "After", 3), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, "Before"), 1u);
    EXPECT_EQ(GetDword(key, "After"), 3u);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    RegCloseKey(key);
}

TEST(RegistryApi, HiveFilesAreOwnerOnly)
{
    qmtest::ScratchFolder scratch;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\P");
    RegCloseKey(key);
    auto perms = std::filesystem::status(scratch.Config() + "/HKEY_CURRENT_USER.reg").permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::string(AfxGetHivePath(HKEY_LOCAL_MACHINE)), scratch.Config() + "/HKEY_LOCAL_MACHINE.reg");
}
