// Helpers shared by the unit tests: a scratch working folder per test, the
// headless platform with an input script, and reading files back.
#ifndef TESSEL_TEST_HARNESS_H
#define TESSEL_TEST_HARNESS_H

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

// Makes a fresh folder under the system's temporary folder and makes it the
// current directory; restores the previous one and removes the folder when
// destroyed.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Selects the headless platform in windowed or full-screen form; a non-empty
// script is written to "input.txt" in the current folder and named by
// TESSEL_INPUT (an empty one clears TESSEL_INPUT). Call before InitLibrary.
void UseHeadless(const std::string& script = "", bool windowed = false);

// Caps the process's address space at what it has mapped plus `room` bytes
// while it lives, so that larger allocations fail as on a machine out of
// memory. `active()` is false where no cap can be set (under the address
// sanitizer, which maps far more than it uses).
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(size_t room);
    ~AddressSpaceCap();
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
    unsigned long long saved_ = 0;
};

// A test in a scratch folder that starts the library on the headless
// platform when it is ready (after any mode or file set-up) and ends it after.
class LibraryTest : public ::testing::Test {
protected:
    void Start(bool windowed = false);
    void TearDown() override;
    ScratchDir dir;
};

// The library started at once, drawing to a cleared back buffer.
class BackBufferTest : public LibraryTest {
protected:
    void SetUp() override;
};

// Plays headless script lines ("verb args", '|' between them), one every
// 10 ms from now, and pumps until all of them have come through.
void PlayScript(const std::string& lines);

// How often `what` stands in `text`, overlaps included.
int Occurrences(const std::string& text, const std::string& what);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// AppLog.txt of the current folder, converted from code page 932 to UTF-8.
std::string ReadLogUtf8();

#endif
