#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct sd_bus;

namespace vesperkeep::test {

// A child process that is killed and reaped when the object goes, and dies with the test
// process should that end first.
class TChild {
public:
    // `output` receives the child's standard output and error; `stdoutPipe`, when not -1,
    // takes standard output instead.
    TChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
           const std::filesystem::path& output, int stdoutPipe = -1);
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    bool Running();

private:
    pid_t Pid = -1;
};

// A connection to one bus by its address, for driving the mock.
class TBusClient {
public:
    explicit TBusClient(const std::string& address);

    bool NameHasOwner(const std::string& name);
    // Adds or replaces a method of the mock logind's manager; `code` is run by the mock on each
    // call and may raise a D-Bus error.
    void AddMethod(const std::string& name, const std::string& inSignature,
                   const std::string& code);

private:
    struct TClose {
        void operator()(sd_bus* bus) const;
    };
    std::unique_ptr<sd_bus, TClose> Bus;
};

// A private message bus of its own, listening at `socket`.
class TPrivateBus {
public:
    TPrivateBus(const std::filesystem::path& socket, const std::filesystem::path& scratch);
    ~TPrivateBus();
    TPrivateBus(const TPrivateBus&) = delete;
    TPrivateBus& operator=(const TPrivateBus&) = delete;

    const std::string& Address() const { return BusAddress; }

private:
    std::string BusAddress;
    int AddressPipe = -1;
    std::unique_ptr<TChild> Daemon;
};

// python3-dbusmock's logind template on a private bus, taking that bus as its system bus.
class TMockLogind {
public:
    TMockLogind(const TPrivateBus& bus, const std::filesystem::path& scratch);

    TBusClient& Control() { return Client; }
    // The manager methods called so far, each as its name and arguments ("PowerOff False").
    std::vector<std::string> Calls() const;

private:
    std::filesystem::path Log;
    TChild Mock;
    TBusClient Client;
};

// Where every bus started by these tests listens; the system bus address of the test process.
std::filesystem::path PrivateSystemBusSocket();
std::string PrivateSystemBusAddress();

} // namespace vesperkeep::test
