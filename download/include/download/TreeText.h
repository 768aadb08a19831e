#pragma once

#include <cstdint>
#include <functional>
#include <string>

class SessionTable;
struct SessionBoxes;

// The session tree as text: a month node's text on a line of its own, a day node's text indented
// by two blanks, a session node as four blanks, "slot", its slot number, ": " and its label
// ("    slot 12: 10:15:00FC   "): a number printed is said to be the slot, never left bare. Lines
// end in "\n".
// `archived`, when given, marks the sessions it names with " archived" at the end of their line:
// what a download need not upload again.
std::string SessionTreeText(const SessionTable& table, const SessionBoxes& boxes,
                            const std::function<bool(int16_t)>& archived = nullptr);
