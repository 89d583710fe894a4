#pragma once
// Times in the image are GMT; views and reports show Brasília time (GMT-3, no
// daylight saving) unless the data window's check box asks for GMT-0.

#include "logger/calendar.h"

// Hours applied by the last ajustaHoraBrasilia: -3 or 0. Reports print it.
extern int ajuste_hora;

// Shifts `c` by whole hours; minutes and seconds are never touched.
void ShiftCalendarHours(CALENDAR& c, int horas);

// Shifts `cal` by whole hours.
void ajustaHoraCalcula(int horas);

// Decides the offset from the data window's check box (no window: not ticked) and
// shifts `cal` once.
void ajustaHoraBrasilia();
