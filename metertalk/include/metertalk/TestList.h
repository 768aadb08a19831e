#pragma once

#include <string>

struct TestTable;

// The data kinds of a test, bits 0-4 of its flags; any other value reads as a byte.
enum TestKind : int {
    KindByte = 1,
    KindWord = 2,
    KindLong = 3,
    KindSwappedLong = 4, // a long sent high word first
    KindText = 5,
};

// The instrument's tests, parsed from its driver text, and the one test that is current:
// CComms::Ask and CComms::Set read or write the test last selected by FindTest.
class CTestList {
public:
    // The program's room for the instrument's driver text. A text that fills it may have been cut
    // short, so ReadDriver warns ("ERROR", "3000 chars") about a text of exactly this length.
    static constexpr int DriverBufferSize = 3000;
    // The number of "Upload flag" in the built-in driver text: a non-zero write of this test
    // makes the instrument stream a memory area.
    static constexpr int UploadFlagNumber = 11;

    CTestList() = default;
    ~CTestList();
    CTestList(const CTestList&) = delete;
    CTestList& operator=(const CTestList&) = delete;

    // Allocates the table on first use and resets it; must precede every other call.
    void InitTestList();
    // Loads the entries of a NUL-terminated driver text, or of the built-in text
    // "V10!AUpload flag!11!129!N!" when text is null. The text is not kept.
    void ReadDriver(const char* text);
    int GetInterfaceVersion() const;
    int GetNumberOfTests() const;
    int GetLastTest() const;

    // Makes the named test current (exact, case-sensitive) and returns its version letter; 0 and
    // the test number "-1" when no entry has that name.
    char FindTest(const std::string& name);
    // Name of the first slot whose number reads as number; empty when none.
    std::string TestName(int number) const;
    // Names of the entries whose flags contain every bit of mask, one per call; empty at the end.
    std::string FindFirst(int mask);
    std::string FindNext();

    // The current test.
    std::string GetTestNumber() const;
    int GetTestType() const;
    int GetNoBytes() const;
    int GetTestSensor() const;
    int GetAlterable() const;
    char GetTestVersion() const;
    void SetSensorNumber(int sensor);
    int GetSensorNumber() const;

    // Releases the table; a later InitTestList allocates a new one.
    void CleanupTestList();

private:
    TestTable* Table = nullptr;
};
