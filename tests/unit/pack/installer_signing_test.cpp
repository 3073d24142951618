#include "installer_signing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "file_io.h"
#include "pe_image.h"
#include "synthetic_pe.h"

namespace plinth::pack {
namespace {

using testing::build_pe;
using testing::SyntheticPe;

struct ExpansionRow {
    const char* command;
    ShellQuoting quoting;
    const char* expected;  // the command as run, or the start of the refusal
    bool refused;
};

TEST(SignCommand, PlaceholdersBecomeQuotedPathsOrTheCommandIsRefused) {
    const ExpansionRow rows[] = {
        {"osslsigncode sign -pkcs12 c.pfx -in {in} -out {out}", ShellQuoting::posix,
         "osslsigncode sign -pkcs12 c.pfx -in '/b/it'\\''s Setup.exe' -out '/b/out.signed'", false},
        {"signtool sign /fd sha256 {file} && signtool verify /pa {file}", ShellQuoting::cmd,
         "signtool sign /fd sha256 \"/b/it's Setup.exe\" && signtool verify /pa \"/b/it's Setup.exe\"", false},
        // Braces of the shell's own are left alone.
        {"sign --key ${KEY} {file}", ShellQuoting::posix, "sign --key ${KEY} '/b/it'\\''s Setup.exe'", false},
        {"sign {file} {out}", ShellQuoting::posix, "the sign command has {file} and {in} or {out}", true},
        {"sign {in}", ShellQuoting::posix, "the sign command has {in} without {out}", true},
        {"sign -o {out}", ShellQuoting::posix, "the sign command has {out} without {in}", true},
        {"sign {FILE}", ShellQuoting::posix, "the sign command names no file", true},
    };
    for (const ExpansionRow& row : rows) {
        SCOPED_TRACE(row.command);
        auto expanded = expand_sign_command(row.command, "/b/it's Setup.exe", "/b/out.signed", row.quoting);
        if (row.refused) {
            ASSERT_FALSE(expanded.ok());
            EXPECT_EQ(expanded.error().text.rfind(row.expected, 0), 0u) << expanded.error().text;
        } else {
            ASSERT_TRUE(expanded.ok()) << expanded.error().text;
            EXPECT_EQ(*expanded, row.expected);
        }
    }
    // cmd expands %NAME% inside quotes: such a path can't be handed to it.
    auto percent = expand_sign_command("sign {file}", "C:\\b\\100%.exe", "", ShellQuoting::cmd);
    ASSERT_FALSE(percent.ok());
    EXPECT_NE(percent.error().text.find("100%.exe"), std::string::npos);
}

// An image and its signed copy made the way signing tools make it: zeros to an 8-byte boundary,
// a WIN_CERTIFICATE of PKCS #7 signed data at the end, the directory entry and the checksum set.
struct SignedPair {
    Bytes before;
    Bytes after;
    std::uint32_t table = 0;  // where the certificate table starts
};

SignedPair signed_pair(std::size_t overlay) {
    SyntheticPe pe;
    pe.sections.push_back({".text", Bytes(0x300, 0xC3), 0x60000020});
    pe.sections.push_back({".rsrc", Bytes(0x80, 7)});
    pe.overlay = Bytes(overlay, 0x5A);
    SignedPair pair;
    pair.before = build_pe(pe);
    pair.after = pair.before;
    pad_to(pair.after, 8);
    pair.table = static_cast<std::uint32_t>(pair.after.size());
    const Bytes signature(40, 0x30);
    append_u32(pair.after, static_cast<std::uint32_t>(8 + signature.size()));
    append_u16(pair.after, 0x0200);
    append_u16(pair.after, 0x0002);
    pair.after.insert(pair.after.end(), signature.begin(), signature.end());
    auto image = read_pe_image(pair.before);
    put_u32(pair.after, image->directory_offset(kDirSecurity), pair.table);
    put_u32(pair.after, image->directory_offset(kDirSecurity) + 4, static_cast<std::uint32_t>(pair.after.size() - pair.table));
    put_u32(pair.after, image->checksum_offset(), pe_checksum(pair.after, image->checksum_offset()));
    return pair;
}

TEST(SignatureCheck, OnlyTheInstallerWithASignatureAddedPasses) {
    for (std::size_t overlay : {0u, 3u}) {  // with and without padding before the table
        SCOPED_TRACE(overlay);
        const SignedPair pair = signed_pair(overlay);
        EXPECT_EQ(signature_added_problem(pair.before, pair.after), std::nullopt);
    }
    const SignedPair good = signed_pair(3);
    const auto security = read_pe_image(good.before)->directory_offset(kDirSecurity);
    struct Row {
        const char* name;
        std::function<void(Bytes&)> change;
        const char* problem;
    };
    const Row rows[] = {
        {"unchanged", [&](Bytes& b) { b = good.before; }, "it carries no signature"},
        {"a code byte changed", [](Bytes& b) { b[0x400] ^= 1; }, "its bytes differ from the installer's at byte 1024"},
        {"the last overlay byte changed", [&](Bytes& b) { b[good.before.size() - 1] ^= 1; }, "its bytes differ"},
        {"padding not zeros", [&](Bytes& b) { b[good.before.size()] = 1; }, "the padding before its signature isn't zeros"},
        {"the table moved on by 8", [&](Bytes& b) {
             b.insert(b.begin() + good.table, 8, 0);
             put_u32(b, security, good.table + 8);
         }, "its signature doesn't follow the installer's bytes"},
        {"bytes after the table", [](Bytes& b) { b.push_back(0); }, "its certificate table doesn't end where the file ends"},
        {"not PKCS #7", [&](Bytes& b) { put_u16(b, good.table + 6, 0x0001); }, "its certificate table isn't an Authenticode"},
        {"a length beyond the table", [&](Bytes& b) { put_u32(b, good.table, 4096); }, "its certificate table isn't an Authenticode"},
        {"not a program", [](Bytes& b) { b[0] = 'Z'; }, "it isn't a Windows program"},
        {"cut short", [&](Bytes& b) { b.resize(good.before.size() - 16); }, "it isn't a Windows program"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bytes after = good.after;
        row.change(after);
        const auto problem = signature_added_problem(good.before, after);
        ASSERT_TRUE(problem.has_value());
        EXPECT_EQ(problem->rfind(row.problem, 0), 0u) << *problem;
    }
}

#ifndef _WIN32
class SignStep : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("plinth-sign-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        pair_ = signed_pair(3);
        file_ = folder_ / "it's Setup.exe";
        std::ofstream(file_, std::ios::binary).write(reinterpret_cast<const char*>(pair_.before.data()),
                                                     static_cast<std::streamsize>(pair_.before.size()));
        signed_ = folder_ / "signed.bin";
        std::ofstream(signed_, std::ios::binary).write(reinterpret_cast<const char*>(pair_.after.data()),
                                                       static_cast<std::streamsize>(pair_.after.size()));
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::size_t files() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_), {}));
    }

    SignedPair pair_;
    std::filesystem::path folder_, file_, signed_;
};

TEST_F(SignStep, EitherFormTakesASignedResultAndLeavesNothingBeside) {
    const std::string copy = "cp '" + signed_.string() + "' ";
    ASSERT_TRUE(sign_installer_file(file_, copy + "{out} && test -f {in}").ok());
    EXPECT_EQ(*read_file(file_, 1 << 20), pair_.after);
    EXPECT_EQ(files(), 2u);
    std::ofstream(file_, std::ios::binary).write(reinterpret_cast<const char*>(pair_.before.data()),
                                                 static_cast<std::streamsize>(pair_.before.size()));
    ASSERT_TRUE(sign_installer_file(file_, copy + "{file}").ok());
    EXPECT_EQ(*read_file(file_, 1 << 20), pair_.after);
}

TEST_F(SignStep, AFailedOrWrongSigningIsRefusedAndLeavesNothingBeside) {
    auto failed = sign_installer_file(file_, "exit 3; {file}");
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().text, "the sign command failed (exit code 3).");
    auto unsigned_copy = sign_installer_file(file_, "cp {in} {out}");
    ASSERT_FALSE(unsigned_copy.ok());
    EXPECT_EQ(unsigned_copy.error().text,
              "the sign command's result isn't the installer with a signature added: it carries no signature (its "
              "certificate table is empty).");
    auto nothing = sign_installer_file(file_, "true {in} {out}");
    ASSERT_FALSE(nothing.ok());
    EXPECT_NE(nothing.error().text.find("the sign command's result can't be read"), std::string::npos);
    EXPECT_EQ(*read_file(file_, 1 << 20), pair_.before);
    EXPECT_EQ(files(), 2u);
}
#endif

}  // namespace
}  // namespace plinth::pack
