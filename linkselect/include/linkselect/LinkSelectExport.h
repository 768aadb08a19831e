#pragma once

// Symbols of the LinkSelect shared library that its users call.
#if defined(_WIN32)
#if defined(LINKSELECT_BUILDING)
#define LINKSELECT_EXPORT __declspec(dllexport)
#else
#define LINKSELECT_EXPORT __declspec(dllimport)
#endif
#else
#define LINKSELECT_EXPORT __attribute__((visibility("default")))
#endif
