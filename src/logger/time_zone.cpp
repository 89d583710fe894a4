#include "logger/time_zone.h"

int ajuste_hora = 0;

void ShiftCalendarHours(CALENDAR& c, int horas) {
    for (; horas < 0; ++horas) {
        if (c.h == 0) {
            c.h = 23;
            if (--c.day == 0) {
                if (--c.month == 0) {
                    c.month = 12;
                    --c.year;
                }
                c.day = diasDoMes(c.month, c.year);
            }
        } else {
            --c.h;
        }
    }
    for (; horas > 0; --horas) {
        if (++c.h >= 24) {
            c.h = 0;
            if (++c.day > diasDoMes(c.month, c.year)) {
                c.day = 1;
                if (++c.month > 12) {
                    c.month = 1;
                    ++c.year;
                }
            }
        }
    }
}

void ajustaHoraCalcula(int horas) {
    ShiftCalendarHours(cal, horas);
}

void ajustaHoraBrasilia(bool keep_card_time) {
    ajuste_hora = keep_card_time ? 0 : BRASILIA_OFFSET_HOURS;
    if (ajuste_hora != 0) {
        ajustaHoraCalcula(ajuste_hora);
    }
}
