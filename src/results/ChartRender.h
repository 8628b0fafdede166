#pragma once

// The chart of a run as a picture file, for the command line: no window, no display.

#include "common/Result.h"
#include "results/ChartData.h"

#include <filesystem>

namespace vorteq {

inline constexpr int kChartFileWidth = 1600;
inline constexpr int kChartFileHeight = 1000;

// Draws the whole period into a PNG or an SVG file, chosen by the file's extension (".png",
// ".svg", any case). Starts the toolkit on its offscreen platform when no application runs yet.
// An unknown extension is a Validation error; a file that cannot be written an Io error.
Status renderChartFile(const ChartData& chart, const std::filesystem::path& path, int width = kChartFileWidth,
                       int height = kChartFileHeight);

} // namespace vorteq
