#pragma once
// The data window's list of readings and the configuration window's fields.

#include <string>
#include <vector>

#include "logger/memory_image.h"
#include "logger/readings.h"

// One line a reading: "1\t10:01:00\t05.03.14\t25.0\t2.0\t8.0\t". The printout keeps the
// card's own times.
std::vector<std::string> ReadingListLines(const MemoryImage& image,
                                          TimeBase base = TimeBase::Adjusted);

// Fills the data window's list from the image, its times as `base` says.
bool WeatherStationViewData(const MemoryImage& dado_in, TimeBase base);

// Shows `config_values` in the configuration window's controls.
bool WeatherStationViewPar();

// Takes the two list positions of the configuration window into sample_points and
// sample_rate (a position outside a list leaves the value) and shows the recording time.
void CalcRecTime();

// "%2.1f" of the temperature of an A/D threshold.
std::string ThresholdText(int ad);
