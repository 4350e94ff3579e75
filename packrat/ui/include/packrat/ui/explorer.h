// The archive explorer: look inside an archive, take it apart into a folder
// of chunk files with a manifest, and put such a folder back together. It
// reads and writes archives only through the engine, so a rebuilt archive
// has exactly the bytes the engine writes for its model.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace packrat {

// Every operation raises an ArchiveError carrying one line for the user.
// The archive is read as a bare image when its name ends in ".drp" (in any
// letter case), as a .crp (compressed or stored) otherwise.

// Prints the archive as a tree with a summary line, or with `json` as one
// JSON document shaped like the manifest, with lengths instead of files.
void ListArchive(const std::string& file, bool json, std::ostream& out);

// The folder `extract` uses when none is given: the name without its extension.
std::string DefaultExtractFolder(const std::string& file);

// Writes the manifest and one file per chunk into `folder`, which must not
// exist or be empty. A failure takes away whatever it had written.
// Returns the number of chunks.
std::size_t ExtractArchive(const std::string& file, const std::string& folder);

// Reads `folder`'s manifest and the chunk files it names and writes
// `output`: compressed when it ends in ".crp", a bare image when it ends in
// ".drp". Nothing is written when anything is refused. Returns the number of chunks.
std::size_t BuildArchive(const std::string& folder, const std::string& output);

}  // namespace packrat
