#include "ModulePrompt.h"

#include "LinkDefaults.h"

namespace {

UserPrompt* current = nullptr;

} // namespace

void SetModulePrompt(UserPrompt* prompt) {
    current = prompt;
}

void ShowModulePrompt(const char* text, const char* caption) {
    UserPrompt& prompt = current != nullptr ? *current : DefaultPrompt();
    prompt.Show(text, caption);
}
