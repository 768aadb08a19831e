#pragma once

// Decimal readers for driver-text fields, in the two flavours the text needs: atoi's (0 when no
// digits lead) and scanf's (the caller's value stays when no number leads). Values that do not
// fit an int saturate instead of overflowing.
bool ScanDecimal(const char* text, int& value);
int DecimalOrZero(const char* text);
