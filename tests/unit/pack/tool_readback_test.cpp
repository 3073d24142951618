// Read-back of packed installers by independent tools: a real mingw-linked stub, read by
// binutils' objdump and windres, signed and verified with osslsigncode.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <unistd.h>

#include "file_io.h"
#include "installer_builder.h"
#include "pe_image.h"
#include "resource_writer.h"

namespace plinth::pack {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun run(const std::string& command) {
    ToolRun result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, n);
    result.status = pclose(pipe);
    return result;
}

bool have(const std::string& tool) { return run("command -v " + tool).status == 0; }

void write_text(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void write_bytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// A 16x16 32-bit icon file.
Bytes icon_file() {
    Bytes image(40 + 16 * 16 * 4 + 16 * 4, 0);
    put_u32(image, 0, 40);
    put_u32(image, 4, 16);
    put_u32(image, 8, 32);
    put_u16(image, 12, 1);
    put_u16(image, 14, 32);
    for (std::size_t i = 40; i < 40 + 16 * 16 * 4; ++i) image[i] = static_cast<std::uint8_t>(i);
    Bytes out;
    append_u16(out, 0);
    append_u16(out, 1);
    append_u16(out, 1);
    out.insert(out.end(), {16, 16, 0, 0});
    append_u16(out, 1);
    append_u16(out, 32);
    append_u32(out, static_cast<std::uint32_t>(image.size()));
    append_u32(out, 22);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

// Builds, once per test run, a stub the way the runtime is built: mingw-w64 with windres
// resources (a manifest, an icon group, a version record), so .reloc and debug sections follow
// .rsrc as they do in the real one.
class ToolReadBack : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("plinth-pack-tools-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        // A missing tool fails the tests rather than skipping them: the test command installs them,
        // and a read-back that silently didn't run would look like one that passed.
        if (!have("x86_64-w64-mingw32-gcc") || !have("x86_64-w64-mingw32-windres")) return;
        write_text(folder_ / "stub.c",
                   "#include <windows.h>\nint WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) { return 0; }\n");
        write_bytes(folder_ / "stub.ico", icon_file());
        write_text(folder_ / "stub.rc",
                   "1 24 \"stub.manifest\"\n1 ICON \"stub.ico\"\n"
                   "1 VERSIONINFO\nFILEVERSION 0,1,0,0\nBEGIN\nBLOCK \"StringFileInfo\"\nBEGIN\n"
                   "BLOCK \"040904B0\"\nBEGIN\nVALUE \"ProductName\", \"plinth\"\nEND\nEND\nEND\n");
        write_text(folder_ / "stub.manifest", "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>\n");
        const std::string in = "cd '" + folder_.string() + "' && ";
        const ToolRun built = run(in + "x86_64-w64-mingw32-windres stub.rc stub-rc.o && "
                                   "x86_64-w64-mingw32-gcc -Os -mwindows stub.c stub-rc.o -o stub.exe");
        if (built.status != 0) {
            ADD_FAILURE() << built.output;
            return;
        }
        stub_ = *read_file(folder_ / "stub.exe", kMaxImageSize);
    }
    static void TearDownTestSuite() { fs::remove_all(folder_); }

    void SetUp() override {
        if (stub_.empty()) GTEST_FAIL() << "no stub: mingw-w64 is missing (run scripts/setup-machine)";
    }

    // Packs the stub itself as the app (a real exe with an icon) into `name`.
    fs::path pack(const std::string& name) {
        InstallerInputs in;
        in.manifest_json = R"({"name": "Notes", "id": "com.example.notes", "version": "1.4.2",
                               "publisher": "Example Ltd", "exe": "Notes.exe"})";
        in.app = stub_;
        in.stub = stub_;
        in.compressor = Compressor::zlib;
        auto built = build_installer(in);
        EXPECT_TRUE(built.ok()) << built.error().text;
        const fs::path path = folder_ / name;
        write_bytes(path, built.ok() ? built->installer : Bytes{});
        return path;
    }

    static std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

    static inline fs::path folder_;
    static inline Bytes stub_;
};

// One test for the three readers: each test process links its own stub, which takes seconds.
TEST_F(ToolReadBack, LinkerObjdumpAndWindresAgreeWithThePackedInstaller) {
    auto image = read_pe_image(stub_);
    ASSERT_TRUE(image.ok());
    ASSERT_NE(image->checksum, 0u) << "ld writes the checksum of a linked image";
    EXPECT_EQ(pe_checksum(stub_, image->checksum_offset()), image->checksum);
    // The stub as built has sections after .rsrc: the case the writer must handle.
    EXPECT_NE(image->sections.back().name, ".rsrc");

    const fs::path packed = pack("objdump.exe");
    const ToolRun headers = run("x86_64-w64-mingw32-objdump -p -h " + quoted(packed));
    ASSERT_EQ(headers.status, 0) << headers.output;
    EXPECT_NE(headers.output.find("pei-x86-64"), std::string::npos);
    EXPECT_NE(headers.output.find("Resource Directory [.rsrc]"), std::string::npos) << headers.output;
    EXPECT_NE(headers.output.find("Base Relocation Directory [.reloc]"), std::string::npos) << headers.output;
    EXPECT_NE(headers.output.find(".debug_info"), std::string::npos) << headers.output;
    EXPECT_EQ(headers.output.find("warning"), std::string::npos) << headers.output;
    const Bytes bytes = *read_file(packed, kMaxImageSize);
    std::ostringstream checksum;
    checksum << "CheckSum\t\t" << std::hex << std::setw(8) << std::setfill('0')
             << pe_checksum(bytes, read_pe_image(bytes)->checksum_offset());
    EXPECT_NE(headers.output.find(checksum.str()), std::string::npos) << checksum.str();

    const ToolRun rc = run("x86_64-w64-mingw32-windres -i " + quoted(packed) + " -O rc");
    ASSERT_EQ(rc.status, 0) << rc.output;
    for (const char* expected : {"1 RCDATA", "0x534e4c50L, 0x50555445L",  // "PLNSETUP"
                                 "1 14 /* RT_GROUP_ICON */", "1 3 /* RT_ICON */", "1 24 /* RT_MANIFEST */",
                                 "VALUE \"ProductName\", \"Notes\"", "VALUE \"ProductVersion\", \"1.4.2\"",
                                 "VALUE \"CompanyName\", \"Example Ltd\"", "VALUE \"FileDescription\", \"Notes Setup\"",
                                 "FILEVERSION 1, 4, 2, 0"}) {
        EXPECT_NE(rc.output.find(expected), std::string::npos) << expected << "\n" << rc.output.substr(0, 3000);
    }
    EXPECT_EQ(rc.output.find("\"plinth\""), std::string::npos) << "the stub's version strings are replaced";
}

TEST_F(ToolReadBack, PackedInstallerCanBeSignedAndVerified) {
    ASSERT_TRUE(have("osslsigncode") && have("openssl")) << "osslsigncode or openssl is missing (run scripts/setup-machine)";
    const fs::path packed = pack("unsigned.exe");
    const fs::path signed_exe = folder_ / "signed.exe";
    const std::string in = "cd '" + folder_.string() + "' && ";
    const ToolRun key = run(in + "openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                             "-subj /CN=plinth-test");
    ASSERT_EQ(key.status, 0) << key.output;
    const ToolRun sign = run(in + "osslsigncode sign -certs cert.pem -key key.pem -n 'Notes Setup' -in " + quoted(packed) +
                         " -out " + quoted(signed_exe));
    ASSERT_EQ(sign.status, 0) << sign.output;
    const ToolRun verify = run(in + "osslsigncode verify -CAfile cert.pem -in " + quoted(signed_exe));
    EXPECT_EQ(verify.status, 0) << verify.output;
    EXPECT_NE(verify.output.find("Signature verification: ok"), std::string::npos) << verify.output;

    // A signed installer can't serve as a stub: its signature would break.
    const Bytes signed_bytes = *read_file(signed_exe, kMaxImageSize);
    auto repacked = build_raw_installer(signed_bytes, Bytes{1});
    ASSERT_FALSE(repacked.ok());
    EXPECT_NE(repacked.error().text.find("already signed"), std::string::npos);
}

}  // namespace
}  // namespace plinth::pack
