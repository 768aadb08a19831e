#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SessionBoxes;

// Small helpers shared by the subcommands' argument parsing.

// Prints "tavon-datalog: <message>" as one line on standard error.
void PrintError(const std::string& message);
// Prints the message and a pointer to the help of `command` ("render", "archive list"; the
// overview without one); returns the usage exit status.
int UsageError(const std::string& message, const std::string& command = std::string());

// Splits "a,b,c" at the commas. Empty words are kept so that callers can reject them.
std::vector<std::string> SplitList(const std::string& text);

// True when the argument asks for help.
bool IsHelp(const char* arg);

// Parses a session slot, 0 to 499; anything else is refused with a message.
bool ParseSlot(const char* text, int16_t& slot, std::string& message);
// A slot number as typed: an optional minus sign and decimal digits.
bool LooksLikeNumber(const char* text);

// A mode name as the instrument's configuration block holds it: '[' and ']' become the bytes
// 0xE9 and 0xEA.
std::string ModeName(std::string name);

// "all", "alarm", "cal" in any comma-separated combination, like the program's session boxes.
bool ParseSessionBoxes(const std::string& text, SessionBoxes& boxes);
