#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace hestio::platform {

/// How the user's documents folder is asked for: the desktop's own answer,
/// `xdg-user-dir DOCUMENTS`, run in `environment`.
struct DocumentsLookup {
    std::vector<std::string> environment;
    std::chrono::milliseconds timeout { 2000 };
    std::string command { "xdg-user-dir" };

    /// The process's environment; under a profile ($HESTIO_PROFILE) with
    /// HOME at the profile's folder and XDG_CONFIG_HOME at its config
    /// folder, so that tests and demos keep what they save to themselves
    /// (a user-dirs.dirs in the profile's config folder is followed).
    static DocumentsLookup forCurrentProfile();
};

/// The user's documents folder: the absolute path the lookup prints. When
/// the program is missing, fails, takes too long or prints no absolute
/// path, and when it names the home folder itself (its answer when no
/// documents folder is set up), $HOME/Documents. Not made here.
[[nodiscard]] std::filesystem::path userDocumentsFolder(const DocumentsLookup& lookup);
/// The home folder the lookup's programs see ($HOME in its environment).
[[nodiscard]] std::filesystem::path homeFolder(const DocumentsLookup& lookup);

/// A folder named as a person knows it: its way down from the home folder,
/// "Documents › Hestio"; the whole path when it lies elsewhere.
[[nodiscard]] std::string folderDisplayName(const std::filesystem::path& folder, const std::filesystem::path& home);

/// Shows a folder in the desktop's file manager (`xdg-open FOLDER`), without
/// waiting for it. Main thread.
void openFolder(const std::filesystem::path& folder);
using FolderOpener = std::function<void(const std::filesystem::path&)>;
/// Puts `opener` in the place of the desktop's file manager (tests see what
/// would be opened); returns the one it replaces.
FolderOpener setFolderOpener(FolderOpener opener);

}
