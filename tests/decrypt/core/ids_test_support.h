// Shared helpers of the digital-ID tests: a scratch folder that also holds the settings
// hives, a test ID, shell commands (OpenSSL) and small file helpers.
#pragma once

#include "framework/cstring.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class CRSAPrivateKey;

// A fresh folder for files and for the registry hives (XDG_CONFIG_HOME, XDG_DATA_HOME); the
// decrypting state is emptied before and after.
class IdsScratch : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
};

// A 508-bit key made once per run (generation is quick, but not free).
const CRSAPrivateKey& TestKey508();
// Makes a copy of the key the current decrypting ID, with the key file name.
void SetTestID(const CRSAPrivateKey& key, const std::string& keyFileName, const char* name = "Test ID");

// Runs a shell command; its exit status, with standard output and error in *output.
int Shell(const std::string& command, std::string* output = nullptr);
bool HaveOpenSSL();

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);   // without following a symbolic link
// The names in a folder, "." and ".." left out.
std::vector<std::string> FolderNames(const std::string& path);
