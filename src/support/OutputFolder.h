// What a folder we write into holds besides the outputs themselves, and how it is put right
// after an interruption: the hidden temporaries of writers, and the record of a pair being
// renamed into place.
//
// A pair (MIF and MID) is published by two renames. Before the first, a record naming both
// finished, synced temporaries and their targets is made durable beside the targets; after
// the second it is removed. A run that dies in between (a kill, a power cut) leaves that
// record, and the next writer into the folder completes the renames it names, so the folder
// never keeps a new MIF beside an old MID. Publishing and putting right happen under the
// folder's lock, so two writers never interleave their renames.
#pragma once

#include <string>

namespace plexor {

// A hidden name beside `target` for one of our files, ending in `tail`. Names that would
// pass the 255 bytes a file name may have are made from a hash of the target's name instead.
std::string HiddenNameFor(const std::string& target, const std::string& tail);

inline constexpr const char* kTemporaryTail = ".plexor-tmp";
inline constexpr const char* kBackupTail = ".plexor-old";
inline constexpr const char* kPairRecordTail = ".plexor-pair";

struct TPairRecord {
  std::string FirstTemporary, FirstTarget;
  std::string SecondTemporary, SecondTarget;
  std::string Backup;  // a second name of the earlier first target, or empty
};

// The record's path for a pair whose first target is `firstTarget`.
std::string PairRecordPathFor(const std::string& firstTarget);
// Writes the record durably (the file and its folder synced); false with the reason.
bool WritePairRecord(const std::string& path, const TPairRecord& record, std::string& why);

// Completes the pairs whose records an interrupted run left, then removes the temporaries
// and backups of writers that are gone (never those of a live process, here or on another
// machine sharing the folder). Takes the folder's lock. The Once form does it the first time
// this process writes into a folder.
void RecoverOutputFolder(const std::string& dir);
void RecoverOutputFolderOnce(const std::string& dir);

}  // namespace plexor
