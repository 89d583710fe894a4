#pragma once
// Which times the data window's list, graph and exports show: its check box
// "converter para horário GMT-0" keeps the card's own; unticked, or without the window,
// Brasília's.

#include "logger/readings.h"

TimeBase DataWindowTimeBase();
