#include "logger/config_values.h"

#include <algorithm>
#include <cstring>

ConfigValues config_values;

std::string DescriptionBytes(const unsigned char* field) {
    std::size_t n = 0;
    while (n < DESCRIPTION_MAX_CHARS && field[n] != 0) {
        ++n;
    }
    return std::string(reinterpret_cast<const char*>(field), n);
}

void SetDescription(std::array<unsigned char, DESCRIPTION_SIZE>& field, std::string_view bytes) {
    field.fill(0);
    const std::size_t n = std::min<std::size_t>(bytes.size(), DESCRIPTION_MAX_CHARS);
    std::memcpy(field.data(), bytes.data(), n);
}
