#pragma once

#include "BrowserFixture.h"

// An instrument with sessions on three days of two months, an alarm in February, tags of every
// kind, an undated and an empty slot; once uploaded its tree is:
//   0 Feb 2026 / 1 Thursday 05 / 2 09:00:00 Alm (slot 1)
//   3 Mar 2026 / 4 Thursday 05 / 5 08:30:00 FC C (slot 2), 6 10:00:00 (slot 0)
//                7 Friday 06   / 8 12:00:00 all tags (slot 3)
//   9 Apr 2026 / 10 Thursday 02 / 11 07:00:00 (slot 60)
class TreeTest : public BrowserTest {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        instrument->PutEntry(0, InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 10, 0, 0)));
        instrument->PutEntry(1, InstrumentMemory::Name(InstrumentStamp(2026, 2, 5, 9, 0, 0), "A"));
        instrument->PutEntry(2,
                             InstrumentMemory::Name(InstrumentStamp(2026, 3, 5, 8, 30, 0), "FC"));
        instrument->PutEntry(3,
                             InstrumentMemory::Name(InstrumentStamp(2026, 3, 6, 12, 0, 0), "FACc"));
        instrument->PutEntry(4, "FFFFFFFF 1234567890");
        instrument->PutEntry(60, InstrumentMemory::Name(InstrumentStamp(2026, 4, 2, 7, 0, 0)));
        instrument->PutTextSession(0, "Slot zero");
        instrument->PutTextSession(1, "Slot one");
        instrument->PutTextSession(2, "Slot two");
        instrument->PutTextSession(3, "Slot three");
        instrument->PutTextSession(60, "Slot sixty");
    }
};
