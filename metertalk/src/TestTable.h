#pragma once

// The parsed driver text and the current test. Sizes are those of the instrument's own table:
// 200 entries, names of 99 characters, number texts of 9.
struct TestTable {
    static constexpr int MaxTests = 200;
    static constexpr int NameSize = 100;
    static constexpr int NumberSize = 10;

    int NoBytes;
    char TestNumberText[NumberSize];
    int TestType;
    int TestSensor;
    int Alterable;
    int SensorNumber;
    int CurrentIndex;
    int InterfaceVersion;
    char VersionLetter[MaxTests];
    int Flags[MaxTests];
    int StringLength[MaxTests];
    int PerSensor[MaxTests];
    int NumberOfTests;
    int LastTest;
    int ParsePos;
    int FindMask;
    int FindPos;
    char Names[MaxTests][NameSize];
    char Numbers[MaxTests][NumberSize];
    const char* DriverText;
};
