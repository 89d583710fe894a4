#pragma once
// "Arquivo > Verificar integridade...": whether a data file, a report or a whole archive
// (chosen by its ledger, registro.jsonl) is what the archive's ledger recorded.

#include <string>
#include <vector>

#include "base/window_layer.h"
#include "files/integrity.h"

inline constexpr std::string_view CAPTION_VERIFY = "Verificar integridade";

// Data files, reports and ledgers: what the dialog offers.
const FileFilter& IntegrityFileFilter();

// The message: the outcome in one sentence and the folder checked in, then one line an
// item, named from that folder, those that fail first.
std::string IntegrityMessageText(const std::vector<IntegrityItem>& items,
                                 const std::string& folder);

// Asks for the file and shows the outcome; true when every item is ok.
bool CommandVerifyIntegrity();
