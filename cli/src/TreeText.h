#pragma once

#include <string>

class SessionTable;
struct SessionBoxes;

// The session tree as text: a month node's text on a line of its own, a day node's text indented
// by two blanks, a session node as four blanks, its slot, ": " and its label. Lines end in "\n".
std::string SessionTreeText(const SessionTable& table, const SessionBoxes& boxes);
