#include "MockLogind.h"

#include <systemd/sd-bus.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vesperkeep::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Generous: a loaded machine may take a while to start Python.
constexpr auto StartTimeout = 30s;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Check(int result, const char* what) {
    if (result < 0)
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(-result));
}

// The children see only what they need: above all the private bus as their system bus, and no
// session bus to start.
std::vector<std::string> ChildEnvironment(const std::string& systemBus) {
    if (systemBus.rfind("unix:path=" + PrivateSystemBusSocket().string(), 0) != 0)
        throw std::logic_error("a test child would not be on the private bus: " + systemBus);
    return {"PATH=/usr/bin:/bin", "LANG=C.UTF-8",
            "DBUS_SESSION_BUS_ADDRESS=disabled:", "DBUS_SYSTEM_BUS_ADDRESS=" + systemBus};
}

} // namespace

TChild::TChild(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const fs::path& output, int stdoutPipe) {
    // Everything the child needs is prepared before the fork.
    std::vector<char*> args, env;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    for (const auto& entry : environment)
        env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (input < 0 || out < 0)
        throw std::runtime_error("cannot open the files of " + argv.front());
    const pid_t parent = getpid();

    Pid = fork();
    if (Pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(input, 0);
        dup2(stdoutPipe >= 0 ? stdoutPipe : out, 1);
        dup2(out, 2);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(input);
    close(out);
    if (Pid < 0)
        throw std::runtime_error("cannot start " + argv.front());
}

TChild::~TChild() {
    kill(Pid, SIGKILL);
    while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool TChild::Running() {
    return waitpid(Pid, nullptr, WNOHANG) == 0;
}

void TBusClient::TClose::operator()(sd_bus* bus) const {
    sd_bus_close_unref(bus);
}

TBusClient::TBusClient(const std::string& address) {
    sd_bus* bus = nullptr;
    Check(sd_bus_new(&bus), "sd_bus_new");
    Bus.reset(bus);
    Check(sd_bus_set_address(bus, address.c_str()), "sd_bus_set_address");
    Check(sd_bus_set_bus_client(bus, 1), "sd_bus_set_bus_client");
    Check(sd_bus_start(bus), "connecting to the private bus");
}

bool TBusClient::NameHasOwner(const std::string& name) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int called = sd_bus_call_method(Bus.get(), "org.freedesktop.DBus",
                                          "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                          "NameHasOwner", &error, &reply, "s", name.c_str());
    sd_bus_error_free(&error);
    int owned = 0;
    const int read = called < 0 ? called : sd_bus_message_read(reply, "b", &owned);
    sd_bus_message_unref(reply);
    Check(read, "NameHasOwner");
    return owned != 0;
}

void TBusClient::AddMethod(const std::string& name, const std::string& inSignature,
                           const std::string& code) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int called = sd_bus_call_method(
        Bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
        "AddMethod", &error, nullptr, "sssss", "org.freedesktop.login1.Manager", name.c_str(),
        inSignature.c_str(), "", code.c_str());
    const std::string message = error.message ? error.message : "";
    sd_bus_error_free(&error);
    if (called < 0)
        throw std::runtime_error("AddMethod " + name + " failed: " + message);
}

TPrivateBus::TPrivateBus(const fs::path& socket, const fs::path& scratch)
    : BusAddress("unix:path=" + socket.string()) {
    std::error_code ignored;
    fs::remove(socket, ignored);
    const fs::path config = scratch / "bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC"
                             " \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>"
                          << BusAddress
                          << "</listen>\n"
                             "  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) < 0)
        throw std::runtime_error("pipe failed");
    AddressPipe = ends[0];
    try {
        Daemon = std::make_unique<TChild>(
            std::vector<std::string>{DBUS_DAEMON, "--config-file=" + config.string(), "--nofork",
                                     "--nopidfile", "--print-address"},
            ChildEnvironment(BusAddress), scratch / "bus.out", ends[1]);
    } catch (...) {
        close(ends[0]);
        close(ends[1]);
        throw;
    }
    close(ends[1]);

    // The daemon prints its address once it listens.
    pollfd ready{AddressPipe, POLLIN, 0};
    const int waited = poll(&ready, 1, static_cast<int>(StartTimeout / 1ms));
    char first = 0;
    if (waited <= 0 || read(AddressPipe, &first, 1) != 1) {
        close(AddressPipe);
        throw std::runtime_error("dbus-daemon did not start: " + ReadFile(scratch / "bus.out"));
    }
}

TPrivateBus::~TPrivateBus() {
    Daemon.reset();
    close(AddressPipe);
}

TMockLogind::TMockLogind(const TPrivateBus& bus, const fs::path& scratch)
    : Log(scratch / "logind.log"), Mock({"/usr/bin/python3", "-m", "dbusmock", "--system",
                                         "--template", "logind", "-l", Log.string()},
                                        ChildEnvironment(bus.Address()), scratch / "logind.out"),
      Client(bus.Address()) {
    // The mock takes its name before it sets up its objects but handles no call before it has
    // them, so a call made once the name is owned finds the template loaded.
    const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
    while (!Client.NameHasOwner("org.freedesktop.login1")) {
        if (!Mock.Running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the mock logind did not start: " +
                                     ReadFile(scratch / "logind.out"));
        std::this_thread::sleep_for(20ms);
    }
}

std::vector<std::string> TMockLogind::Calls() const {
    // Lines are "<time> <method> <arguments>"; a method that raised adds "<method> raised: ...".
    std::vector<std::string> calls;
    std::istringstream lines(ReadFile(Log));
    for (std::string line; std::getline(lines, line);) {
        const auto space = line.find(' ');
        if (space == std::string::npos || line.find(" raised: ") != std::string::npos)
            continue;
        calls.push_back(line.substr(space + 1));
    }
    return calls;
}

} // namespace vesperkeep::test
