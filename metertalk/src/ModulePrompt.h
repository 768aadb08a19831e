#pragma once

#include "linkselect/Platform.h"

// The library's message boxes go through one module-wide prompt, shared by CComms and CTestList.
void SetModulePrompt(UserPrompt* prompt);
void ShowModulePrompt(const char* text, const char* caption);
