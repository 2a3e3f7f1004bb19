#include "Fakes.h"
#include "settings/RegionalSettings.h"
#include "settings/TimeOfDay.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

namespace vesperkeep::test {
namespace {

std::string UserLocaleText(LCTYPE item) {
    char buffer[128] = {};
    const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof buffer);
    EXPECT_GT(length, 0) << "item " << item;
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : "";
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

struct TItem {
    LCTYPE Item;
    std::string TRegionalSettings::*Value;
    const char* Changed;
};

const TItem Items[] = {{LOCALE_STIME, &TRegionalSettings::TimeSeparator, "."},
                       {LOCALE_SDECIMAL, &TRegionalSettings::DecimalSeparator, ","},
                       {LOCALE_S1159, &TRegionalSettings::MorningDesignator, "vorm."},
                       {LOCALE_S2359, &TRegionalSettings::AfternoonDesignator, "nachm."}};

TEST(RegionalSettingsWindows, AreTheUsersLocaleValues) {
    const TRegionalSettings regional = ReadRegionalSettings();
    for (const TItem& item : Items)
        EXPECT_EQ(regional.*item.Value, UserLocaleText(item.Item)) << "item " << item.Item;

    const std::string& sep = regional.TimeSeparator;
    EXPECT_EQ(ToMilliseconds(ParseTimeOfDay(
                  "1" + sep + "30" + sep + "15" + regional.DecimalSeparator + "5", regional)),
              ToMilliseconds(At(1, 30, 15, 5)));
    if (!regional.AfternoonDesignator.empty()) {
        EXPECT_EQ(ToMilliseconds(
                      ParseTimeOfDay("1" + sep + "30 " + regional.AfternoonDesignator, regional)),
                  ToMilliseconds(At(13, 30)));
    }
}

// Sets one of the user's regional values and puts the old one back at the end.
class TUserLocaleChange {
public:
    TUserLocaleChange(LCTYPE item, const char* value) : Item(item), Old(UserLocaleText(item)) {
        EXPECT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, item, value)) << "item " << item;
    }
    ~TUserLocaleChange() { SetLocaleInfoA(LOCALE_USER_DEFAULT, Item, Old.c_str()); }
    TUserLocaleChange(const TUserLocaleChange&) = delete;
    TUserLocaleChange& operator=(const TUserLocaleChange&) = delete;

private:
    LCTYPE Item;
    std::string Old;
};

TEST(RegionalSettingsWindows, AreReadAgainOnDemand) {
    if (!UnderWine())
        GTEST_SKIP() << "changes the user's regional settings; runs in Wine's throw-away prefix";
    const TRegionalSettings before = ReadRegionalSettings();
    {
        std::vector<std::unique_ptr<TUserLocaleChange>> changes;
        for (const TItem& item : Items)
            changes.push_back(std::make_unique<TUserLocaleChange>(item.Item, item.Changed));
        const TRegionalSettings changed = ReadRegionalSettings();
        for (const TItem& item : Items)
            EXPECT_EQ(changed.*item.Value, item.Changed) << "item " << item.Item;
        EXPECT_EQ(ToMilliseconds(ParseTimeOfDay("3.15,5 nachm.", changed)),
                  ToMilliseconds(At(15, 15, 0, 5)));
    }
    const TRegionalSettings after = ReadRegionalSettings();
    for (const TItem& item : Items)
        EXPECT_EQ(after.*item.Value, before.*item.Value) << "item " << item.Item;
}

} // namespace
} // namespace vesperkeep::test
