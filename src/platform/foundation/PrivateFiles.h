#pragma once

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hestio::platform {

/// Files that hold a household's data or a secret: readable by their owner
/// only, written without following a link someone else planted, and read
/// without blocking on whatever stands at their name.

/// A 64-bit FNV-1a hash of `bytes`: quick, stable across runs and
/// machines, and no defence against anyone choosing collisions. It tells
/// long file names apart and checks kept files for damage.
[[nodiscard]] std::uint64_t hash64(std::string_view bytes);

/// A name (a user's, a list's) as one safe file name: ASCII letters, digits,
/// "-" and "_" stay, every other byte becomes "%XX" (so "." and "/" cannot
/// climb out of the folder); an empty name is "%". An escaped name longer
/// than `longestFileNameStem` bytes is cut there and given "~" and a hash of
/// the whole name, so it stays unique and, with a suffix, under the usual
/// 255-byte limit of a file name.
[[nodiscard]] std::string safeFileName(std::string_view name);
inline constexpr std::size_t longestFileNameStem = 160;

/// How makePrivateFolder treats a folder that exists already.
enum class ExistingFolder {
    Keep, ///< as the user set it (a folder among the user's documents)
    Tighten, ///< made owner-only too (a folder only this program uses)
};

/// Makes `folder` (mode 0700) and the parents it lacks (their usual mode).
/// An error, with errno saying which, when it cannot be made or is not a
/// folder.
Status makePrivateFolder(const std::filesystem::path& folder, ExistingFolder existing);

/// Replaces `file` with `contents`: written to a new owner-only temporary
/// file beside it (made by mkstemp, so a link planted at any name is never
/// followed), flushed to the disk, then renamed over `file`, so a crash
/// leaves the old file or the new one and never a part of either. The file
/// ends with mode 0600. `beforeRename` (tests) runs between the two. On
/// failure the temporary file is removed and the old file left as it was.
Status replaceFile(
    const std::filesystem::path& file, std::string_view contents, const std::function<void()>& beforeRename = {});
/// The mark in the names of replaceFile's temporary files: "." + the file's
/// name + temporaryMark + six random characters.
inline constexpr std::string_view temporaryMark = ".tmp-";

/// What readPrivateFile gives: the bytes read and the file's whole size.
struct FileBytes {
    std::string bytes;
    std::size_t size { 0 };
};

/// Reads at most `limit` bytes of `file`: opened without following a link
/// and without blocking (a pipe or a device at its name is refused rather
/// than waited on), and refused unless it is a regular file. The caller
/// compares `size` with what it read to see whether there was more. None
/// when nothing is at the name.
[[nodiscard]] Result<std::optional<FileBytes>> readPrivateFile(const std::filesystem::path& file, std::size_t limit);

}
