#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hestio::platform {

/// One file of a set written together: the same stem, its own extension.
struct NewFile {
    std::string extension; ///< with its dot: ".csv"
    std::string_view contents;
};

/// Why a set of files was not written: the step, the path it concerned, and
/// the system's error number.
struct FileWriteFailure {
    enum class Step { CreateFolder, Write };
    Step step;
    std::filesystem::path path;
    int error;
};

struct NewFilesResult {
    /// The paths written, in the order of the files given; empty on failure.
    std::vector<std::filesystem::path> paths;
    std::optional<FileWriteFailure> failure;

    bool succeeded() const { return !failure; }
};

/// Writes `files` into `folder` (made, with its parents, where missing) as
/// stem + extension, under the first of "stem", "stem (2)", "stem (3)", …
/// for which none of the set's names is taken: an existing file is never
/// replaced, and the files of one set keep one stem. Each file is written to
/// a hidden file in the folder, flushed to the disk, and only then given its
/// name, so a file appears whole or not at all; when one of them cannot be
/// written, none of them is left behind.
[[nodiscard]] NewFilesResult writeNewFiles(
    const std::filesystem::path& folder, const std::string& stem, const std::vector<NewFile>& files);

/// "stem" for 1, "stem (2)" for 2, …
std::string numberedStem(const std::string& stem, int number);

}
