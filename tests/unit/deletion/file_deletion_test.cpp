#include "deletion/file_deletion.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

namespace codes = platform::codes;

struct DeletionCase {
    const char* label;
    fake::FileAttributes attributes;
    bool disposition_ex_supported;
    platform::ErrorCode expected;
    bool gone;
    bool second_attempt;
};

TEST(DeleteFile, FirstAttemptThenTheHandleRouteOnlyForAccessDenied) {
    const DeletionCase cases[] = {
        {"plain", {}, true, codes::kSuccess, true, false},
        {"read-only", {.read_only = true}, true, codes::kSuccess, true, true},
        {"running", {.running = true}, true, codes::kAccessDenied, false, true},
        {"held open", {.locked = true}, true, codes::kSharingViolation, false, false},
        // Wine refuses FileDispositionInfoEx with ERROR_INVALID_PARAMETER: the caller still sees
        // access denied, the code that sends it on to moving the file aside.
        {"read-only, no disposition ex", {.read_only = true}, false, codes::kAccessDenied, false, true},
        {"running, no disposition ex", {.running = true}, false, codes::kAccessDenied, false, true},
    };
    for (const DeletionCase& c : cases) {
        SCOPED_TRACE(c.label);
        fake::FakePlatform fake;
        fake.files.set_disposition_ex_supported(c.disposition_ex_supported);
        const Path path = u"C:\\Apps\\App\\App.exe";
        fake.files.add_file(path, "bytes", c.attributes);
        fake.faults.reset();
        EXPECT_EQ(delete_file(fake.platform(), path), c.expected);
        EXPECT_EQ(fake.files.exists(path), !c.gone);
        std::vector<std::string> expected_calls{"files.delete_file C:\\Apps\\App\\App.exe"};
        if (c.second_attempt) expected_calls.push_back("files.delete_file_by_handle C:\\Apps\\App\\App.exe");
        EXPECT_EQ(fake.faults.call_log(), expected_calls);
    }
}

TEST(DeleteFile, HandleRouteAsksForDeletePosixAndIgnoreReadOnly) {
    fake::FakePlatform fake;
    const Path path = u"C:\\A\\ro.txt";
    fake.files.add_file(path, "x", {.read_only = true});
    // The fake honours only the flags it is given: without 0x10 the read-only file would stay.
    fake.faults.fail("files.delete_file", codes::kAccessDenied);
    EXPECT_EQ(delete_file(fake.platform(), path), codes::kSuccess);
    EXPECT_FALSE(fake.files.exists(path));
    // Delete, POSIX semantics (the name goes at once, even while another handle is open) and
    // ignore read-only: exactly these three.
    EXPECT_EQ(fake.files.disposition_flags_seen, std::vector<std::uint32_t>{0x13});
}

TEST(DeleteFile, MissingFileReportsItsOwnError) {
    fake::FakePlatform fake;
    EXPECT_EQ(delete_file(fake.platform(), u"C:\\A\\gone.txt"), codes::kPathNotFound);
    fake.files.add_folder(u"C:\\A");
    EXPECT_EQ(delete_file(fake.platform(), u"C:\\A\\gone.txt"), codes::kFileNotFound);
}

}  // namespace
}  // namespace plinth
