#include "MockLogind.h"
#include "TempDir.h"
#include "scheduler/PowerOff.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace vesperkeep::test {
namespace {

namespace fs = std::filesystem;

constexpr unsigned ForcedPowerOff = ExitWindowsPowerOff | ExitWindowsForce;
constexpr unsigned ExitWindowsReboot = 0x02;

// What logind answers; each row of the tables below sets the mock up with some of these.
struct TMethod {
    const char* Name;
    const char* InSignature;
    const char* Code;
};

const TMethod Accepts{"PowerOffWithFlags", "t", ""};
// As systemd 252, which knows flags 0x01 and 0x02 only.
const TMethod RejectsNewFlags{"PowerOffWithFlags", "t",
                              "if args[0] & ~3:\n"
                              "    raise dbus.exceptions.DBusException('Invalid flags parameter',"
                              " name='org.freedesktop.DBus.Error.InvalidArgs')"};
const TMethod RejectsAllFlags{"PowerOffWithFlags", "t",
                              "raise dbus.exceptions.DBusException('Invalid flags parameter',"
                              " name='org.freedesktop.DBus.Error.InvalidArgs')"};

std::string Raising(const char* name, const char* message) {
    return std::string("raise dbus.exceptions.DBusException('") + message + "', name='" + name +
           "')";
}

// Sends fds 1 and 2 to a file while it lives, so a test sees whatever the code prints.
class TCapturedOutput {
public:
    explicit TCapturedOutput(const fs::path& file) : File(file) {
        std::fflush(stdout);
        std::fflush(stderr);
        SavedOut = dup(1);
        SavedErr = dup(2);
        std::FILE* capture = std::fopen(File.c_str(), "w");
        if (capture == nullptr)
            throw std::runtime_error("cannot capture the output");
        dup2(fileno(capture), 1);
        dup2(fileno(capture), 2);
        std::fclose(capture);
    }
    ~TCapturedOutput() { Text(); }
    TCapturedOutput(const TCapturedOutput&) = delete;
    TCapturedOutput& operator=(const TCapturedOutput&) = delete;

    std::string Text() {
        if (SavedOut >= 0) {
            std::fflush(stdout);
            std::fflush(stderr);
            dup2(SavedOut, 1);
            dup2(SavedErr, 2);
            close(SavedOut);
            close(SavedErr);
            SavedOut = SavedErr = -1;
        }
        std::ifstream in(File);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    fs::path File;
    int SavedOut = -1, SavedErr = -1;
};

class PowerOffLogind : public ::testing::Test {
protected:
    void SetUp() override {
        const char* systemBus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        ASSERT_EQ(std::string(systemBus ? systemBus : ""), PrivateSystemBusAddress());
        // A killed daemon leaves its socket behind; without a bus there is no socket.
        fs::remove(PrivateSystemBusSocket());
    }

    void StartBus() { Bus.emplace(PrivateSystemBusSocket(), Dir.Path()); }
    void StopBus() {
        Logind.reset();
        Bus.reset();
    }
    void StartLogind(const std::vector<TMethod>& methods = {}) {
        Logind.emplace(*Bus, Dir.Path());
        Set(methods);
    }
    void Set(const std::vector<TMethod>& methods) {
        for (const auto& method : methods)
            Logind->Control().AddMethod(method.Name, method.InSignature, method.Code);
    }

    // The call under test, which must stay silent whatever logind answers.
    bool PowerOff(unsigned flags) {
        TCapturedOutput output(Dir.Path() / "output.txt");
        const bool accepted = PowerOffComputer(flags);
        EXPECT_EQ(output.Text(), "");
        return accepted;
    }

    TTempDir Dir;
    std::optional<TPrivateBus> Bus;
    std::optional<TMockLogind> Logind;
};

using Calls = std::vector<std::string>;

struct TRequestCase {
    const char* Name;
    std::vector<TMethod> Logind;
    unsigned Flags;
    Calls Sent;
    bool Accepted;
};

void PrintTo(const TRequestCase& row, std::ostream* out) {
    *out << row.Name;
}

class Request : public PowerOffLogind, public ::testing::WithParamInterface<TRequestCase> {};

TEST_P(Request, GoesDownTheStepsLogindOffers) {
    StartBus();
    StartLogind(GetParam().Logind);
    EXPECT_EQ(PowerOff(GetParam().Flags), GetParam().Accepted);
    EXPECT_EQ(Logind->Calls(), GetParam().Sent);
}

INSTANTIATE_TEST_SUITE_P(
    Logind, Request,
    ::testing::Values(TRequestCase{"SkipsInhibitorsWhenForced",
                                   {Accepts},
                                   ForcedPowerOff,
                                   Calls{"PowerOffWithFlags 16"},
                                   true},
                      TRequestCase{"HonoursInhibitorsUnlessForced",
                                   {Accepts},
                                   ExitWindowsPowerOff,
                                   Calls{"PowerOffWithFlags 0"},
                                   true},
                      TRequestCase{"DropsAFlagLogindDoesNotKnow",
                                   {RejectsNewFlags},
                                   ForcedPowerOff,
                                   Calls{"PowerOffWithFlags 16", "PowerOffWithFlags 0"},
                                   true},
                      // The template offers PowerOff alone, as logind before PowerOffWithFlags did.
                      TRequestCase{"FallsBackToPowerOffWithoutInteraction",
                                   {},
                                   ForcedPowerOff,
                                   Calls{"PowerOff False"},
                                   true},
                      TRequestCase{"AsksNothingButAPowerOff",
                                   {Accepts},
                                   ExitWindowsReboot | ExitWindowsForce,
                                   Calls{},
                                   false},
                      TRequestCase{"AsksNothingWithoutFlags", {Accepts}, 0, Calls{}, false},
                      // Refusals end the request; nothing else is tried.
                      TRequestCase{"GivesUpWhenNoFlagsAreValid",
                                   {RejectsAllFlags},
                                   ForcedPowerOff,
                                   Calls{"PowerOffWithFlags 16", "PowerOffWithFlags 0"},
                                   false},
                      TRequestCase{
                          "GivesUpWhenNoMethodIsKnown",
                          {{"PowerOffWithFlags", "t",
                            "raise dbus.exceptions.UnknownMethodException('')"},
                           {"PowerOff", "b", "raise dbus.exceptions.UnknownMethodException('')"}},
                          ForcedPowerOff,
                          Calls{"PowerOffWithFlags 16", "PowerOff False"},
                          false}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TRefusal {
    const char* Name;
    const char* Error;
    const char* Message;
};

void PrintTo(const TRefusal& row, std::ostream* out) {
    *out << row.Name;
}

class Refusal : public PowerOffLogind, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(Refusal, IsSilentAndTheNextRequestSucceedsOnceLogindAccepts) {
    StartBus();
    const std::string refuses = Raising(GetParam().Error, GetParam().Message);
    StartLogind({{"PowerOffWithFlags", "t", refuses.c_str()}});
    EXPECT_FALSE(PowerOff(ForcedPowerOff));
    Set({Accepts});
    EXPECT_TRUE(PowerOff(ForcedPowerOff));
    EXPECT_EQ(Logind->Calls(), (Calls{"PowerOffWithFlags 16", "PowerOffWithFlags 16"}));
}

INSTANTIATE_TEST_SUITE_P(
    Logind, Refusal,
    ::testing::Values(
        TRefusal{"AccessDenied", "org.freedesktop.DBus.Error.AccessDenied", "Access denied"},
        TRefusal{"Inhibited", "org.freedesktop.login1.BlockedByInhibitorLock",
                 "Operation inhibited"},
        TRefusal{"NoInteraction", "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                 "Interactive authentication required."},
        TRefusal{"ShutdownInProgress", "org.freedesktop.login1.OperationInProgress",
                 "There's already a shutdown or sleep operation in progress"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PowerOffLogind, IsRefusedWithoutABus) {
    EXPECT_FALSE(PowerOff(ForcedPowerOff));
}

TEST_F(PowerOffLogind, IsRefusedWithoutLogindAndSucceedsOnceItIsThere) {
    StartBus();
    EXPECT_FALSE(PowerOff(ForcedPowerOff));
    StartLogind({Accepts});
    EXPECT_TRUE(PowerOff(ForcedPowerOff));
}

TEST_F(PowerOffLogind, SurvivesTheBusGoingAwayAndComingBack) {
    StartBus();
    StartLogind({Accepts});
    EXPECT_TRUE(PowerOff(ForcedPowerOff));
    StopBus();
    EXPECT_FALSE(PowerOff(ForcedPowerOff));
    StartBus();
    StartLogind({Accepts});
    EXPECT_TRUE(PowerOff(ForcedPowerOff));
    EXPECT_EQ(Logind->Calls(), Calls{"PowerOffWithFlags 16"});
}

// The mock handles nothing while the method sleeps; the request gives up long before.
TEST_F(PowerOffLogind, GivesUpOnALogindThatNeverAnswers) {
    StartBus();
    StartLogind({{"PowerOffWithFlags", "t", "time.sleep(600)"}});
    EXPECT_FALSE(PowerOff(ForcedPowerOff));
    EXPECT_EQ(Logind->Calls(), Calls{"PowerOffWithFlags 16"});
}

// A socket that takes connections and never speaks: the request is bounded while connecting too.
TEST_F(PowerOffLogind, GivesUpOnABusThatNeverAnswers) {
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listening, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = PrivateSystemBusSocket().string();
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    fs::remove(path);
    ASSERT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listening, 4), 0);
    EXPECT_FALSE(PowerOff(ForcedPowerOff));
    close(listening);
}

} // namespace

namespace {
std::optional<TTempDir> RunFolder;
}

fs::path PrivateSystemBusSocket() {
    return RunFolder->Path() / "system_bus_socket";
}
std::string PrivateSystemBusAddress() {
    return "unix:path=" + PrivateSystemBusSocket().string();
}

} // namespace vesperkeep::test

// The code under test finds the system bus through DBUS_SYSTEM_BUS_ADDRESS, read with
// secure_getenv(); unless that yields the private bus, a test could reach the machine's own
// logind, so the run stops before any test.
int main(int argc, char** argv) {
    using namespace vesperkeep::test;
    RunFolder.emplace();
    const std::string address = PrivateSystemBusAddress();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    const char* seen = secure_getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (seen == nullptr || address != seen) {
        std::fprintf(stderr,
                     "REFUSING TO RUN: the system bus would not be the private test bus "
                     "%s\n",
                     address.c_str());
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    RunFolder.reset();
    return result;
}
