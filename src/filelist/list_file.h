// The file-list file (".j3", "Filelist.j3" by default): the list's paths with
// each item's Loop and Stereo choice, and the sample number, so a list can be
// saved and opened again.
//
// The file is a run of NUL-terminated strings with nothing before, between or
// after them, and no count or end marker:
//   "J3 Filelist"   the magic
//   "0"             the version
//   "25"            the sample number, decimal
//   "12*sub/y.wav"  one per entry, in list order: the Loop digit, the Stereo
//                   digit (each 0 to 2), then the path
// A path in or below the list's own folder is stored as "*" and the rest of
// the path after that folder, so a folder holding a list and its files can be
// moved as a whole; any other path is stored in full.
//
// No Context here: the engine loads what read_file_list finds into the list
// (engine/list_commands.h). Any thread; nothing is shared.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "filelist/file_entry.h"
#include "format/result.h"

namespace j3 {

inline constexpr std::string_view kListFileMagic = "J3 Filelist";
// The name the save dialog proposes and the extension that marks a list file.
inline constexpr std::string_view kListFileName = "Filelist.j3";
inline constexpr std::string_view kListFileExtension = "j3";
// Longest path a list file names (the folder and the stored part together).
// Longer ones, and a folder too long to hold one, are not stored relatively
// and not read.
constexpr size_t kMaxListPathBytes = 1023;

struct ListFileEntry {
    int32_t loop = 0;    // LoopChoice, 0 to 2
    int32_t stereo = 0;  // StereoChoice, 0 to 2
    std::string path;    // full path, the folder joined on
};

struct ListFileContents {
    int32_t sample_number = 0;
    std::vector<ListFileEntry> entries;
    // Entry strings that name nothing that could be loaded: shorter than a
    // digit pair and a path, a digit outside 0 to 2, a path that is too long
    // or not a full path, or the last string cut off before its NUL.
    int32_t unusable = 0;
};

enum class ListFileStatus {
    kRead,            // contents filled
    kNotAList,        // does not start with the magic
    kUnknownVersion,  // a list of a later version: nothing is taken from it
    kDamaged,         // ends inside the three header strings
    kUnreadable,      // could not be opened or read, or is no regular file
};

// The prefix that marks a path as relative: the absolute folder of the list
// file, as a plain path ending in "/". Empty when that is longer than
// kMaxListPathBytes.
std::string list_folder_prefix(const std::filesystem::path& list_file);

// True when the file name's extension is "j3", in any case.
bool is_list_file_name(const std::filesystem::path& path);

// True when a list file can name the entry so that it loads again: a full
// path of at most kMaxListPathBytes. An item made in memory (received or
// built, named but never saved as a file) cannot be.
bool list_file_can_hold(const FileEntry& entry);

// The bytes of a list file for the entries' "File", "Loop" and "Stereo".
// A choice outside 0 to 2 is stored as 0, so each stays one digit. Entries a
// list file cannot hold are left out (see list_file_can_hold).
std::vector<uint8_t> format_file_list(int32_t sample_number, std::span<const FileEntry> entries,
                                      std::string_view folder_prefix);

// Reads the strings of a list file of size bytes; never reads outside them.
// The sample number is the third string's leading digits (0 when none,
// saturated at the 32-bit maximum). Unusable entry strings are counted and
// left out; the rest keep their order.
ListFileStatus parse_file_list(const uint8_t* data, size_t size, std::string_view folder_prefix,
                               ListFileContents& contents);

// Writes the list file whole, through write_whole_file: a failure leaves
// any earlier file as it was, and the message says why.
Result write_file_list(const std::filesystem::path& list_file, std::span<const FileEntry> entries,
                       int32_t sample_number);

struct ListFileRead {
    ListFileStatus status = ListFileStatus::kUnreadable;
    std::string message;  // for the user, naming the file; empty when read
    ListFileContents contents;
};

// Reads and parses a list file. Only a regular file is read: a folder, a
// pipe or a device is refused with a message rather than waited on.
ListFileRead read_file_list(const std::filesystem::path& list_file);

}  // namespace j3
