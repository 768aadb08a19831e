#include "metertalk/TestList.h"

#include "DecimalText.h"
#include "ModulePrompt.h"
#include "TestTable.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char BuiltInDriver[] = "V10!AUpload flag!11!129!N!";
static_assert(BuiltInDriver[17] - '0' == CTestList::UploadFlagNumber / 10 &&
                  BuiltInDriver[18] - '0' == CTestList::UploadFlagNumber % 10,
              "the built-in text numbers \"Upload flag\" as the engine expects");

// Beyond this many characters a field is cut and its next character taken as the separator.
constexpr int FieldScanLimit = 100;

// One '!'-ended field from ParsePos into field (FieldScanLimit + 1 bytes). Line breaks are
// dropped wherever they occur, so entries may stand on separate lines.
void ReadField(TestTable& t, char* field) {
    int kept = 0;
    int scanned = 0;
    const char* text = t.DriverText;
    while (scanned < FieldScanLimit) {
        const char c = text[t.ParsePos];
        if (c == '\0') {
            field[kept] = '\0';
            return;
        }
        ++t.ParsePos;
        if (c == '!') {
            field[kept] = '\0';
            return;
        }
        ++scanned;
        if (c != '\r' && c != '\n')
            field[kept++] = c;
    }
    field[kept] = '\0';
    if (text[t.ParsePos] != '\0')
        ++t.ParsePos;
}

void CopyCut(char* destination, int size, const char* source) {
    int i = 0;
    for (; i < size - 1 && source[i] != '\0'; ++i)
        destination[i] = source[i];
    destination[i] = '\0';
}

} // namespace

CTestList::~CTestList() {
    CleanupTestList();
}

void CTestList::InitTestList() {
    if (Table == nullptr)
        Table = new TestTable{};
    TestTable& t = *Table;
    t.NoBytes = 0;
    t.TestType = 0;
    t.TestSensor = 0;
    t.Alterable = 0;
    t.SensorNumber = 0;
    t.CurrentIndex = 0;
    t.InterfaceVersion = 0;
    t.NumberOfTests = 0;
    t.LastTest = 0;
    t.ParsePos = 0;
    t.FindMask = 0;
    t.FindPos = 0;
    t.TestNumberText[0] = '\0';
    t.VersionLetter[0] = 0;
    t.Flags[0] = 0;
    t.PerSensor[0] = 0;
    t.DriverText = nullptr;
}

void CTestList::ReadDriver(const char* text) {
    if (Table == nullptr)
        return;
    TestTable& t = *Table;
    t.DriverText = text != nullptr ? text : BuiltInDriver;
    t.LastTest = 0;

    const size_t length = std::strlen(t.DriverText);
    if (length == DriverBufferSize) {
        char caption[32];
        std::snprintf(caption, sizeof caption, "%d chars", static_cast<int>(length));
        ShowModulePrompt("ERROR", caption);
    }

    // Slots past the new entries must not keep the names and numbers of an earlier text.
    for (int i = 0; i < TestTable::MaxTests; ++i) {
        t.Names[i][0] = '\0';
        t.Numbers[i][0] = '\0';
    }

    char field[FieldScanLimit + 1];
    t.ParsePos = 0;
    ReadField(t, field);
    t.InterfaceVersion = field[0] != '\0' ? DecimalOrZero(field + 1) : 0;

    int i = 0;
    for (; i < TestTable::MaxTests; ++i) {
        ReadField(t, field);
        if (field[0] == '\0' || field[1] == '\0')
            break;
        t.VersionLetter[i] = field[0];
        CopyCut(t.Names[i], TestTable::NameSize, field + 1);

        ReadField(t, field);
        // Number texts longer than the slot are cut; no instrument uses more than three digits.
        CopyCut(t.Numbers[i], TestTable::NumberSize, field);
        const int number = DecimalOrZero(t.Numbers[i]);
        if (number > t.LastTest)
            t.LastTest = number;

        ReadField(t, field);
        ScanDecimal(field, t.Flags[i]);

        ReadField(t, field);
        t.PerSensor[i] = field[0] == 'S' ? 1 : 0;
        if ((t.Flags[i] & 0x1f) == KindText)
            t.StringLength[i] = field[0] != '\0' ? DecimalOrZero(field + 1) : 0;
    }
    t.NumberOfTests = i;
    t.DriverText = nullptr;
}

int CTestList::GetInterfaceVersion() const {
    return Table ? Table->InterfaceVersion : 0;
}
int CTestList::GetNumberOfTests() const {
    return Table ? Table->NumberOfTests : 0;
}
int CTestList::GetLastTest() const {
    return Table ? Table->LastTest : 0;
}

char CTestList::FindTest(const std::string& name) {
    if (Table == nullptr)
        return 0;
    TestTable& t = *Table;
    for (int i = 0; i < t.NumberOfTests; ++i) {
        if (name != t.Names[i])
            continue;
        const int flags = t.Flags[i];
        t.Alterable = (flags >> 7) & 1;
        CopyCut(t.TestNumberText, TestTable::NumberSize, t.Numbers[i]);
        switch (flags & 0x1f) {
        case KindWord:
            t.TestType = KindWord;
            t.NoBytes = 2;
            break;
        case KindLong:
        case KindSwappedLong:
            t.TestType = flags & 0x1f;
            t.NoBytes = 4;
            break;
        case KindText:
            t.TestType = KindText;
            t.NoBytes = t.StringLength[i];
            break;
        default:
            t.TestType = KindByte;
            t.NoBytes = 1;
            break;
        }
        t.TestSensor = t.PerSensor[i];
        t.CurrentIndex = i;
        return t.VersionLetter[i];
    }
    CopyCut(t.TestNumberText, TestTable::NumberSize, "-1");
    return 0;
}

std::string CTestList::TestName(int number) const {
    if (Table == nullptr)
        return std::string();
    for (int i = 0; i < TestTable::MaxTests; ++i) {
        if (DecimalOrZero(Table->Numbers[i]) == number)
            return Table->Names[i];
    }
    return std::string();
}

namespace {

std::string ScanFlags(TestTable& t) {
    while (t.FindPos < t.NumberOfTests) {
        if ((t.Flags[t.FindPos] & t.FindMask) == t.FindMask)
            return t.Names[t.FindPos];
        ++t.FindPos;
    }
    return std::string();
}

} // namespace

std::string CTestList::FindFirst(int mask) {
    if (Table == nullptr)
        return std::string();
    Table->FindMask = mask;
    Table->FindPos = 0;
    return ScanFlags(*Table);
}

std::string CTestList::FindNext() {
    if (Table == nullptr)
        return std::string();
    if (Table->FindPos < TestTable::MaxTests)
        ++Table->FindPos;
    return ScanFlags(*Table);
}

std::string CTestList::GetTestNumber() const {
    return Table ? Table->TestNumberText : "";
}
int CTestList::GetTestType() const {
    return Table ? Table->TestType : 0;
}
int CTestList::GetNoBytes() const {
    return Table ? Table->NoBytes : 0;
}
int CTestList::GetTestSensor() const {
    return Table ? Table->TestSensor : 0;
}
int CTestList::GetAlterable() const {
    return Table ? Table->Alterable : 0;
}

char CTestList::GetTestVersion() const {
    if (Table == nullptr || Table->CurrentIndex < 0 || Table->CurrentIndex >= TestTable::MaxTests)
        return 0;
    return Table->VersionLetter[Table->CurrentIndex];
}

void CTestList::SetSensorNumber(int sensor) {
    if (Table != nullptr)
        Table->SensorNumber = sensor;
}

int CTestList::GetSensorNumber() const {
    return Table ? Table->SensorNumber : 0;
}

void CTestList::CleanupTestList() {
    delete Table;
    Table = nullptr;
}
