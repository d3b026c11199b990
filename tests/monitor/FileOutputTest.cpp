// --output's replacement of its file, tried as an attacker would: links
// planted at every name it writes, devices and fifos given as the file, and
// an owner's file whose mode and owner must survive. As root and as an
// ordinary user (a child that drops to nobody, 65534).
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "output/FileOutput.h"
#include "support/TempDirectory.h"

namespace {

constexpr uid_t kNobody = 65534;

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct stat Lstat(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

size_t Entries(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// Runs `body` as an ordinary user: in a child that drops to nobody when this
// process is root, else here. Its result (true: as expected).
bool AsOrdinaryUser(const std::function<bool()>& body) {
    if (geteuid() != 0) {
        return body();
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped =
            setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
        _exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

class FileOutputTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_sFolder.empty()); }

    std::string In(const std::string& name) const { return m_sFolder + "/" + name; }

    // A file whose contents an attacker would like overwritten.
    std::string Victim() {
        const std::string victim = m_Elsewhere.Path() + "/victim";
        Write(victim, "precious\n");
        return victim;
    }

    // The folder given to nobody, for the ordinary user's runs.
    void GiveFolderToNobody() {
        if (geteuid() == 0) {
            ASSERT_EQ(chown(m_sFolder.c_str(), kNobody, kNobody), 0);
            ASSERT_EQ(chown(m_Elsewhere.Path().c_str(), kNobody, kNobody), 0);
        }
    }

    CTempDirectory m_Directory{"svcp-output"};
    CTempDirectory m_Elsewhere{"svcp-output-victim"};
    const std::string& m_sFolder = m_Directory.Path();
};

TEST_F(FileOutputTest, ANewFileGets0644LessTheUmask) {
    const mode_t saved = umask(027);
    std::string error;
    const bool written = WriteFileAtomically(In("out.prom"), "svcproc_up 1\n", &error);
    umask(saved);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(Read(In("out.prom")), "svcproc_up 1\n");
    EXPECT_EQ(Lstat(In("out.prom")).st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(m_sFolder), 1u) << "no temporary file left";
}

TEST_F(FileOutputTest, AReplacedFileKeepsItsModeAndOwner) {
    const std::string target = In("out.prom");
    Write(target, "old\n");
    ASSERT_EQ(chmod(target.c_str(), 0604), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(target.c_str(), kNobody, kNobody), 0);
    }
    const ino_t before = Lstat(target).st_ino;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(target, "new\n", &error)) << error;
    const struct stat after = Lstat(target);
    EXPECT_NE(after.st_ino, before) << "replaced by a rename, not rewritten in place";
    EXPECT_EQ(Read(target), "new\n");
    EXPECT_EQ(after.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_EQ(after.st_uid, kNobody);
        EXPECT_EQ(after.st_gid, kNobody);
    }
}

// An ordinary user cannot give a file away: the file becomes theirs, with
// its mode kept, and is still written.
TEST_F(FileOutputTest, AnOrdinaryUserReplacesAnotherOwnersFileAsTheirOwn) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs a file of another owner";
    }
    GiveFolderToNobody();
    const std::string target = In("out.prom");
    Write(target, "root's\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        std::string error;
        return WriteFileAtomically(target, "nobody's\n", &error);
    }));
    const struct stat after = Lstat(target);
    EXPECT_EQ(Read(target), "nobody's\n");
    EXPECT_EQ(after.st_uid, kNobody);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

// The names an attacker could plant a link at: the file itself, the
// temporary name of earlier versions (FILE.tmp.<pid>), and whatever name the
// temporary gets (a namer that returns the planted name first).
void ExpectNoLinkIsWrittenThrough(const std::string& folder, const std::string& victim,
                                  bool asRoot) {
    const std::string target = folder + "/out.prom";
    const std::string dangling = victim + "-made-through-a-link";
    ASSERT_EQ(symlink(victim.c_str(), (folder + "/planted").c_str()), 0);
    ASSERT_EQ(symlink(dangling.c_str(), (folder + "/dangling").c_str()), 0);
    int calls = 0;
    const TemporaryNamer planted = [&calls](const std::string&) {
        ++calls;
        return calls == 1 ? "planted" : calls == 2 ? "dangling" : "fresh";
    };
    auto run = [&] {
        // The writer's own pid: this runs in a child for the user's case.
        const std::string earlier = target + ".tmp." + std::to_string(getpid());
        bool ok = symlink(victim.c_str(), earlier.c_str()) == 0;
        std::string error;
        ok = WriteFileAtomically(target, "metrics\n", &error) && ok;
        ok = WriteFileAtomically(target, "metrics 2\n", &error, planted) && ok;
        ok = Read(target) == "metrics 2\n" && ok;
        ok = calls == 3 && ok;  // taken names are passed over
        ok = unlink(target.c_str()) == 0 && symlink(victim.c_str(), target.c_str()) == 0 && ok;
        ok = !WriteFileAtomically(target, "through the link\n", &error) &&
             error.find("symbolic link") != std::string::npos && ok;
        return ok;
    };
    EXPECT_TRUE(asRoot ? run() : AsOrdinaryUser(run));
    EXPECT_EQ(Read(victim), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(dangling)) << "created through a dangling link";
    EXPECT_TRUE(S_ISLNK(Lstat(target).st_mode)) << "the refused link is left as it was";
    EXPECT_EQ(Read(target), "precious\n");
}

TEST_F(FileOutputTest, ALinkAtAnyNameItWritesIsNeverWrittenThroughAsRoot) {
    ExpectNoLinkIsWrittenThrough(m_sFolder, Victim(), true);
}

TEST_F(FileOutputTest, ALinkAtAnyNameItWritesIsNeverWrittenThroughAsAUser) {
    const std::string victim = Victim();
    GiveFolderToNobody();
    if (geteuid() == 0) {
        ASSERT_EQ(chown(victim.c_str(), kNobody, kNobody), 0) << "writable by the user";
    }
    ExpectNoLinkIsWrittenThrough(m_sFolder, victim, false);
}

// A device, a fifo, a socket or a directory given as the file stays what it
// was; the refusal names it.
TEST_F(FileOutputTest, OnlyARegularFileIsReplaced) {
    struct Case {
        std::string name;
        std::function<bool(const std::string&)> make;
        mode_t kind;
        const char* said;
    };
    const Case cases[] = {
        {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; }, S_IFIFO,
         "a fifo"},
        {"folder", [](const std::string& p) { return mkdir(p.c_str(), 0755) == 0; }, S_IFDIR,
         "a directory"},
        {"null",
         [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
         S_IFCHR, "a character device"},
        {"socket",
         [](const std::string& p) {
             const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, p.c_str(), sizeof address.sun_path - 1);
             const bool bound =
                 bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             close(fd);
             return bound;
         },
         S_IFSOCK, "a socket"},
    };
    size_t made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = In(c.name);
        if (!c.make(path)) {
            // Only root (or CAP_MKNOD) makes a device node.
            EXPECT_TRUE(c.kind == S_IFCHR && errno == EPERM)
                << path << ": " << std::strerror(errno);
            continue;
        }
        ++made;
        const struct stat before = Lstat(path);
        std::string error;
        EXPECT_FALSE(WriteFileAtomically(path, "metrics\n", &error));
        EXPECT_THAT(error, testing::HasSubstr(c.said));
        const struct stat after = Lstat(path);
        EXPECT_EQ(after.st_mode & S_IFMT, c.kind);
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
    EXPECT_EQ(Entries(m_sFolder), made) << "no temporary file left";
}

TEST_F(FileOutputTest, DevNullIsNeverReplaced) {
    const struct stat before = Lstat("/dev/null");
    ASSERT_TRUE(S_ISCHR(before.st_mode));
    std::string error;
    EXPECT_FALSE(WriteFileAtomically("/dev/null", "metrics\n", &error));
    EXPECT_THAT(error, testing::HasSubstr("a character device"));
    const struct stat after = Lstat("/dev/null");
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_rdev, before.st_rdev);
}

TEST_F(FileOutputTest, AMissingFolderOrNameIsRefusedWithTheReason) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(In("missing/out.prom"), "x\n", &error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(WriteFileAtomically(m_sFolder + "/", "x\n", &error));
    EXPECT_EQ(error, "not a file name");
}

TEST(RandomTemporaryName, IsUnforeseeableAndKeepsTheNameShort) {
    const std::string first = RandomTemporaryName("svcproc.prom");
    EXPECT_THAT(first, testing::MatchesRegex("svcproc\\.prom\\.tmp\\.[A-Za-z0-9]{16}"));
    EXPECT_NE(RandomTemporaryName("svcproc.prom"), first);
    EXPECT_LE(RandomTemporaryName(std::string(255, 'x')).size(), 255u);
}

}  // namespace
