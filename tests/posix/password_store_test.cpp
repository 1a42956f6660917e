// Tests (POSIX): the head-office password file: private from the first byte, replaced
// whole, and refused when others may read it.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "hosts/posix/posix_files.h"
#include "hosts/posix/posix_password_store.h"
#include "resources/texts.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

class PasswordFile : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kc-password-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        path = (dir / "KavorCen-centrala-haslo").string();
        install_file_system(&posix::posix_file_system());
    }
    void TearDown() override {
        install_file_system(nullptr);
        fs::remove_all(dir);
    }
    static unsigned mode(const std::string& p) {
        struct stat st;
        return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void plant(const std::string& text, mode_t m) {
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_EQ(::chmod(path.c_str(), m), 0);
    }
    fs::path dir;
    std::string path;
    PosixPasswordStore store;
};

TEST_F(PasswordFile, a_saved_password_is_private_replaces_the_old_file_whole_and_reads_back) {
    // An old file others could read, with a second name: the new password never lands in it.
    plant("stare\n", 0644);
    const std::string other_name = (dir / "link").string();
    ASSERT_EQ(::link(path.c_str(), other_name.c_str()), 0);
    std::string why;
    ASSERT_TRUE(store.save(path, "nowe hasło", why)) << why;
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(read(path), "nowe hasło\n");
    EXPECT_EQ(read(other_name), "stare\n") << "renamed over, not written in place";
    EXPECT_EQ(mode(other_name), 0600u) << "the old file was closed before the write";
    std::string back;
    ASSERT_TRUE(store.load(path, back, why)) << why;
    EXPECT_EQ(back, "nowe hasło");

    // A failed write leaves the file before as it was.
    EXPECT_FALSE(store.save((dir / "brak" / "plik").string(), "x", why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(store.save(path, "dwie\nlinie", why));
    EXPECT_EQ(read(path), "nowe hasło\n");
}

TEST_F(PasswordFile, a_file_others_may_read_or_an_empty_one_is_refused_and_nothing_is_read) {
    const std::pair<mode_t, Txt> open_modes[] = {
        {0640, Txt::HoPasswordFileOpen}, {0604, Txt::HoPasswordFileOpen}, {0620, Txt::HoPasswordFileOpen},
        {0400, Txt::TxtCount},  // read-only for its owner is fine
    };
    for (const auto& [m, refusal] : open_modes) {
        plant("sekret\n", m);
        std::string password = "before", why;
        const bool read_it = store.load(path, password, why);
        EXPECT_EQ(read_it, refusal == Txt::TxtCount) << std::oct << m;
        EXPECT_EQ(password, read_it ? "sekret" : "before") << std::oct << m;
        if (!read_it) EXPECT_EQ(why, fill(refusal, path)) << std::oct << m;
        ::chmod(path.c_str(), 0600);
        fs::remove(path);
    }
    std::string password, why;
    plant("\n", 0600);
    EXPECT_FALSE(store.load(path, password, why));
    EXPECT_EQ(why, fill(Txt::HoPasswordFileEmpty, path));
    fs::remove(path);
    EXPECT_FALSE(store.load(path, password, why));
    EXPECT_EQ(why, fill(Txt::HoPasswordFileUnreadable, path));
}

}  // namespace
}  // namespace kc
