#include "scheduler/BackupSchedule.h"

#include <gtest/gtest.h>

namespace vesperkeep::test {
namespace {

struct TArchiveCase {
    const char* ArchiveName;
    const char* Source;
    const char* Expected;
};

class ArchiveCommand : public ::testing::TestWithParam<TArchiveCase> {};

TEST_P(ArchiveCommand, IsBuiltFromTheFieldsAsTheyStand) {
    EXPECT_EQ(ArchiveCommandLine(GetParam().ArchiveName, GetParam().Source), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveCommand,
    ::testing::Values(TArchiveCase{"D:\\backup\\MySQL20240305", "C:\\data",
                                   "7z.exe a -tzip D:\\backup\\MySQL20240305 C:\\data"},
                      // A blank in the archive name: quoted, so it stays one argument.
                      TArchiveCase{"D:\\My Backups\\MySQL20240305", "C:\\data",
                                   "7z.exe a -tzip \"D:\\My Backups\\MySQL20240305\" C:\\data"},
                      TArchiveCase{"/srv/my\tbackups/MySQL20240305", "/data",
                                   "7z.exe a -tzip \"/srv/my\tbackups/MySQL20240305\" /data"},
                      // Already quoted by the operator somehow: left alone.
                      TArchiveCase{"\"D:\\My Backups\\\"MySQL20240305", "C:\\data",
                                   "7z.exe a -tzip \"D:\\My Backups\\\"MySQL20240305 C:\\data"},
                      // The source stays verbatim: several sources, or quoted ones.
                      TArchiveCase{
                          "/backup/MySQL20240305", "/var/lib/mysql \"/etc/my conf\"",
                          "7z.exe a -tzip /backup/MySQL20240305 /var/lib/mysql \"/etc/my conf\""}));

} // namespace
} // namespace vesperkeep::test
