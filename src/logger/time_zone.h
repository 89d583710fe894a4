#pragma once
// Times in the image are GMT; views and reports show Brasília time (GMT-3, no
// daylight saving) unless the card's own GMT-0 is asked for.

#include "logger/calendar.h"

// Brasília time against GMT.
constexpr int BRASILIA_OFFSET_HOURS = -3;

// Hours applied by the last ajustaHoraBrasilia: -3 or 0. Reports print it.
extern int ajuste_hora;

// Shifts `c` by whole hours; minutes and seconds are never touched.
void ShiftCalendarHours(CALENDAR& c, int horas);

// Shifts `cal` by whole hours.
void ajustaHoraCalcula(int horas);

// Sets ajuste_hora (0 when `keep_card_time`, else Brasília's -3) and shifts `cal` once.
void ajustaHoraBrasilia(bool keep_card_time);
