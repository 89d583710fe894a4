#pragma once
// Keeping a card's recording before anything replaces it: a configuration write starts a new
// recording on the card, and the readings it held are gone unless they were archived.

#include <optional>
#include <string>
#include <string_view>

#include "files/archive.h"

// The folder the program archives into: DefaultArchiveDir() until another is chosen.
std::string ArchiveFolder();
void SetArchiveFolder(const std::string& dir);

inline constexpr std::string_view MSG_READ_CANCELLED = "Leitura Cancelada";

// Reads the whole memory of the connected card on the calling thread, with the retries and
// time-outs of "Ler"; the image carries the card's firmware, as a read by "Ler" does.
// Nothing when the read failed or was cancelled (cancel_rd).
std::optional<MemoryImage> ReadCardMemory();

// ReadCardMemory, then the image archived in `dir`. A read that fails or is cancelled
// archives nothing: Failed, with the reason.
ArchiveResult ReadAndArchiveCard(const std::string& dir);

// "O cartão tem N leituras que ainda não foram arquivadas. ..."
std::string UnarchivedReadingsQuestion(int readings);

// Before "Gravar": reads the card's configuration to learn what it holds; when that is a
// recording not in the archive, asks whether to read and archive it first. True when the
// write may go ahead: nothing to keep, kept, or the user chose "No". Cancel, a failed
// configuration read, a failed read or archive: false, the failure shown.
bool KeepRecordingBeforeWrite();
