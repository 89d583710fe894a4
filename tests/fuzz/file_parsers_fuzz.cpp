// Data, configuration and profile files come from anywhere: parsers and decoders take any bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "files/excel.h"
#include "files/file.h"
#include "logger/reading_list.h"
#include "reports/recording_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ConfigValues values;
    ParseConfigFileBytes(bytes, values);

    MemoryImage image{};
    std::string reason;
    ParseDataFileText(bytes, image, &reason);
    // Decode the raw bytes as an image too, so that short inputs reach the decoders.
    for (std::size_t i = 0; i < size && i < image.size(); ++i) {
        image[i] = data[i];
    }
    ReadingListLines(image);
    ExcelText(image, TimeBase::Adjusted);

    // Any image under any profile.
    const auto profile = ParseProfile("fuzz", bytes);
    SummaryJson(SummarizeImage(image, std::holds_alternative<Profile>(profile)
                                          ? std::get<Profile>(profile)
                                          : *BuiltInProfile("usp-crt")));
    return 0;
}
