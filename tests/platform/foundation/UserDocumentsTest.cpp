#include "platform/foundation/UserDocuments.h"
#include "platform/foundation/Command.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace std::chrono_literals;
using hestio::platform::CommandResult;
using hestio::platform::DocumentsLookup;
using hestio::platform::runCommand;
using hestio::platform::userDocumentsFolder;
using hestio::test::ScopedEnvironment;
using hestio::test::TempDir;

namespace {

/// A folder of stand-in programs, and an environment whose PATH is only it.
struct FakePrograms {
    TempDir dir;

    std::filesystem::path add(const std::string& name, const std::string& script, bool executable = true)
    {
        auto path = dir.write("bin/" + name, "#!/bin/sh\n" + script + "\n");
        ::chmod(path.c_str(), executable ? 0755 : 0644);
        return path;
    }
    std::vector<std::string> environment(const std::string& home) const
    {
        return { "PATH=" + (dir / "bin").string(), "HOME=" + home };
    }
};

}

TEST(Command, CollectsTheOutputAndExitStatusInTheEnvironmentGiven)
{
    FakePrograms programs;
    programs.add("greet", "echo \"hello $WHO\"; exit 3");
    auto result = runCommand({ "greet" }, { "PATH=" + (programs.dir / "bin").string(), "WHO=there" }, 5s);
    EXPECT_EQ(result.outcome, CommandResult::Outcome::Exited);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.output, "hello there\n");

    // A path is taken as it is, without PATH.
    auto direct = runCommand({ (programs.dir / "bin" / "greet").string(), "x" }, { "WHO=you" }, 5s);
    EXPECT_EQ(direct.output, "hello you\n");
}

TEST(Command, AProgramThatIsMissingOrNotExecutableDoesNotStart)
{
    FakePrograms programs;
    programs.add("plain", "echo no", false);
    for (const char* name : { "missing", "plain" }) {
        auto result = runCommand({ name }, programs.environment("/"), 5s);
        EXPECT_EQ(result.outcome, CommandResult::Outcome::NotStarted) << name;
        EXPECT_EQ(result.error, ENOENT) << name;
    }
    EXPECT_EQ(runCommand({}, {}, 5s).outcome, CommandResult::Outcome::NotStarted);
    // Without PATH nothing is found.
    EXPECT_EQ(runCommand({ "sh" }, {}, 5s).outcome, CommandResult::Outcome::NotStarted);
}

TEST(Command, AProgramThatHangsIsKilledAfterTheTimeAllowed)
{
    FakePrograms programs;
    programs.add("hang", "echo started; exec /bin/sleep 30");
    auto result = runCommand({ "hang" }, programs.environment("/"), 200ms);
    EXPECT_EQ(result.outcome, CommandResult::Outcome::TimedOut);
    EXPECT_FALSE(result.succeeded());
}

TEST(Command, KeepsAtMost64KiBOfOutputAndSeesASignal)
{
    FakePrograms programs;
    programs.add(
        "chatty", "i=0; while [ $i -lt 2000 ]; do echo 0123456789012345678901234567890123456789; i=$((i+1)); done");
    auto chatty = runCommand({ "chatty" }, programs.environment("/"), 10s);
    EXPECT_TRUE(chatty.succeeded());
    EXPECT_EQ(chatty.output.size(), 64u * 1024u);

    programs.add("crash", "kill -9 $$");
    EXPECT_EQ(runCommand({ "crash" }, programs.environment("/"), 5s).outcome, CommandResult::Outcome::Killed);
}

TEST(UserDocuments, TakesTheDesktopsAnswerOrFallsBackToDocumentsInHome)
{
    struct Case {
        const char* what;
        const char* script; // none: no such program
        const char* expected; // relative to the home folder, or absolute
    };
    const Case cases[] = {
        { "an answer", "echo /srv/papers/Dokumente", "/srv/papers/Dokumente" },
        { "an answer with a space and no newline", "printf '/srv/My Documents'", "/srv/My Documents" },
        { "the home folder: none set up", "echo \"$HOME\"", "Documents" },
        { "the home folder with a slash", "echo \"$HOME/\"", "Documents" },
        { "a relative path", "echo Documents/Mine", "Documents" },
        { "nothing", "true", "Documents" },
        { "two lines", "echo /a; echo /b", "Documents" },
        { "a failure", "echo /srv/papers; exit 1", "Documents" },
        { "missing", nullptr, "Documents" },
    };
    for (const auto& c : cases) {
        FakePrograms programs;
        if (c.script)
            programs.add("xdg-user-dir", c.script);
        TempDir home;
        DocumentsLookup lookup;
        lookup.environment = programs.environment(home.path().string());
        std::filesystem::path expected
            = c.expected[0] == '/' ? std::filesystem::path(c.expected) : home.path() / c.expected;
        EXPECT_EQ(userDocumentsFolder(lookup), expected) << c.what;
    }
}

TEST(UserDocuments, AFolderIsNamedFromHomeDownAsAPersonKnowsIt)
{
    struct Case {
        const char* folder;
        const char* expected;
    };
    const Case cases[] = {
        { "/home/ann/Documents/Hestio", "Documents \u203a Hestio" },
        { "/home/ann/Documents/Hestio/", "Documents \u203a Hestio" },
        { "/home/ann/./Dokumente//Hestio", "Dokumente \u203a Hestio" },
        { "/home/ann/Hestio", "Hestio" },
        // Not below home: the whole path, also for a neighbour whose name
        // only starts like home's, and for home itself.
        { "/home/anna/Documents/Hestio", "/home/anna/Documents/Hestio" },
        { "/home/ann/../bob/Hestio", "/home/ann/../bob/Hestio" },
        { "/srv/papers/Hestio", "/srv/papers/Hestio" },
        { "/home/ann", "/home/ann" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(hestio::platform::folderDisplayName(c.folder, "/home/ann"), c.expected) << c.folder;
    EXPECT_EQ(
        hestio::platform::folderDisplayName("/home/ann/Documents/Hestio", "/home/ann/"), "Documents \u203a Hestio");
}

TEST(UserDocuments, AnAnswerThatTakesTooLongIsNotWaitedFor)
{
    FakePrograms programs;
    programs.add("xdg-user-dir", "exec /bin/sleep 30");
    DocumentsLookup lookup;
    lookup.environment = programs.environment("/home/someone");
    lookup.timeout = 200ms;
    EXPECT_EQ(userDocumentsFolder(lookup), "/home/someone/Documents");
}

TEST(UserDocuments, WithoutHomeTheAccountsFolderIsUsed)
{
    FakePrograms programs;
    DocumentsLookup lookup;
    lookup.environment = { "PATH=" + (programs.dir / "bin").string() };
    auto folder = userDocumentsFolder(lookup);
    EXPECT_EQ(folder.filename(), "Documents");
    EXPECT_TRUE(folder.is_absolute()) << folder;
}

TEST(UserDocuments, TheDesktopsOwnProgramFollowsTheUserDirsFile)
{
    if (!std::filesystem::exists("/usr/bin/xdg-user-dir"))
        GTEST_SKIP() << "xdg-user-dirs is not installed";
    TempDir home;
    home.write(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
    DocumentsLookup lookup;
    lookup.environment = { "PATH=/usr/bin:/bin", "HOME=" + home.path().string() };
    EXPECT_EQ(userDocumentsFolder(lookup), home / "Papiere");
    // Without the file it answers the home folder: Documents in it then.
    std::filesystem::remove(home / ".config/user-dirs.dirs");
    EXPECT_EQ(userDocumentsFolder(lookup), home / "Documents");
}

TEST(UserDocuments, AProfileKeepsTheLookupInsideIt)
{
    TempDir profile;
    ScopedEnvironment root("HESTIO_PROFILE", profile.path().c_str());
    DocumentsLookup lookup = DocumentsLookup::forCurrentProfile();
    EXPECT_EQ(hestio::platform::environmentValue(lookup.environment, "HOME"), profile.path().string());
    EXPECT_EQ(hestio::platform::environmentValue(lookup.environment, "XDG_CONFIG_HOME"), (profile / "config").string());
    EXPECT_NE(hestio::platform::environmentValue(lookup.environment, "PATH"), "");
    if (!std::filesystem::exists("/usr/bin/xdg-user-dir"))
        GTEST_SKIP() << "xdg-user-dirs is not installed";
    EXPECT_EQ(userDocumentsFolder(lookup), profile / "Documents");
    profile.write("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Exports\"\n");
    EXPECT_EQ(userDocumentsFolder(lookup), profile / "Exports");
}

TEST(UserDocuments, WithoutAProfileTheEnvironmentIsThisProcesss)
{
    ScopedEnvironment noProfile("HESTIO_PROFILE", nullptr);
    ScopedEnvironment home("HOME", "/home/someone");
    DocumentsLookup lookup = DocumentsLookup::forCurrentProfile();
    EXPECT_EQ(hestio::platform::environmentValue(lookup.environment, "HOME"), "/home/someone");
}
