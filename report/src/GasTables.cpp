#include "GasTables.h"

// The trailing blanks are part of the names: they keep the heading columns aligned.
const GasCode GasCodeTable[kGasCodeCount] = {
    {"LEL ", 10}, {"GAS ", 10},  {"PPM", 1},  {"O2  ", 10}, {"CO  ", 1}, {"H2S ", 1},
    {"PPM", 1},   {"GAS ", 100}, {"CO  ", 1}, {"H2S ", 1},  {"", 1},     {"", 1},
    {"PPM", 1},   {"", 1},       {"LH2", 10}, {"VH2", 10},
};

const char SensorRangeTable[kGasCodeCount][20] = {
    "0..100 % LEL",      "0..100 % GAS",
    "0..1000 PPM Flam",  "0..25 % O2",
    "0..1000 PPM CO",    "0..100 PPM H2S",
    "0..10000 PPM Flam", "0..5 % GAS",
    "0..1000 mg/m3 CO",  "0..100 mg/m3 H2S",
    "0..100% Methane",   "0..100% General HC",
    "0..10000 PPM Flam", "",
    "0..100 % LEL H2",   "0..100 % GAS",
};

const char LocationNames[kLocationCount][20] = {
    "No Location",     "At Service Entry",    "Attic/Roof Space", "Cavity Wall",
    "Cellar/Basement", "Entry from Adjacent", "Under Floors",
};

const char PositionNames[kPositionCount][20] = {
    "No Position", "Boiler", "Floor", "Roof", "Skirting Board",
};

const char RoomNames[kRoomCount][20] = {
    "Porch",          "Hallway",       "Lounge", "Kitchen",  "Dining Room",
    "Master Bedroom", "Other bedroom", "Study",  "Bathroom", "Under stairs",
    "Cellar",         "Attic",         "Garage", "Other",
};

const char ReadingPointNames[kReadingPointCount][20] = {
    "Service Entry",     "Gas pipe",   "Boiler",  "Appliance", "Floor", "Skirting board",
    "Under floor",       "Atmosphere", "Ceiling", "Cupboard",  "Duct",  "Cavity wall",
    "Adjacent property", "Other",
};
