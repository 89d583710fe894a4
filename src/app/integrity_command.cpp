#include "app/integrity_command.h"

#include <algorithm>
#include <filesystem>

#include "files/ledger.h"

namespace {

// A message box taller than the screen hides its button.
constexpr std::size_t kLinesShown = 30;

}  // namespace

const FileFilter& IntegrityFileFilter() {
    static const FileFilter filter{
        "Arquivos Morvelta, relatórios e registros(*.mvta *.pdf registro.jsonl)",
        "*.mvta *.pdf registro.jsonl", "mvta"};
    return filter;
}

std::string IntegrityMessageText(const std::vector<IntegrityItem>& items,
                                 const std::string& folder) {
    std::vector<IntegrityItem> sorted = items;
    std::stable_partition(sorted.begin(), sorted.end(),
                          [](const IntegrityItem& item) { return item.verdict != Integrity::Ok; });
    const bool all_ok = sorted.empty() || sorted.front().verdict == Integrity::Ok;
    std::string text = all_ok ? "Tudo confere com o registro do arquivo."
                              : "Há itens que não conferem com o registro do arquivo.";
    text += "\nPasta: " + folder + "\n";
    // Whole paths would wrap every line of the box.
    const std::string prefix = folder + "/";
    for (std::size_t k = 0; k < sorted.size() && k < kLinesShown; ++k) {
        IntegrityItem item = sorted[k];
        if (item.subject.rfind(prefix, 0) == 0) {
            item.subject.erase(0, prefix.size());
        }
        text += "\n" + IntegrityLineText(item);
    }
    if (sorted.size() > kLinesShown) {
        text += "\n... e mais " + std::to_string(sorted.size() - kLinesShown) + " itens ok";
    }
    return text;
}

bool CommandVerifyIntegrity() {
    // Not ChooseFileToOpen: the file checked is not the data on show.
    const std::optional<std::string> chosen =
        Windows().OpenFileDialog(WindowId::Main, IntegrityFileFilter());
    if (!chosen) {
        return false;
    }
    const std::string folder = std::filesystem::path(*chosen).parent_path().string();
    const bool whole_archive = std::filesystem::path(*chosen).filename() == LEDGER_FILE_NAME;
    const std::string path = whole_archive ? folder : *chosen;
    std::string reason;
    const auto items = VerifyIntegrity(path, "", &reason);
    if (!items) {
        ShowMessage(WindowId::Main, reason, CAPTION_VERIFY, MsgIcon::Stop);
        return false;
    }
    const bool all_ok = std::all_of(items->begin(), items->end(), [](const IntegrityItem& item) {
        return item.verdict == Integrity::Ok;
    });
    std::string text = IntegrityMessageText(*items, folder);
    if (whole_archive && !RecordVerification(folder, *items, &reason)) {
        text += "\n\nVerificação não registrada: " + reason;
    }
    ShowMessage(WindowId::Main, text, CAPTION_VERIFY,
                all_ok ? MsgIcon::Information : MsgIcon::Warning);
    return all_ok;
}
