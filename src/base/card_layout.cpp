#include "base/card_layout.h"

int FirmwareNumber(const FirmwareVersion& version) {
    if (version.digits[0] == 0) {
        return 0;
    }
    int number = 0;
    for (char digit : version.digits) {
        if (digit < '0' || digit > '9') {
            return -1;
        }
        number = number * 10 + (digit - '0');
    }
    return number;
}
