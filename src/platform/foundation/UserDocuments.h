#pragma once

#include <chrono>
#include <filesystem>
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

}
