#include "logger/readings.h"

#include <cstdio>

bool CheckImageFirmware(const MemoryImage& image, WindowId owner) {
    if (FirmwareUsesTempTable(ImageFirmware(image))) {
        return true;
    }
    ShowMessage(owner, MSG_FIRMWARE_NOT_SUPPORTED, " ", MsgIcon::None);
    return false;
}

float ImageTemp(const MemoryImage& image, int ad) { return ADToTemp(ad, ImageFirmware(image)); }

int ImageTemp_x10(const MemoryImage& image, int ad) {
    return ADToTemp_x10(ad, ImageFirmware(image));
}

std::string TimeText(const CALENDAR& c) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", c.h, c.m, c.s);
    return text;
}

std::string DateText(const CALENDAR& c) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", c.day, c.month, c.year % 100);
    return text;
}
