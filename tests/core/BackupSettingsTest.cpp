#include "settings/BackupSettings.h"
#include "Fakes.h"
#include "TempDir.h"
#include "scheduler/SettingFields.h"
#include "settings/Errors.h"

#include <gtest/gtest.h>

#include <array>

namespace vesperkeep::test {
namespace {

using TSixValues = std::array<std::string, 6>;

TSixValues ValuesOf(const TBackupSettings& s) {
    return {s.ShutdownDatabaseCommand, s.BackupFolder, s.BackupSource, s.BackupTime, s.ShutdownTime,
            s.NotShutdownAfterTime};
}

TBackupSettings LoadBytes(const std::string& bytes) {
    TTempDir dir;
    const auto path = dir.Write("dbbkcfg.txt", bytes);
    return LoadBackupSettings(path.string(), TLocalDate{2024, 3, 5});
}

struct TFileCase {
    const char* Name;
    std::string Bytes;
    TSixValues Expected;
};

class SettingsFileLines : public ::testing::TestWithParam<TFileCase> {};

// Hands the bytes over one at a time, so every line end and CR LF falls across two reads.
class TOneByteAtATime final : public TByteSource {
public:
    explicit TOneByteAtATime(std::string bytes) : Bytes(std::move(bytes)) {}
    std::size_t Read(char* buffer, std::size_t size) override {
        if (Pos == Bytes.size() || size == 0)
            return 0;
        buffer[0] = Bytes[Pos++];
        return 1;
    }

private:
    std::string Bytes;
    std::size_t Pos = 0;
};

TEST_P(SettingsFileLines, LoadUnderTheLineRules) {
    EXPECT_EQ(ValuesOf(LoadBytes(GetParam().Bytes)), GetParam().Expected);
    TOneByteAtATime source(GetParam().Bytes);
    EXPECT_EQ(ValuesOf(ReadBackupSettings(source, TLocalDate{2024, 3, 5})), GetParam().Expected);
}

const TSixValues FullSix{"stop db", "D:\\backup\\", "C:\\data", "02:00:00", "03:00:00", "04:00:00"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileLines,
    ::testing::Values(
        TFileCase{"Lf", "stop db\nD:\\backup\\\nC:\\data\n02:00:00\n03:00:00\n04:00:00\n", FullSix},
        TFileCase{"CrLf",
                  "stop db\r\nD:\\backup\\\r\nC:\\data\r\n02:00:00\r\n03:00:00\r\n04:00:00\r\n",
                  FullSix},
        TFileCase{"NoFinalLineEnd", "stop db\nD:\\backup\\\nC:\\data\n02:00:00\n03:00:00\n04:00:00",
                  FullSix},
        TFileCase{"EightLines",
                  "stop db\nD:\\backup\\\nC:\\data\n02:00:00\n03:00:00\n04:00:00\nseven\neight\n",
                  FullSix},
        TFileCase{"OneLine", "stop db\n", {"stop db", "", "", "", "", ""}},
        TFileCase{"Empty", "", {"", "", "", "", "", ""}},
        TFileCase{"EmptyLinesInBetween", "a\n\nc\n\n\nf\n", {"a", "", "c", "", "", "f"}},
        TFileCase{"LoneCrIsDropped", "a\rb\nc\r\r\nd", {"ab", "c", "d", "", "", ""}},
        TFileCase{
            "BlanksAndCaseKept", "  Stop DB  \n\tx\t\n", {"  Stop DB  ", "\tx\t", "", "", "", ""}},
        TFileCase{"CtrlZEndsTheFile",
                  "a\nb\x1a"
                  "c\nd\n",
                  {"a", "b", "", "", "", ""}},
        TFileCase{"CtrlZAtLineStart",
                  "a\n\x1a"
                  "b\nc\n",
                  {"a", "", "", "", "", ""}},
        TFileCase{"CtrlZFirst",
                  "\x1a"
                  "a\nb\n",
                  {"", "", "", "", "", ""}},
        TFileCase{"NulAndHighBytesKept",
                  std::string("a\0b\n\xe9t\xe9\xff\n", 9),
                  {std::string("a\0b", 3), "\xe9t\xe9\xff", "", "", "", ""}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsFile, LoadsAHundredMegabyteLineWhole) {
    std::string line(100 * 1024 * 1024, 'x');
    line[12345] = '\0';
    line.back() = 'y';
    const TBackupSettings settings = LoadBytes(line + "\nsecond");
    EXPECT_EQ(settings.ShutdownDatabaseCommand.size(), line.size());
    EXPECT_TRUE(settings.ShutdownDatabaseCommand == line);
    EXPECT_EQ(settings.BackupFolder, "second");
}

TEST(SettingsFile, ReportsAMissingFileAsFileNotFound) {
    TTempDir dir;
    try {
        LoadBackupSettings((dir.Path() / "dbbkcfg.txt").string(), TLocalDate{2024, 3, 5});
        FAIL();
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
}

TEST(ArchiveStamp, IsTheDateAsYearMonthDay) {
    EXPECT_EQ(ArchiveStampFor({2024, 3, 5}), "MySQL20240305");
    EXPECT_EQ(ArchiveStampFor({2024, 12, 31}), "MySQL20241231");
    EXPECT_EQ(ArchiveStampFor({999, 1, 1}), "MySQL09990101");
    EXPECT_EQ(LoadBytes("a\nD:\\backup\n").ArchiveStamp, "MySQL20240305");
}

TEST(SettingFields, AreFilledFromTheWorkingDirectoryOnlyAfterEveryRead) {
    TTempDir dir;
    dir.Write("dbbkcfg.txt", "stop db\nD:\\backup\\\nC:\\data\n02:00:00\n03:00:00\n04:00:00\n");
    TWorkingDirectory cwd(dir.Path());
    TFakeWindow window;
    TFakeClock clock;
    clock.Date = {2024, 3, 5};
    LoadSettingFields(window, clock);
    EXPECT_EQ(window.FieldWrites,
              (std::vector<TField>{TField::Edit1, TField::Edit2, TField::Edit3, TField::Edit4,
                                   TField::Edit5, TField::Edit6}));
    EXPECT_EQ(window.FieldText(TField::Edit1), "02:00:00");
    EXPECT_EQ(window.FieldText(TField::Edit2), "03:00:00");
    EXPECT_EQ(window.FieldText(TField::Edit3), "C:\\data");
    EXPECT_EQ(window.FieldText(TField::Edit4), "D:\\backup\\MySQL20240305");
    EXPECT_EQ(window.FieldText(TField::Edit5), "04:00:00");
    EXPECT_EQ(window.FieldText(TField::Edit6), "stop db");
}

TEST(SettingFields, ShowTheStampAloneForAOneLineFile) {
    TTempDir dir;
    dir.Write("dbbkcfg.txt", "stop db");
    TWorkingDirectory cwd(dir.Path());
    TFakeWindow window;
    TFakeClock clock;
    LoadSettingFields(window, clock);
    EXPECT_EQ(window.FieldText(TField::Edit4), "MySQL20240305");
    EXPECT_EQ(window.FieldText(TField::Edit6), "stop db");
}

TEST(SettingFields, StayUntouchedWhenTheFileIsMissing) {
    TTempDir dir;
    TWorkingDirectory cwd(dir.Path());
    TFakeWindow window;
    TFakeClock clock;
    EXPECT_THROW(LoadSettingFields(window, clock), EInOutError);
    EXPECT_TRUE(window.FieldWrites.empty());
}

} // namespace
} // namespace vesperkeep::test
