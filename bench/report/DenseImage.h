#pragma once

// A memory image with every slot full, its sessions dense with records of every type and the
// versions in use: what the report and export benchmarks work on. They read it through the
// program's own memory image, window and escape rule included.
#include "core/LogImage.h"
#include "report/Report.h"

#include <cstdint>
#include <vector>

using Image = LogImage;

constexpr int kBenchSlots = LogImage::kSlotCount;
constexpr size_t kBenchSessionBytes = 4000;

// The image (built once) and the average number of record bytes per session (the rest of each
// 4,000-byte session reads as erased flash, which ends the stream).
Image& FullImage(double& recordBytes);
