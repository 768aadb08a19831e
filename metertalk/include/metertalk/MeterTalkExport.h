#pragma once

// Symbols of the MeterTalk shared library (the Qt shell) that its users call.
#if defined(_WIN32)
#if defined(METERTALK_BUILDING)
#define METERTALK_EXPORT __declspec(dllexport)
#else
#define METERTALK_EXPORT __declspec(dllimport)
#endif
#else
#define METERTALK_EXPORT __attribute__((visibility("default")))
#endif
