#pragma once
// The archive: every recording read is kept as DIR/SERIAL/YYYYMMDD-HHMMSS.mvta, named by its
// start time as the card stored it. A file once archived is never replaced: the same
// recording read again is recognised, a different one (more readings since) goes beside it.

#include <string>
#include <vector>

#include "logger/memory_image.h"

// $XDG_DATA_HOME/razurozavi/arquivo, or ~/.local/share/razurozavi/arquivo without it.
std::string DefaultArchiveDir();
// $XDG_DATA_HOME/razurozavi/saida: uploads that wait for the server.
std::string DefaultOutboxDir();

// "20250602-080000": the recording's start time as the card keeps it (GMT-0).
std::string ArchiveStem(const MemoryImage& image);

enum class ArchiveOutcome { Archived, AlreadyArchived, Failed };

struct ArchiveResult {
    ArchiveOutcome outcome = ArchiveOutcome::Failed;
    std::string path;    // the file that holds the image
    std::string reason;  // why it failed
};

// Stores `image` under `dir` and reads the file back to compare it with the image.
ArchiveResult ArchiveImage(const std::string& dir, const MemoryImage& image);

// Every data file of the archive (DIR/SERIAL/*.mvta), sorted by path.
std::vector<std::string> ArchivedFiles(const std::string& dir);

// Whether a file under `dir` already holds exactly this image.
bool IsArchived(const std::string& dir, const MemoryImage& image);
// Whether a file under `dir` holds a recording whose first `header_size` bytes (reading
// count, configuration, start) are these: what a configuration read alone can tell.
bool IsRecordingArchived(const std::string& dir, const MemoryImage& header, int header_size);
