#pragma once

#include <QString>

#include <string>

// The tooltip of a session node: what the tags after the time in its label mean.
QString SessionTip(const std::string& label);
