#pragma once

// The code-page conversion lives with the export library, which writes instrument texts too.
#include "export/Cp1252.h"
