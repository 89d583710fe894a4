#include "log_limit.h"

std::string LogKind(const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::size_t colon = line.find(": ");
    if (space == std::string::npos || colon == std::string::npos || colon <= space + 1) {
        return line;
    }
    const std::string word = line.substr(space + 1, colon - space - 1);
    const bool address = word.find_first_not_of("0123456789abcdefABCDEF.:") == std::string::npos &&
                         word.find_first_of(".:") != std::string::npos;
    return address ? line.substr(0, space) + line.substr(colon) : line;
}

std::vector<std::string> LogLimit::Admit(const std::string& line, Clock::time_point now) {
    const std::string kind = LogKind(line);
    if (kinds_.size() >= LOG_KINDS_MAX && kinds_.count(kind) == 0) {
        kinds_.clear();
    }
    Kind& k = kinds_[kind];
    std::vector<std::string> out;
    if (now - k.second_began >= std::chrono::seconds(1)) {
        if (k.left_out > 0) {
            out.push_back("(" + std::to_string(k.left_out) + " more lines like \"" + kind +
                          "\" left out)");
        }
        k = Kind{now, 0, 0};
    }
    if (k.printed < LOG_LINES_PER_KIND) {
        ++k.printed;
        out.push_back(line);
    } else {
        ++k.left_out;
    }
    return out;
}
